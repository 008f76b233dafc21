#include "JsonText.h"

#include <cstdio>

#include "UnicodeProtocol.h"

namespace {

// The first and last of the code points that stand for a byte that is not
// part of valid UTF-8.
constexpr wchar_t FirstEscapedByte = 0xDC80;
constexpr wchar_t LastEscapedByte = 0xDCFF;

std::string UnicodeEscape(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04x", value);
    return text;
}

} // namespace

std::string JsonString(const std::string& bytes) {
    std::string json = "\"";
    std::wstring run;  // characters written as UTF-8
    auto flush = [&] {
        json += WideToUtf8(run);
        run.clear();
    };
    for (const wchar_t c : Utf8ToWide(bytes)) {
        if (c >= FirstEscapedByte && c <= LastEscapedByte) {
            flush();
            json += UnicodeEscape(static_cast<unsigned>(c));
        } else if (c == L'"' || c == L'\\') {
            flush();
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            flush();
            json += c == L'\n'   ? "\\n"
                    : c == L'\t' ? "\\t"
                    : c == L'\r' ? "\\r"
                                 : UnicodeEscape(static_cast<unsigned>(c));
        } else {
            run += c;
        }
    }
    flush();
    return json + "\"";
}
