#include "OutputNaming.h"

#include <filesystem>

#include "FormatPresets.h"
#include "UnicodeProtocol.h"

namespace {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
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

std::string UniqueFileName(const std::string& name, const std::string& folder) {
    const std::string dir = IncludeBackslash(folder);
    if (!FileExists(dir + name)) return name;
    const std::string stem = StripExtension(name);
    const std::string extension = name.substr(stem.size());
    std::string candidate;
    for (int i = 1; i <= 32768; ++i) {
        candidate = stem + "(" + std::to_string(i) + ")" + extension;
        if (i == 32768 || !FileExists(dir + candidate)) break;
    }
    return candidate;
}

std::wstring OutputFileNameFor(const std::wstring& source, const std::string& outputDir, int format) {
    const std::string path = WideToUtf8(source);
    const size_t slash = path.find_last_of('/');
    const std::string bare = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string name = UniqueFileName(StripExtension(bare) + OutputExtension(format), outputDir);
    return Utf8ToWide(IncludeBackslash(outputDir) + name);
}
