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

bool IsValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const uint8_t b = *p;
        int more = 0;
        char32_t c = 0;
        if (b < 0x80) {
            ++p;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            more = 1, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3, c = b & 0x07;
        } else {
            return false;
        }
        if (end - p <= more) return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        if ((more == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)))
            return false;
        p += more + 1;
    }
    return true;
}

std::string LegacyTextToUtf8(const std::string& text) {
    if (IsValidUtf8(text)) return text;
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto b = static_cast<uint8_t>(ch);
        if (b >= 0x80 && b < 0xA0) AppendUtf8(out, Cp1252High[b - 0x80] ? Cp1252High[b - 0x80] : 0xFFFD);
        else AppendUtf8(out, b);
    }
    return out;
}
