// The file operations behind "unicode:utf8:" URLs: a POSIX file descriptor
// under a custom library I/O context. On this platform file names are bytes,
// and a name that the locale's charset cannot hold is opened by its UTF-8 form.
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "UnicodeProtocol.h"

namespace {

constexpr int IOBufferSize = 32768;
// How long a read from a pipe waits before it asks the interrupt callback again.
constexpr int PollStepMs = 50;

int OpenFlags(int libraryFlags) {
    if ((libraryFlags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE) return O_RDWR | O_CREAT | O_TRUNC;
    if (libraryFlags & AVIO_FLAG_WRITE) return O_WRONLY | O_CREAT | O_TRUNC;
    // Non-blocking only for the open itself: a FIFO without a writer would
    // otherwise block open() where no interrupt callback can reach it.
    return O_RDONLY | O_NONBLOCK;
}

// Waits until a pipe has data (or was closed), asking the interrupt callback
// between short polls. 0 when readable, AVERROR_EXIT when interrupted, -1 on failure.
int WaitReadable(const TUnicodeFile& file) {
    pollfd request{file.Handle, POLLIN, 0};
    for (;;) {
        if (file.Interrupt.callback && file.Interrupt.callback(file.Interrupt.opaque)) return AVERROR_EXIT;
        int ready = ::poll(&request, 1, PollStepMs);
        if (ready > 0) return 0;
        if (ready < 0 && errno != EINTR) return -1;
    }
}

} // namespace

namespace {

// Takes an open descriptor into `file`; the descriptor is closed on failure.
// -2 on failure, with errno telling why.
int AdoptHandle(TUnicodeFile* file, int fd, bool nonBlockingOpen) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 ||
        (nonBlockingOpen && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -2;
    }
    file->Handle = fd;
    file->Streamed = !S_ISREG(info.st_mode);
    return 0;
}

int OpenHandle(const std::string& path, int access) {
    int fd;
    do {
        fd = ::open(path.c_str(), access | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A library I/O context over `file`; on failure the file is closed.
int WrapFile(std::unique_ptr<TUnicodeFile> file, bool writable, AVIOContext** pb) {
    auto* buffer = static_cast<unsigned char*>(ff::av_malloc(IOBufferSize));
    AVIOContext* ctx = buffer ? ff::avio_alloc_context(buffer, IOBufferSize, writable ? 1 : 0, file.get(),
                                                       UnicodeRead, UnicodeWrite, UnicodeSeek)
                              : nullptr;
    if (!ctx) {
        ff::av_free(buffer);
        UnicodeClose(file.get());
        return AVERROR(ENOMEM);
    }
    if (file->Streamed) ctx->seekable = 0;
    file.release();
    *pb = ctx;
    return 0;
}

} // namespace

int UnicodeOpen(TUnicodeFile* file, const std::string& url, int flags) {
    const std::string path = WideToUtf8(StripUnicodeURL(url));
    const int access = OpenFlags(flags);
    const int fd = OpenHandle(path, access);
    if (fd < 0) return -2;
    return AdoptHandle(file, fd, (access & O_NONBLOCK) != 0);
}

int UnicodeRead(void* opaque, uint8_t* buf, int size) {
    auto* file = static_cast<TUnicodeFile*>(opaque);
    if (file->Streamed) {
        int waited = WaitReadable(*file);
        if (waited != 0) return waited;
    }
    ssize_t n;
    do {
        n = ::read(file->Handle, buf, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    // The library's I/O layer takes 0 as "try again" and would spin for ever.
    if (n == 0) return AVERROR_EOF;
    return static_cast<int>(n);
}

int UnicodeWrite(void* opaque, uint8_t* buf, int size) {
    auto* file = static_cast<TUnicodeFile*>(opaque);
    int done = 0;
    while (done < size) {
        ssize_t n = ::write(file->Handle, buf + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        // The library keeps the code as the context's error: a full disk must
        // read as one, not as a failure of no kind.
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR(EIO);
        done += static_cast<int>(n);
    }
    return done;
}

int64_t UnicodeSeek(void* opaque, int64_t pos, int whence) {
    auto* file = static_cast<TUnicodeFile*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        if (file->Streamed || ::fstat(file->Handle, &info) != 0) return -1;
        return info.st_size;
    }
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    off_t moved = ::lseek(file->Handle, pos, whence);
    return moved < 0 ? -1 : moved;
}

int UnicodeClose(TUnicodeFile* file) {
    if (file->Handle < 0) return 0;
    int result = ::close(file->Handle);
    file->Handle = -1;
    return result == 0 ? 1 : 0;
}

int OpenUnicodeIO(AVIOContext** pb, const std::string& url, int flags, const AVIOInterruptCB& interrupt) {
    *pb = nullptr;
    auto file = std::make_unique<TUnicodeFile>();
    file->Interrupt = interrupt;
    if (UnicodeOpen(file.get(), url, flags) < 0) return errno ? AVERROR(errno) : AVERROR(ENOENT);
    return WrapFile(std::move(file), (flags & AVIO_FLAG_WRITE) != 0, pb);
}

int CreateFileIO(AVIOContext** pb, const std::string& path, const AVIOInterruptCB& interrupt, bool claimed) {
    *pb = nullptr;
    // O_EXCL: a file another conversion has just made is never overwritten;
    // it also refuses a symbolic link, dangling or not, in place of the file.
    // Read access too: a finished file may have its header edited (SpliceFileIO).
    const int fd = OpenHandle(path, O_RDWR | O_NOFOLLOW | (claimed ? O_TRUNC : O_CREAT | O_EXCL));
    if (fd < 0) return AVERROR(errno);
    auto file = std::make_unique<TUnicodeFile>();
    file->Interrupt = interrupt;
    if (AdoptHandle(file.get(), fd, false) < 0) return AVERROR(errno);
    return WrapFile(std::move(file), true, pb);
}

bool IsUnicodeIO(const AVIOContext* pb) { return pb && pb->read_packet == UnicodeRead; }

void CloseUnicodeIO(AVIOContext** pb) {
    if (!pb || !*pb) return;
    AVIOContext* ctx = *pb;
    if (ctx->write_flag) ff::avio_flush(ctx);
    std::unique_ptr<TUnicodeFile> file(static_cast<TUnicodeFile*>(ctx->opaque));
    UnicodeClose(file.get());
    // The library may have replaced the buffer we gave it, so free the one it holds.
    ff::av_freep(&ctx->buffer);
    ff::avio_context_free(pb);
}
