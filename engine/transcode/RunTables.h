#pragma once
// The tables and counters of one transcode run: built by the set-up, used by
// the loop and the output paths, freed by the release step. Worker thread only.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "CoverArt.h"
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

    // Bytes written per kind, for the statistics line.
    int64_t VideoSize = 0;
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;
    int FramesDuplicated = 0;
    int FramesDropped = 0;
    bool DupDropPending = false;
    int64_t TimerStart = 0;                      // when the loop started, library clock
    FILE* VstatsFile = nullptr;                  // opened through the bound C runtime
    std::vector<FilterGraphPtr> FilterGraphs;    // the video filter graphs of the run

    // Codecs the run opened; they are closed under the codec-close lock.
    std::vector<TOutputStream*> OpenedEncoders;
    std::vector<TInputStream*> OpenedDecoders;

    // Work buffers: grown when a block needs more, never shrunk.
    std::vector<uint8_t> DecodeBuffer;           // decoded interleaved samples of every input stream
    std::vector<uint8_t> AudioBuffer;            // converted samples; one encoder frame
    std::vector<uint8_t> SilenceBuffer;          // decoded samples behind inserted silence
    int BitBufferSize = 262144;
    std::vector<uint8_t> BitBuffer;              // size BitBufferSize; kept for its size rules
    std::vector<uint8_t> SubtitleBuffer;         // 1 MiB, allocated by the first subtitle encoded
    std::vector<TOutputCover> Covers;            // the cover of each output that carries one, until its tags take it
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
