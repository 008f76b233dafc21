#include "OutputNaming.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "FormatPresets.h"
#include "UnicodeProtocol.h"

namespace {

enum class TNameUse { Free, Taken, Unusable };

// Whether `path` may be created; errno says why not when Unusable.
TNameUse NameUse(const std::string& path, const TNameReservations* reserved) {
    if (reserved && reserved->Reserved(path)) return TNameUse::Taken;
    // A dangling link counts: creating the output through it would write
    // somewhere else.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return TNameUse::Taken;
    return errno == ENOENT ? TNameUse::Free : TNameUse::Unusable;
}

std::string BareName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The texts name files as bytes; whoever shows them escapes what cannot be shown.
std::string UnusableNameText(const std::string& path, int code) {
    if (code == ENAMETOOLONG) return NameTooLongText(path);
    return "Cannot use " + path + ": " + std::strerror(code);
}

} // namespace

std::string IncludeBackslash(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + '/';
}

std::string StripExtension(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return fileName;
    return fileName.substr(0, dot);
}

std::string UniqueFileName(const std::string& name, const std::string& folder, const TNameReservations* reserved,
                           std::string* problem) {
    const std::string dir = IncludeBackslash(folder);
    const std::string fitted = FitName(name);
    for (int i = 0; i <= MaxNameCounter; ++i) {
        const std::string candidate = i == 0 ? fitted : CounterName(fitted, i);
        const TNameUse use = NameUse(dir + candidate, reserved);
        if (use == TNameUse::Free) return candidate;
        if (use == TNameUse::Unusable) {
            if (problem) *problem = UnusableNameText(dir + candidate, errno);
            return {};
        }
    }
    if (problem) *problem = NoFreeNameText(dir + fitted);
    return {};
}

std::string OutputStem(const std::string& source, const TSourceTrack* track) {
    return track ? TrackOutputStem(*track) : StripExtension(BareName(source));
}

std::wstring PlainOutputFileName(const std::string& stem, const std::string& outputDir, int format) {
    return Utf8ToWide(IncludeBackslash(outputDir) + FitName(stem + OutputExtension(format)));
}

std::wstring OutputFileNameFor(const std::string& stem, const std::string& outputDir, int format,
                               const TNameReservations* reserved, std::string* problem) {
    const std::string name = UniqueFileName(stem + OutputExtension(format), outputDir, reserved, problem);
    if (name.empty()) return {};
    return Utf8ToWide(IncludeBackslash(outputDir) + name);
}
