#include "CommandLine.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "FileNames.h"

QStringList CommandLineNames(int argc, const char* const argv[]) {
    QStringList names;
    int first = 1;
    if (first < argc && std::string(argv[first]) == "--") ++first;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.empty()) continue;
        // A path is bytes on this system; nothing here decodes it.
        std::error_code ec;
        std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(arg), ec);
        names << NameFromBytes(ec ? arg : path.lexically_normal().string());
    }
    return names;
}
