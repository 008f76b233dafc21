#include "OutputNaming.h"

#include <filesystem>

#include "FormatPresets.h"
#include "UnicodeProtocol.h"

namespace {

bool NameTaken(const std::string& path, const TNameReservations* reserved) {
    if (reserved && reserved->Reserved(path)) return true;
    // A dangling link counts: creating the output through it would write
    // somewhere else.
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

std::string BareName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

std::string UniqueFileName(const std::string& name, const std::string& folder, const TNameReservations* reserved) {
    const std::string dir = IncludeBackslash(folder);
    if (!NameTaken(dir + name, reserved)) return name;
    for (int i = 1; i <= MaxNameCounter; ++i) {
        const std::string candidate = CounterName(name, i);
        if (!NameTaken(dir + candidate, reserved)) return candidate;
    }
    return {};
}

std::wstring PlainOutputFileName(const std::wstring& source, const std::string& outputDir, int format) {
    const std::string bare = BareName(WideToUtf8(source));
    return Utf8ToWide(IncludeBackslash(outputDir) + StripExtension(bare) + OutputExtension(format));
}

std::wstring OutputFileNameFor(const std::wstring& source, const std::string& outputDir, int format,
                               const TNameReservations* reserved) {
    const std::string bare = BareName(WideToUtf8(source));
    const std::string name = UniqueFileName(StripExtension(bare) + OutputExtension(format), outputDir, reserved);
    if (name.empty()) return {};
    return Utf8ToWide(IncludeBackslash(outputDir) + name);
}
