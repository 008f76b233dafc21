// Names of files as the container library sees them, and the program's list of
// protocols. The file operations behind "unicode:utf8:" URLs are in UnicodeFile.cpp.
#include "UnicodeProtocol.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>

#include "AVFormatStubs.h"

namespace {

// Scheme names that are never rewritten, between colons so that a substring
// search matches whole names only.
constexpr char KeepProtocols[] = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";

// The protocol has no record in the library any more (5.1 cannot register one);
// this flag is its entry in the program's own list. Set once, never cleared.
std::atomic<bool> g_unicodeRegistered{false};

// The locale's charset ("the system code page"). nullopt when a character has
// no equivalent there. The restartable functions keep their state local, so
// worker threads may convert at the same time.
std::optional<std::string> ToLocaleCharset(const std::wstring& text) {
    std::mbstate_t state{};
    const wchar_t* src = text.c_str();
    size_t n = std::wcsrtombs(nullptr, &src, 0, &state);
    if (n == static_cast<size_t>(-1)) return std::nullopt;
    std::string out(n, '\0');
    src = text.c_str();
    state = std::mbstate_t{};
    std::wcsrtombs(out.data(), &src, n, &state);
    return out;
}

std::optional<std::wstring> FromLocaleCharset(const std::string& text) {
    std::mbstate_t state{};
    const char* src = text.c_str();
    size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (n == static_cast<size_t>(-1)) return std::nullopt;
    std::wstring out(n, L'\0');
    src = text.c_str();
    state = std::mbstate_t{};
    std::mbsrtowcs(out.data(), &src, n, &state);
    return out;
}

bool SurvivesLocaleCharset(const std::wstring& name) {
    std::optional<std::string> narrow = ToLocaleCharset(name);
    if (!narrow) return false;
    std::optional<std::wstring> back = FromLocaleCharset(*narrow);
    return back && *back == name;
}

// Removes everything up to and including the first colon (nothing without one).
void DropThroughColon(std::wstring& text) {
    size_t colon = text.find(L':');
    if (colon != std::wstring::npos) text.erase(0, colon + 1);
}

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

// Bytes that are not part of valid UTF-8 travel as U+DC80 + byte: lone low
// surrogates, which no valid UTF-8 decodes to. File names on this platform are
// bytes, and a name that is not valid UTF-8 must still reach the file system
// exactly as it was given.
constexpr char32_t EscapedByteBase = 0xDC00;

bool IsEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

} // namespace

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

bool NeedsUnicodeURL(const std::wstring& name) {
    size_t colon = name.find(L':');
    if (colon != std::wstring::npos) {
        std::string scheme = ":" + WideToUtf8(name.substr(0, colon)) + ":";
        if (std::strstr(KeepProtocols, scheme.c_str())) return false;
    }
    // Such a name has no characters of any charset; its bytes go as they are.
    return HasEscapedBytes(name) || !SurvivesLocaleCharset(name);
}

// No length limit: cutting a long name would open another file than the one
// asked for; a name the file system cannot take fails at the open instead.
std::string FileNameToURL(const std::wstring& name) {
    if (NeedsUnicodeURL(name)) return WideToUtf8(L"unicode:utf8:" + name);
    // A network URL kept as it is may still carry characters the charset lacks;
    // those protocols expect UTF-8.
    std::optional<std::string> narrow = ToLocaleCharset(name);
    return narrow ? *narrow : WideToUtf8(name);
}

bool IsUnicodeURL(const std::string& text) {
    constexpr size_t prefixLength = sizeof(UnicodeURLPrefix) - 1;
    return text.size() > prefixLength && text.compare(0, prefixLength, UnicodeURLPrefix) == 0;
}

std::wstring StripUnicodeURL(const std::string& text) {
    std::wstring name = Utf8ToWide(text);
    DropThroughColon(name);
    DropThroughColon(name);
    return name;
}

std::wstring URLToFileName(const std::string& text) {
    if (IsUnicodeURL(text)) return StripUnicodeURL(text);
    std::optional<std::wstring> wide = FromLocaleCharset(text);
    return wide ? *wide : Utf8ToWide(text);
}

std::vector<std::string> ProtocolNames() {
    std::vector<std::string> names;
    auto addOnce = [&names](const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    if (ff::avio_enum_protocols) {
        for (int output : {0, 1}) {
            void* opaque = nullptr;
            while (const char* name = ff::avio_enum_protocols(&opaque, output)) addOnce(name);
        }
    }
    if (g_unicodeRegistered) addOnce("unicode");
    return names;
}

void RegisterUnicodeProtocol() {
    std::vector<std::string> names = ProtocolNames();
    if (std::find(names.begin(), names.end(), "unicode") != names.end()) return;
    g_unicodeRegistered = true;
}

bool UnicodeProtocolRegistered() { return g_unicodeRegistered; }
