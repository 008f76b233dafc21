#pragma once
// Every stream of an open file in a few words, and the picture among them that
// is the file's cover. The converter carries that picture into its outputs;
// --info shows both.
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

struct TStreamEntry {
    int Index = 0;
    std::string Kind;          // "audio", "video", "subtitle", "data", "attachment", "unknown"
    std::string Codec;         // the library's short codec name
    std::string Language;      // empty when the file names none
    int64_t BitRate = 0;       // bits per second; 0 when unknown
    int SampleRate = 0;        // audio
    int Channels = 0;          // audio
    int Width = 0;             // video and pictures
    int Height = 0;
    bool Picture = false;      // an attached picture (cover art), not a moving video
    int64_t PictureBytes = 0;  // the size of an attached picture
};

std::vector<TStreamEntry> ListStreams(const AVFormatContext* ic);

// The attached picture an output should carry as its cover: the one marked as
// the front cover, else the first. -1 when the file has none.
int CoverStreamIndex(const AVFormatContext* ic);
