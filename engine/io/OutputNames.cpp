#include "OutputNames.h"

#include <cstdint>
#include <cstdio>

#include "Fnv1a.h"
#include "UnicodeProtocol.h"

namespace {

// A name split into its folder (with the separator), the stem of its last
// component, and that component's extension (with the dot).
struct TNameParts {
    std::string Folder, Stem, Extension;
};

TNameParts SplitName(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot < start) dot = name.size();
    return {name.substr(0, start), name.substr(start, dot - start), name.substr(dot)};
}

// The stem of `parts` shortened so that `extra` more bytes fit beside it and
// its extension; unchanged when it fits already or cannot be made to.
std::string FittedStem(const TNameParts& parts, size_t extra) {
    const size_t fixed = extra + parts.Extension.size();
    if (parts.Stem.size() + fixed <= NameMax || fixed >= NameMax) return parts.Stem;
    const std::string fitted = FitStem(parts.Stem, NameMax - fixed);
    return fitted.empty() ? parts.Stem : fitted;
}

} // namespace

std::string FitStem(const std::string& stem, size_t room) {
    if (stem.size() <= room) return stem;
    constexpr size_t HashBytes = 9;  // "~" and eight digits
    if (room <= HashBytes) return {};
    size_t cut = room - HashBytes;
    // Never in the middle of a character: back up over continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", static_cast<unsigned>(Fnv1a64(stem) & 0xffffffffu));
    return stem.substr(0, cut) + hash;
}

std::string FitName(const std::string& name, size_t extra) {
    const TNameParts parts = SplitName(name);
    return parts.Folder + FittedStem(parts, extra) + parts.Extension;
}

std::wstring CounterName(const std::wstring& name, int n) {
    return Utf8ToWide(CounterName(WideToUtf8(name), n));
}

std::string CounterName(const std::string& name, int n) {
    const TNameParts parts = SplitName(name);
    const std::string counter = "(" + std::to_string(n) + ")";
    return parts.Folder + FittedStem(parts, counter.size()) + counter + parts.Extension;
}

std::string NoFreeNameText(const std::string& base) {
    return "No free name for " + base + ": every name up to " + CounterName(base, MaxNameCounter) + " is taken";
}

std::string NameTooLongText(const std::string& name) {
    return "Cannot write " + name + ": its name is too long for the file system";
}
