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

} // namespace

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
