#pragma once
// File names that do not survive the locale's charset (among them names that
// are not valid UTF-8) reach the container library as "unicode:utf8:" + their
// bytes; such URLs are served by the program's own I/O (a custom AVIOContext
// over a file descriptor).
#include <cstdint>
#include <string>
#include <vector>

#include "FileNameEncoding.h"

extern "C" {
#include <libavformat/avio.h>
}

// The URL prefix of names served by the "unicode" protocol (13 bytes).
inline constexpr char UnicodeURLPrefix[] = "unicode:utf8:";

bool NeedsUnicodeURL(const std::wstring& name);
std::string FileNameToURL(const std::wstring& name);
std::wstring URLToFileName(const std::string& text);
std::wstring StripUnicodeURL(const std::string& text);
bool IsUnicodeURL(const std::string& text);

// Adds "unicode" to the program's protocol list, once per process.
void RegisterUnicodeProtocol();
bool UnicodeProtocolRegistered();
// The protocol names the program can open: the library's own (input and
// output, each name once) followed by "unicode" once it is registered.
std::vector<std::string> ProtocolNames();

// One open file of the protocol. The container library sees it as the opaque
// value of the AVIOContext; it is touched only by the thread that reads or
// writes that context.
struct TUnicodeFile {
    int Handle = -1;
    // Pipes and FIFOs: reads wait in short polls so that the interrupt
    // callback can end a read that would otherwise block for ever.
    bool Streamed = false;
    AVIOInterruptCB Interrupt{nullptr, nullptr};
};

// Opens the file named by a "unicode:utf8:" URL. Flags are the library's
// AVIO_FLAG_READ / AVIO_FLAG_WRITE / AVIO_FLAG_READ_WRITE: any write access
// creates the file or empties an existing one; read-only opens existing files
// only. 0 on success, -2 on failure.
int UnicodeOpen(TUnicodeFile* file, const std::string& url, int flags);
// Bytes read, AVERROR_EOF at end of file, AVERROR_EXIT when the interrupt
// callback ended a wait, -1 on failure.
int UnicodeRead(void* opaque, uint8_t* buf, int size);
// Bytes written (all of them), or the negative library code of the failure.
int UnicodeWrite(void* opaque, uint8_t* buf, int size);
// New position; with AVSEEK_SIZE the file size without moving. AVSEEK_FORCE is
// ignored. -1 on failure (and for the size of a pipe).
int64_t UnicodeSeek(void* opaque, int64_t pos, int whence);
// Non-zero when the handle was closed.
int UnicodeClose(TUnicodeFile* file);

// A library I/O context over a newly opened unicode file (flags as for
// UnicodeOpen). 0 and *pb set, or a negative library error code.
int OpenUnicodeIO(AVIOContext** pb, const std::string& url, int flags, const AVIOInterruptCB& interrupt);
// Creates the file `path` (bytes, as the file system names it) for writing,
// only when nothing of that name exists: not over a file, not through a
// symbolic link. 0 and *pb set, or a negative library error code
// (AVERROR(EEXIST) when the name is taken). With `claimed` the file must
// exist instead, as a regular file the caller created for this output and
// holds: it is emptied and written (still never through a link).
int CreateFileIO(AVIOContext** pb, const std::string& path, const AVIOInterruptCB& interrupt,
                 bool claimed = false);
// Editing a file written through a context of CreateFileIO, once the writer
// is done with it: flush the context first and write nothing through it
// afterwards. Reads `size` bytes at `offset` into `buf`: the count read, or a
// negative library error code.
int ReadFileIOAt(AVIOContext* pb, int64_t offset, uint8_t* buf, int size);
// Replaces the `removed` bytes at `offset` by `bytes`, moving what follows
// them. 0, or a negative library error code (the file is then damaged).
int SpliceFileIO(AVIOContext* pb, int64_t offset, int64_t removed, const std::vector<uint8_t>& bytes);
// True for contexts made by OpenUnicodeIO or CreateFileIO.
bool IsUnicodeIO(const AVIOContext* pb);
// Flushes a writing context, closes the file and frees the context; *pb
// becomes nullptr. Nothing happens for nullptr.
void CloseUnicodeIO(AVIOContext** pb);
