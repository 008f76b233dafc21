#include "OutputFolder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "UnicodeProtocol.h"

namespace {

const char* const CannotCreateText = "Fail to create directory! Please check if output folder have the right format!";

std::string Problem(const std::string& folder, const std::string& reason) {
    return std::string(CannotCreateText) + " " + ShownName(folder) + ": " + reason;
}

} // namespace

std::string PrepareOutputFolder(const std::string& folder) {
    if (folder.empty()) return std::string(CannotCreateText) + " The folder name is empty.";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Problem(folder, ec.message());
    if (!std::filesystem::is_directory(folder, ec))
        return Problem(folder, std::error_code(ENOTDIR, std::generic_category()).message());
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return Problem(folder, std::strerror(errno));
    return {};
}
