#include "TaskRecords.h"

#include <cmath>
#include <ctime>

#include "OptionNumbers.h"

void ResetStreamInfo(TStreamInfo& info) { info = TStreamInfo(); }
void ResetInputOptions(TInputOptions& options) { options = TInputOptions(); }
void ResetOutputOptions(TOutputOptions& options) { options = TOutputOptions(); }

namespace {

// Blanks and control characters, the characters the initial trim removes.
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimBlanksAndControls(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsTrimmed(text[first])) ++first;
    while (last > first && IsTrimmed(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string NormaliseLineBreaks(const std::string& text) {
    const std::string out = UnifyLineBreaks(text);
    // "<CRLF>" lets a single-line setting carry several options.
    static const std::string Marker = "<CRLF>";
    std::string result;
    size_t pos = 0;
    for (size_t hit; (hit = out.find(Marker, pos)) != std::string::npos; pos = hit + Marker.size())
        result.append(out, pos, hit - pos).append("\n");
    result.append(out, pos, std::string::npos);
    return result;
}

} // namespace

std::vector<TOptionLine> ParseOptionText(const std::string& text) {
    std::vector<TOptionLine> lines;
    const std::string body = NormaliseLineBreaks(TrimBlanksAndControls(text));
    if (body.empty()) return lines;
    size_t start = 0;
    while (true) {
        const size_t end = body.find('\n', start);
        const std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            lines.push_back({LowerText(line), std::string()});
        else
            lines.push_back({LowerText(line.substr(0, eq)), line.substr(eq + 1)});
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

int64_t ToUnixTime(double localDays) {
    tzset();
    // `timezone` is the standard offset in seconds west of UTC: the offset in
    // days east of UTC is its negative over 86400.
    const double offsetDays = -static_cast<double>(timezone) / 86400.0;
    return static_cast<int64_t>(std::nearbyint((localDays - 25569.0 - offsetDays) * 86400.0));
}
