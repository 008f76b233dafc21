// Reading back and splicing a file the program has written through its own
// I/O context, without going through the context's buffer.
#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "AVUtilStubs.h"
#include "UnicodeProtocol.h"

namespace {

constexpr int64_t MoveChunk = 1 << 20;

int HandleOf(const AVIOContext* pb) {
    if (!IsUnicodeIO(pb)) return -1;
    const auto* file = static_cast<const TUnicodeFile*>(pb->opaque);
    return file->Streamed ? -1 : file->Handle;
}

int ReadAt(int fd, int64_t offset, uint8_t* buf, int64_t size) {
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buf + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) break;
        done += n;
    }
    return static_cast<int>(done);
}

int WriteAt(int fd, int64_t offset, const uint8_t* buf, int64_t size) {
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, buf + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR(EIO);
        done += n;
    }
    return 0;
}

// Moves the bytes [from, end) of the file by `shift` (either way), in chunks
// ordered so that none is overwritten before it was moved.
int MoveTail(int fd, int64_t from, int64_t end, int64_t shift) {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min(MoveChunk, std::max<int64_t>(end - from, 1))));
    for (int64_t done = 0; done < end - from;) {
        const int64_t size = std::min<int64_t>(static_cast<int64_t>(chunk.size()), end - from - done);
        const int64_t at = shift > 0 ? end - done - size : from + done;
        const int got = ReadAt(fd, at, chunk.data(), size);
        if (got < 0) return got;
        if (got != size) return AVERROR(EIO);
        const int wrote = WriteAt(fd, at + shift, chunk.data(), size);
        if (wrote < 0) return wrote;
        done += size;
    }
    return 0;
}

} // namespace

int ReadFileIOAt(AVIOContext* pb, int64_t offset, uint8_t* buf, int size) {
    const int fd = HandleOf(pb);
    if (fd < 0) return AVERROR(ENOSYS);
    return ReadAt(fd, offset, buf, size);
}

int SpliceFileIO(AVIOContext* pb, int64_t offset, int64_t removed, const std::vector<uint8_t>& bytes) {
    const int fd = HandleOf(pb);
    if (fd < 0) return AVERROR(ENOSYS);
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) return AVERROR(errno);
    if (offset + removed > end) return AVERROR(EINVAL);
    const int64_t shift = static_cast<int64_t>(bytes.size()) - removed;
    if (shift != 0) {
        const int moved = MoveTail(fd, offset + removed, end, shift);
        if (moved < 0) return moved;
        if (shift < 0 && ::ftruncate(fd, end + shift) != 0) return AVERROR(errno);
    }
    return WriteAt(fd, offset, bytes.data(), static_cast<int64_t>(bytes.size()));
}
