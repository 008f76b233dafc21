#pragma once
// The one way the program opens and closes media files. Every input and output
// goes through here, so that a "unicode:utf8:" URL is always served by the
// program's own file I/O and every format context carries the interrupt callback.
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

// Opens `url` for reading into a new format context (interrupt callback in
// place). Returns 0, or a negative library error code with *ctx left nullptr.
int OpenInputURL(AVFormatContext** ctx, const std::string& url, const AVInputFormat* format,
                 AVDictionary** options);
// After an open that searched the PCM of `ic` for another codec stored in it
// (a WAV's 16-bit PCM): whether nothing else was found. The same file opened
// again with SkipPcmSearch is then the same, without the search.
bool PcmSearchedPlain(const AVFormatContext* ic);
// Sets the open options of a file whose PCM was searched and held nothing
// else (PcmSearchedPlain): only its first packet is looked at.
void SkipPcmSearch(AVDictionary** options);

// "" when `url` may be opened as an input, else why not. Only regular files
// and block devices are read: a FIFO or a character device would block the
// program, or be drained by the probe before the conversion reads it.
std::string InputKindError(const std::string& url);
// The text for a failed open of input `url` with library code `code`: a file
// that exists but cannot be read as media is called damaged.
std::string InputOpenErrorText(const std::string& url, int code);

// "" when a file could be created as `url` now (its folder exists and may be
// written), else the text of why not. Nothing is created.
std::string OutputFolderError(const std::string& url);

// Closes an input opened by OpenInputURL (and its own I/O, if any); *ctx becomes nullptr.
void CloseInputURL(AVFormatContext** ctx);

// Opens the byte stream of an output context for writing. A file is created
// only when its name is free (AVERROR(EEXIST) otherwise): an existing file, or
// a symbolic link in its place, is never written. Returns 0 or a negative
// library error code. `claimed`: the file exists, made and held by the
// caller for this output (CreateFileIO), and is written in place.
int OpenOutputIO(AVFormatContext* ctx, const std::string& url, bool claimed = false);
// Flushes and closes the byte stream opened by OpenOutputIO; safe to call twice.
void CloseOutputIO(AVFormatContext* ctx);
