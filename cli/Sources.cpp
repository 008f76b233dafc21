#include "Sources.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "StopSignals.h"
#include "UnicodeProtocol.h"

namespace {

// The whole content of the file `name` ("-": standard input); false with
// errno set.
bool ReadAll(const std::string& name, std::string& text) {
    const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (errno != EINTR || StopRequested()) {
            break;
        }
    }
    const int code = errno;
    if (fd != STDIN_FILENO) ::close(fd);
    errno = code;
    return got == 0;
}

} // namespace

std::vector<std::string> SplitNameList(const std::string& text, bool nulSeparated) {
    const char separator = nulSeparated ? '\0' : '\n';
    std::vector<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string ShardKey(const TSourceFile& file) {
    if (file.Root.empty()) return file.Path;
    const size_t prefix = file.Root == "/" ? 1 : file.Root.size() + 1;
    return file.Path.size() > prefix ? file.Path.substr(prefix) : file.Path;
}

bool InShard(const TSourceFile& file, int index, int count) {
    return count <= 1 || Fnv1a64(ShardKey(file)) % static_cast<uint64_t>(count) == static_cast<uint64_t>(index - 1);
}

bool CollectSources(const TCliOptions& options, std::vector<TSourceFile>& sources, std::string& error,
                    size_t* notFiles) {
    std::vector<std::string> names = options.Files;
    if (!options.FilesFrom.empty()) {
        std::string text;
        if (!ReadAll(options.FilesFrom, text)) {
            const std::string shown = options.FilesFrom == "-" ? "standard input" : ShownName(options.FilesFrom);
            error = "--files-from: cannot read " + shown + ": " + std::strerror(errno);
            return false;
        }
        for (std::string& name : SplitNameList(text, options.NulSeparated)) names.push_back(std::move(name));
    }
    sources.clear();
    std::vector<TSourceFile> others;
    for (TSourceFile& file : ExpandSources(names, options.Recursive, &StopFlag(), &others))
        if (InShard(file, options.ShardIndex, options.ShardCount)) sources.push_back(std::move(file));
    if (notFiles) {
        // Counted where they would have gone, so that the shards of a batch
        // add up.
        *notFiles = 0;
        for (const TSourceFile& file : others) *notFiles += InShard(file, options.ShardIndex, options.ShardCount);
    }
    return true;
}
