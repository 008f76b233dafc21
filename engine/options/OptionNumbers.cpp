#include "OptionNumbers.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>

#include "CustomFFmpeg.h"
#include "Format.h"
#include "MyUtilStubs.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }


} // namespace

bool TryStrToInt64(const std::string& text, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    // Accumulate as a negative number so that INT64_MIN fits.
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        const int digit = text[i] - '0';
        if (result < (INT64_MIN + digit) / 10) return false;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == INT64_MIN) return false;
        result = -result;
    }
    value = result;
    return true;
}

bool TryStrToInt(const std::string& text, int& value) {
    int64_t wide = 0;
    if (!TryStrToInt64(text, wide) || wide < INT_MIN || wide > INT_MAX) return false;
    value = static_cast<int>(wide);
    return true;
}

int64_t StrToInt64OrRaise(const std::string& text) {
    int64_t value = 0;
    if (!TryStrToInt64(text, value)) throw FFmpegException(Format("'%s' is not a valid integer value", text));
    return value;
}

int StrToIntOrRaise(const std::string& text) {
    int value = 0;
    if (!TryStrToInt(text, value)) throw FFmpegException(Format("'%s' is not a valid integer value", text));
    return value;
}

bool TryStrToFloat(const std::string& text, double& value) {
    const std::string trimmed = TrimText(text);
    if (trimmed.empty()) return false;
    for (char c : trimmed)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-' && c != 'e' && c != 'E')
            return false;
    const char* end = nullptr;
    const double parsed = RuntimeStrtod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

double StrToFloatOrRaise(const std::string& text) {
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw FFmpegException(Format("'%s' is not a valid floating point value", text));
    return value;
}

long RuntimeStrtol(const char* text, const char** end) {
    char* stop = nullptr;
    const long value = ff::strtol(text, &stop, 0);
    if (end) *end = stop;
    return value;
}

double RuntimeStrtod(const char* text, const char** end) {
    char* stop = nullptr;
    const double value = ff::strtod_l(text, &stop, CNumericLocale());
    if (end) *end = stop;
    return value;
}


std::string TrimText(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

std::string LowerText(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool SameText(const std::string& a, const std::string& b) { return LowerText(a) == LowerText(b); }

std::string UnifyLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
