#include "ProgramFiles.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const InstalledLibraryFolder = "../lib/tembrio";
const char* const InstalledDataFolder = "../share/tembrio/";

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The executable's folder is the real one (the system resolves links in it), so
// "bin/.." can be folded by name.
std::string Folded(const std::string& path) { return fs::path(path).lexically_normal().string(); }

} // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return "./";
    std::string folder = exe.parent_path().string();
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string ProgramLibraryFolder(const std::string& exeFolder) {
    if (IsFolder(exeFolder + "lib")) return exeFolder + "lib";
    if (IsFolder(exeFolder + InstalledLibraryFolder)) return Folded(exeFolder + InstalledLibraryFolder);
    return std::string();
}

std::string ProgramFile(const std::string& exeFolder, const std::string& beside, const std::string& installed) {
    if (Exists(exeFolder + beside)) return exeFolder + beside;
    if (Exists(exeFolder + installed)) return Folded(exeFolder + installed);
    return std::string();
}

std::string ProgramDataFile(const std::string& exeFolder, const std::string& name) {
    const std::string found = ProgramFile(exeFolder, name, InstalledDataFolder + name);
    return found.empty() ? exeFolder + name : found;
}
