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
// Closes an input opened by OpenInputURL (and its own I/O, if any); *ctx becomes nullptr.
void CloseInputURL(AVFormatContext** ctx);

// Opens the byte stream of an output context for writing (creating or emptying
// the file). Returns 0 or a negative library error code.
int OpenOutputIO(AVFormatContext* ctx, const std::string& url);
// Flushes and closes the byte stream opened by OpenOutputIO; safe to call twice.
void CloseOutputIO(AVFormatContext* ctx);
