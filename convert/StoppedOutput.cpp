#include "StoppedOutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "OutputNames.h"
#include "OutputUpdate.h"

namespace {

struct TSplit {
    std::string Folder, Name;  // the folder with its separator ("" for none), the last component
};

TSplit Split(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The extension of a last path component, with its dot; "" for none.
std::string ExtensionOf(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

// The counter of a numbered variant "stem(n).ext", or 0 when `name` has none.
int CounterOf(const std::string& name, const std::string& extension) {
    if (name.size() < extension.size() + 3) return 0;
    const size_t close = name.size() - extension.size() - 1;
    if (name[close] != ')') return 0;
    const size_t open = name.find_last_of('(', close);
    if (open == std::string::npos || open + 1 == close || close - open > 6) return 0;
    int n = 0;
    for (size_t i = open + 1; i < close; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

} // namespace

std::string StoppedOutputName(const std::string& output) {
    const TSplit parts = Split(output);
    const std::string fitted = FitName(parts.Name, std::strlen(StoppedMark));
    const std::string extension = ExtensionOf(fitted);
    return parts.Folder + fitted.substr(0, fitted.size() - extension.size()) + StoppedMark + extension;
}

std::string KeepStoppedOutput(const std::string& written, const std::string& output, std::string& error) {
    struct stat st {};
    if (::lstat(written.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const std::string stopped = StoppedOutputName(output);
    for (int n = 0; n <= MaxNameCounter; ++n) {
        const std::string target = n == 0 ? stopped : CounterName(stopped, n);
        if (MoveWithoutReplacing(written, target)) return target;
        if (errno != EEXIST) break;
    }
    // Kept under the name it was written under: losing what the user let run
    // so far would be worse.
    const int code = errno;
    error = code == EEXIST ? NoFreeNameText(stopped)
                           : "Cannot rename " + written + " to " + stopped + ": " + std::strerror(code);
    return written;
}

int RemoveStoppedOutputs(const std::string& output) {
    const std::string stopped = StoppedOutputName(output);
    const TSplit parts = Split(stopped);
    const std::string extension = ExtensionOf(parts.Name);
    const std::string folder = parts.Folder.empty() ? "." : parts.Folder;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < extension.size() || name.compare(name.size() - extension.size(), std::string::npos, extension) != 0)
            continue;
        bool match = name == parts.Name;
        if (!match) {
            const int n = CounterOf(name, extension);
            match = n > 0 && n <= MaxNameCounter && Split(CounterName(stopped, n)).Name == name;
        }
        struct stat st {};
        if (!match || ::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}
