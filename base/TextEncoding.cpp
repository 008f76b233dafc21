#include "TextEncoding.h"

#include <cstdint>

#include "FileNameEncoding.h"

namespace {

// Windows-1252 from 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

std::string LegacyTextToUtf8(const std::string& text) {
    // The file names' decoder keeps every byte that is not valid UTF-8 as an escape.
    if (!HasEscapedBytes(Utf8ToWide(text))) return text;
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto b = static_cast<uint8_t>(ch);
        if (b >= 0x80 && b < 0xA0) AppendUtf8(out, Cp1252High[b - 0x80] ? Cp1252High[b - 0x80] : 0xFFFD);
        else AppendUtf8(out, b);
    }
    return out;
}
