#include "SheetText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
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

// Every keyword libcue's grammar knows, with whether its value is a text
// (which its lexer takes only quoted when it holds a space).
struct TKeyword {
    const char* Name;
    bool Text;
};
constexpr TKeyword Keywords[] = {
    {"REM", false},      {"CATALOG", false},   {"CDTEXTFILE", true}, {"FILE", false},     {"FLAGS", false},
    {"TRACK", false},    {"INDEX", false},     {"PREGAP", false},    {"POSTGAP", false},  {"ISRC", false},
    {"TITLE", true},     {"PERFORMER", true},  {"SONGWRITER", true}, {"COMPOSER", true},  {"ARRANGER", true},
    {"MESSAGE", true},   {"DISC_ID", true},    {"GENRE", true},      {"TOC_INFO1", true}, {"TOC_INFO2", true},
    {"UPC_EAN", true},   {"SIZE_INFO", true},
};

const TKeyword* FindKeyword(const std::string& upper) {
    for (const TKeyword& k : Keywords)
        if (upper == k.Name) return &k;
    return nullptr;
}

// A value as the lexer takes it: quoted, and without quotes inside, which
// would end it early.
std::string Quoted(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    else if (!value.empty() && value.front() == '"') value.erase(0, 1);
    std::replace(value.begin(), value.end(), '"', '\'');
    return '"' + value + '"';
}

// FILE "name" TYPE, with the name quoted (an unquoted name may hold spaces:
// everything before the last word is the name) and the type in upper case.
std::string FileLine(const std::string& rest, std::string& named) {
    std::string name, type;
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        name = close == std::string::npos ? rest.substr(1) : rest.substr(1, close - 1);
        type = close == std::string::npos ? std::string() : Trim(rest.substr(close + 1));
    } else {
        const size_t space = rest.find_last_of(" \t");
        name = space == std::string::npos ? rest : Trim(rest.substr(0, space));
        type = space == std::string::npos ? std::string() : rest.substr(space + 1);
    }
    named = Quoted(name);
    const std::string line = "FILE " + named + " " + (type.empty() ? std::string("WAVE") : Upper(type));
    named = named.substr(1, named.size() - 2);
    return line;
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
    bool inTrack = false;
    std::string file;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        const size_t space = line.find_first_of(" \t");
        const std::string word = Upper(line.substr(0, space));
        const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space + 1));
        const TKeyword* keyword = FindKeyword(word);
        if (!keyword) continue;
        std::string out;
        if (word == "FILE") {
            out = FileLine(rest, file);
        } else if (word == "INDEX") {
            out = word + " " + rest;
            if (inTrack && Number(rest) == 1) sheet.TrackFiles.back() = file;
        } else if (word == "REM") {
            if (!inTrack) TakeRemark(rest, sheet.Remarks);
            out = rest.empty() ? std::string() : "REM " + rest;
        } else if (word == "TRACK" || word == "FLAGS") {
            if (word == "TRACK") sheet.TrackFiles.push_back(file);
            inTrack = inTrack || word == "TRACK";
            out = word + " " + Upper(rest);
        } else if (keyword->Text) {
            out = word + " " + Quoted(rest);
        } else {
            out = word + " " + rest;
        }
        if (!out.empty()) sheet.Text += out + "\n";
    }
    return sheet;
}
