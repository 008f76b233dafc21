// A file name is bytes; its wide form decodes UTF-8 and keeps every other
// byte as a lone surrogate, so that any name survives the round trip.
#include "FileNameEncoding.h"

#include <algorithm>

namespace {

// Bytes that are not part of valid UTF-8 travel as U+DC80 + byte: lone low
// surrogates, which no valid UTF-8 decodes to. File names on this platform are
// bytes, and a name that is not valid UTF-8 must still reach the file system
// exactly as it was given.
constexpr char32_t EscapedByteBase = 0xDC00;

bool IsEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        auto c = static_cast<char32_t>(w);
        if (IsEscapedByte(c)) {
            out += static_cast<char>(c - EscapedByteBase);
            continue;
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
        char32_t c = extra <= 0 ? b : b & (0x3F >> extra);
        bool ok = extra >= 0 && i + extra < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(text[i + k]);
            ok = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        static constexpr char32_t MinValue[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < MinValue[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // Only the first byte is taken: the next may start a valid sequence.
            out += static_cast<wchar_t>(EscapedByteBase + b);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += extra + 1;
    }
    return out;
}

bool HasEscapedBytes(const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t w) { return IsEscapedByte(static_cast<char32_t>(w)); });
}

std::string ShownName(const std::string& bytes) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    const auto escape = [](std::string& out, unsigned byte) {
        out += "\\x";
        out += Hex[byte >> 4];
        out += Hex[byte & 0xF];
    };
    std::string out;
    for (wchar_t w : Utf8ToWide(bytes)) {
        auto c = static_cast<char32_t>(w);
        if (IsEscapedByte(c)) {
            escape(out, static_cast<unsigned>(c - EscapedByteBase));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            // A control character would move the cursor, end the line or
            // change the terminal's state instead of being seen.
            escape(out, static_cast<unsigned>(c));
        } else if (c >= 0x80 && c <= 0x9F) {
            std::string encoded;
            AppendUtf8(encoded, c);
            for (const char byte : encoded) escape(out, static_cast<unsigned char>(byte));
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}
