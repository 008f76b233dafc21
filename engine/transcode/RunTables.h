#pragma once
// The tables of one transcode run: built by the set-up, used by the loop and
// the output paths, freed by the release step. Worker thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "CustomFFmpeg.h"

struct TCustomFFmpeg::TRun {
    std::vector<TInputFile> InputFiles;
    std::vector<std::unique_ptr<TInputStream>> InputStreams;
    std::vector<TOutputStream*> OutputStreams;   // records owned by OutputStreamsForFile
    std::vector<char> NoPacket;                  // per possible input file: the last read asked to try again
    int NoPacketCount = 0;
    int StreamsInFirstOutput = 0;
    int CurrentFile = 0;
    int64_t LastReportTime = 0;
    uint32_t StopCheckThread = 0;
    bool StopCheckRegistered = false;
};

// No-value time stamp of the libraries.
constexpr int64_t NoPts = INT64_MIN;
constexpr AVRational MicrosecondBase{1, 1000000};

// The media type of an output stream: the stream's parameters once they are
// filled, before that the type its encoder context was created for.
inline AVMediaType OutputTypeOf(const TOutputStream& ost, const AVCodecContext* encoder) {
    if (ost.Stream && ost.Stream->codecpar->codec_type != AVMEDIA_TYPE_UNKNOWN) return ost.Stream->codecpar->codec_type;
    return encoder ? encoder->codec_type : AVMEDIA_TYPE_UNKNOWN;
}

// One unopened decoder context per input stream, from the stream's parameters
// (the forced decoder of that table position when one was given).
void CreateDecoderContexts(std::vector<std::unique_ptr<TInputStream>>& streams,
                           const std::vector<const AVCodec*>& forced);

// The library's name of a sample format, "none" for none.
inline std::string SampleFormatName(int format) {
    const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name ? name : "none";
}
