#pragma once
// The tables and counters of one transcode run: built by the set-up, used by
// the loop and the output paths, freed by the release step. Worker thread only.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "CoverArt.h"
#include "VideoStatistics.h"
#include "CustomFFmpeg.h"

struct TCustomFFmpeg::TRun {
    explicit TRun(TCustomFFmpeg& task) : Sink(task) {}

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

    TRunCounters Counters;                       // bytes per kind, duplicated and dropped pictures
    int64_t TimerStart = 0;                      // when the loop started, library clock
    std::unique_ptr<TVideoStatistics> VideoStatistics;  // the "vstats" file, when one is asked for
    std::vector<FilterGraphPtr> FilterGraphs;    // the video filter graphs of the run

    // Codecs the run opened; they are closed under the codec-close lock.
    std::vector<TOutputStream*> OpenedEncoders;
    std::vector<TInputStream*> OpenedDecoders;

    // Work buffers: grown when a block needs more, never shrunk.
    std::vector<uint8_t> DecodeBuffer;           // decoded interleaved samples of every input stream
    int BitBufferSize = 262144;
    std::vector<uint8_t> BitBuffer;              // size BitBufferSize; kept for its size rules
    std::vector<TOutputCover> Covers;            // the cover of each output that carries one, until its tags take it

    // The muxer end of the stages: a packet goes through its stream's filters into its container.
    struct TMuxerSink final : TPacketSink {
        explicit TMuxerSink(TCustomFFmpeg& task) : Task(task) {}
        void Write(TOutputStream& ost, AVPacket* pkt) override { Task.WriteFrame(Task.OutputFiles[ost.FileIndex], pkt, ost); }
        TCustomFFmpeg& Task;
    } Sink;
    // What a stage of `ost` is given.
    TStageLinks LinksOf(TOutputStream& ost, TCustomFFmpeg& task) {
        return {&ost, &task.LeadOf(ost), &Sink, &Counters, &task};
    }
};

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

