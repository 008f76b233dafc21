#include "LogLines.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Format.h"
#include "UtilFuncs.h"

std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& text) {
    return Format("#%u.%d: %s", threadId, static_cast<int>(level), text);
}

// Plain POSIX reads so that every failure is seen, including a folder that
// stands where the file should be.
bool LoadLinesFromFile(const std::string& path, std::vector<std::string>& lines) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string text;
    char buf[65536];
    ssize_t n;
    for (;;) {
        n = read(fd, buf, sizeof buf);
        if (n > 0) text.append(buf, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;
    }
    close(fd);
    if (n < 0) return false;

    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(std::move(line));
        start = end + 1;
    }
    lines.swap(result);
    return true;
}

std::string LogFileName(const std::string& exeName) { return ChangeFileExt(exeName, ".log"); }

void LoadLogFile(const std::string& exeName, std::vector<std::string>& logLines) {
    const std::string path = LogFileName(exeName);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (!LoadLinesFromFile(path, logLines)) logLines.clear();
}
