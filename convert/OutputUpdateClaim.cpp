// Claiming the temporary name of an output, so that runs over one mirror at
// the same time (two cron jobs, an array job) never make an output twice.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "OutputNames.h"
#include "OutputUpdate.h"

namespace {

// Whether the open file `fd` is still the one named `path`.
bool StillNamed(int fd, const std::string& path) {
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool LockNow(int fd) {
    int ret;
    do {
        ret = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (ret != 0 && errno == EINTR);
    return ret == 0;
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string ClaimError(const std::string& path, int code) {
    if (code == ENAMETOOLONG) return NameTooLongText(path);
    return "Cannot write " + path + ": " + std::strerror(code);
}

} // namespace

TOutputClaim::TResult TOutputClaim::Take(const std::string& temporary, std::string& error, bool* removedStale) {
    Release();
    if (removedStale) *removedStale = false;
    // Each round either claims the name or learns something about whoever
    // has it; another run taking or dropping it between two steps sends this
    // one round again.
    for (int round = 0; round < 16; ++round) {
        int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Between the create and the lock another run may have found the
            // file unlocked, taken it for a leftover and removed it.
            if (LockNow(fd) && StillNamed(fd, temporary)) {
                fd_ = fd;
                path_ = temporary;
                return TResult::Claimed;
            }
            ::close(fd);
            continue;
        }
        if (errno != EEXIST) {
            error = ClaimError(temporary, errno);
            return TResult::Failed;
        }
        // Write access: where locks are kept by the file server, an exclusive
        // lock needs it.
        fd = ::open(temporary.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) continue;
            error = errno == ELOOP ? temporary + " is in the way: it is a link" : ClaimError(temporary, errno);
            return TResult::Failed;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            error = temporary + " is in the way: it is not a file";
            return TResult::Failed;
        }
        if (!LockNow(fd)) {
            const int code = errno;
            ::close(fd);
            if (code == EWOULDBLOCK) return TResult::Busy;
            error = ClaimError(temporary, code);
            return TResult::Failed;
        }
        // Locked by nobody: the run that wrote it has ended without removing
        // it (it was killed). What it holds is not to be trusted.
        if (StillNamed(fd, temporary) && ::unlink(temporary.c_str()) == 0 && removedStale) *removedStale = true;
        ::close(fd);
    }
    // Others keep taking and dropping the name: leave it to them.
    return TResult::Busy;
}

int RemoveLeftoverTemporaryFiles(const std::string& folder) {
    static const std::string Suffix = ".tembrio-part";
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return 0;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() > Suffix.size() + 1 && name[0] == '.' &&
            name.compare(name.size() - Suffix.size(), Suffix.size(), Suffix) == 0)
            names.push_back(name);
    }
    int removed = 0;
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // As in a claim: removed only while locked here, and only while the
        // locked file is still the one of that name.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && LockNow(fd) && StillNamed(fd, path) &&
            ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

void TOutputClaim::Release() {
    if (fd_ < 0) return;
    // Only the holder of the lock removes the file, so while this one is
    // still under the name it is this claim's.
    if (StillNamed(fd_, path_)) ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}
