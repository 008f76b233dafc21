#include "OutputUpdate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AVFormatStubs.h"
#include "FormatPresets.h"
#include "OutputNames.h"
#include "UnicodeProtocol.h"

namespace {

bool Older(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Creates `target` as a new name of `temporary`'s file, never over an
// existing one, and drops the temporary name; false with errno set. EEXIST:
// the name is taken.
bool MoveWithoutReplacing(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    // Network file systems take no such rename, but a hard link is made in
    // one step there too.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (::link(temporary.c_str(), target.c_str()) != 0) return false;
    ::unlink(temporary.c_str());
    return true;
}

} // namespace

TOutputState CheckOutput(const std::string& output, const std::string& source) {
    struct stat out {};
    if (::lstat(output.c_str(), &out) != 0) return TOutputState::Missing;
    if (!S_ISREG(out.st_mode)) return TOutputState::InTheWay;
    struct stat src {};
    if (::stat(source.c_str(), &src) != 0) return TOutputState::Stale;
    return Older(out.st_mtim, src.st_mtim) ? TOutputState::Stale : TOutputState::UpToDate;
}

std::string TemporaryOutputName(const std::string& output) {
    const size_t slash = output.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return output.substr(0, start) + "." + output.substr(start) + ".tembrio-part";
}

std::string ContainerOf(int format) {
    const std::string extension = OutputExtension(format);
    if (extension.empty() || !ff::av_guess_format) return {};
    // The engine names the container of an output by its file's extension.
    const AVOutputFormat* container = ff::av_guess_format(nullptr, ("output" + extension).c_str(), nullptr);
    return container ? container->name : std::string();
}

std::string MoveIntoPlace(const std::string& temporary, const std::string& output, bool replace,
                          std::string& error) {
    if (replace && ::rename(temporary.c_str(), output.c_str()) == 0) return output;
    if (!replace) {
        for (int n = 0; n <= MaxNameCounter; ++n) {
            const std::string target = n == 0 ? output : CounterName(output, n);
            if (MoveWithoutReplacing(temporary, target)) return target;
            if (errno != EEXIST) break;
        }
    }
    const int code = errno;
    if (code == EEXIST)
        error = NoFreeNameText(ShownName(output));
    else
        error = "Cannot move " + ShownName(temporary) + " to " + ShownName(output) + ": " + std::strerror(code);
    ::unlink(temporary.c_str());
    return {};
}
