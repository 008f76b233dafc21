#include "SheetText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "FileNameEncoding.h"
#include "TextEncoding.h"

namespace {

constexpr char32_t Replacement = 0xFFFD;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Utf16ToUtf8(const std::string& bytes, size_t from, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> char16_t {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            const char16_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) AppendUtf8(out, Replacement);
        else if (u != 0) AppendUtf8(out, u);
    }
    return out;
}

// Text of mostly ASCII letters written as UTF-16 without its mark has a zero
// in every second byte: after the letter (little endian) or before it.
bool LooksLikeUtf16(const std::string& bytes, bool& bigEndian) {
    if (bytes.size() < 4) return false;
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const size_t units = bytes.size() / 2;
    if (std::max(evenZeros, oddZeros) * 2 < units) return false;
    bigEndian = evenZeros > oddZeros;
    return true;
}

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// A value as the lexer takes it: quoted, and without quotes inside, which
// would end it early.
std::string Quoted(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    else if (!value.empty() && value.front() == '"') value.erase(0, 1);
    std::replace(value.begin(), value.end(), '"', '\'');
    return '"' + value + '"';
}

// The name of FILE "name" TYPE: quoted, or unquoted with spaces (then
// everything before the last word).
std::string FileName(const std::string& rest) {
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        return close == std::string::npos ? rest.substr(1) : rest.substr(1, close - 1);
    }
    const size_t space = rest.find_last_of(" \t");
    return space == std::string::npos ? rest : Trim(rest.substr(0, space));
}

int Number(const std::string& text) {
    const long n = std::strtol(text.c_str(), nullptr, 10);
    return n > 0 && n < 1000 ? static_cast<int>(n) : 0;
}

void TakeRemark(const std::string& rest, TSheetRemarks& remarks) {
    const size_t space = rest.find_first_of(" \t");
    if (space == std::string::npos) return;
    const std::string key = Upper(rest.substr(0, space));
    std::string value = Trim(rest.substr(space + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (key == "GENRE") remarks.Genre = value;
    else if (key == "COMMENT") remarks.Comment = value;
    else if (key == "DISCNUMBER") remarks.Disc = Number(value);
    else if (key == "TOTALDISCS" || key == "DISCTOTAL") remarks.DiscTotal = Number(value);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return lines;
}

// A sheet rewritten line by line in the form libcue's grammar takes without
// a complaint: on an error its parser prints to the terminal and leaks what
// it had built. Only what the program reads of it is written (FILE, TRACK,
// INDEX, TITLE, PERFORMER, REM DATE), keywords in upper case, numbers in
// their usual width, texts quoted; the other remarks are read elsewhere.
class TSheetWriter {
public:
    // False when the sheet makes no sense as a list of tracks.
    bool Take(const std::string& word, const std::string& rest) {
        if (word == "FILE") {
            file_ = FileName(rest);
            haveFile_ = true;
        } else if (word == "TRACK") {
            return Track(rest);
        } else if (word == "INDEX") {
            Index(rest);
        } else if (word == "TITLE" || word == "PERFORMER") {
            text_ += word + " " + Quoted(rest) + "\n";
        } else if (word == "REM") {
            const size_t space = rest.find_first_of(" \t");
            if (space != std::string::npos && Upper(rest.substr(0, space)) == "DATE")
                text_ += "REM DATE " + Quoted(Trim(rest.substr(space + 1))) + "\n";
        }
        return true;
    }

    bool InTrack() const { return !files_.empty(); }
    const std::string& Text() {
        CloseTrack();
        return text_;
    }
    const std::vector<std::string>& TrackFiles() const { return files_; }

private:
    static constexpr int MaxTracks = 99;

    bool Track(const std::string& rest) {
        const size_t space = rest.find_first_of(" \t");
        const int number = Number(rest.substr(0, space));
        if (!haveFile_ || number <= 0 || number > MaxTracks || files_.size() >= MaxTracks) return false;
        const std::string mode = space == std::string::npos ? std::string() : Upper(Trim(rest.substr(space + 1)));
        CloseTrack();
        WriteFile();
        files_.push_back(file_);
        text_ += "TRACK " + TwoDigits(number) + " " + TrackMode(mode) + "\n";
        return true;
    }

    // INDEX nn mm:ss:ff; an index of another form, outside a track or given
    // twice is left out (a track without its INDEX 01 is reported as such).
    void Index(const std::string& rest) {
        int number = -1, minutes = -1, seconds = -1, frames = -1;
        char tail = 0;
        if (!InTrack() ||
            std::sscanf(rest.c_str(), "%d %d:%d:%d%c", &number, &minutes, &seconds, &frames, &tail) != 4 ||
            number < 0 || number > MaxTracks || minutes < 0 || minutes > 9999 || seconds < 0 || seconds >= 60 ||
            frames < 0 || frames >= 75 || given_.count(number))
            return;
        given_.insert(number);
        // The track's file is the one its INDEX 01 is in.
        if (number == 1) {
            WriteFile();
            files_.back() = file_;
        }
        text_ += "INDEX " + TwoDigits(number) + " " + TwoDigits(minutes) + ":" + TwoDigits(seconds) + ":" +
                 TwoDigits(frames) + "\n";
    }

    // The parser refuses a track of no index at all; one without its INDEX 01
    // is refused later, by its number.
    void CloseTrack() {
        if (InTrack() && given_.empty()) text_ += "INDEX 00 00:00:00\n";
        given_.clear();
    }

    // The FILE line, written only where a track or index needs it: two in a
    // row are a complaint of the parser's.
    void WriteFile() {
        if (written_ && writtenFile_ == file_) return;
        text_ += "FILE " + Quoted(file_) + " WAVE\n";
        written_ = true;
        writtenFile_ = file_;
    }

    // The modes libcue knows; CD+G is sound with pictures beside, any other
    // mode data.
    static std::string TrackMode(const std::string& mode) {
        static const char* const known[] = {"AUDIO",      "MODE1/2048", "MODE1/2352", "MODE2/2336",
                                            "MODE2/2048", "MODE2/2332", "MODE2/2352"};
        for (const char* k : known)
            if (mode == k) return mode;
        return mode == "CDG" ? "AUDIO" : "MODE1/2352";
    }

    static std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

    std::string text_;
    std::string file_;
    bool haveFile_ = false;
    bool written_ = false;
    std::string writtenFile_;
    std::vector<std::string> files_;
    std::set<int> given_;  // the index numbers of the track being written
};

} // namespace

std::string SheetTextToUtf8(const std::string& bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) return Utf16ToUtf8(bytes, 2, false);
    if (StartsWith(bytes, "\xFE\xFF")) return Utf16ToUtf8(bytes, 2, true);
    bool bigEndian = false;
    if (LooksLikeUtf16(bytes, bigEndian)) return Utf16ToUtf8(bytes, 0, bigEndian);
    // A mark that says UTF-8 over text that is not is believed less than the text.
    std::string text = LegacyTextToUtf8(StartsWith(bytes, "\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
    // A zero byte would end the text where the parser is concerned.
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

TPreparedSheet PrepareSheet(const std::string& text) {
    TPreparedSheet sheet;
    TSheetWriter writer;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        const size_t space = line.find_first_of(" \t");
        const std::string word = Upper(line.substr(0, space));
        const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space + 1));
        if (word == "REM" && !writer.InTrack()) TakeRemark(rest, sheet.Remarks);
        if (!writer.Take(word, rest)) return {};
    }
    sheet.Text = writer.Text();
    sheet.TrackFiles = writer.TrackFiles();
    return sheet;
}
