#pragma once
// The tables and counters of one transcode run, with its decoding side, its
// muxing sides and (through the output stream records) its stages: built by
// the set-up, used by the loop, freed by the release step. Worker thread only.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "OutputMux.h"
#include "SourceDecoder.h"
#include "VideoStatistics.h"
#include "CustomFFmpeg.h"

struct TCustomFFmpeg::TRun {
    explicit TRun(TCustomFFmpeg& task) : Outputs(task) {}

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

    // Codecs the run opened; they are closed under the codec-close lock.
    std::vector<TOutputStream*> OpenedEncoders;
    std::vector<TInputStream*> OpenedDecoders;

    int BitBufferSize = 262144;
    std::vector<uint8_t> BitBuffer;              // size BitBufferSize; kept for its size rules
    // The muxing side of each output container, and of each output slot
    // (joined slots share the one container).
    std::vector<std::unique_ptr<TOutputMux>> Muxes;
    std::vector<TOutputMux*> SlotMuxes;
    TOutputMux& MuxOf(int slot) { return *SlotMuxes.at(slot); }
    // The stretches of the cut inputs, and the decoding side, which keeps
    // their samples only, and the output side as it sees it.
    TSourceCutter Cutter;
    std::unique_ptr<TSourceDecoder> Decoder;
    struct TOutputRoute final : TDecodedRoute {
        explicit TOutputRoute(TCustomFFmpeg& task) : Task(task) {}
        void Route(TInputStream& ist, int index, const AVPacket* pkt, const TDecodedData& decoded) override {
            Task.RouteDecoded(ist, index, pkt, decoded);
        }
        void Drain(int index) override { Task.DrainEncoders(index); }
        TCustomFFmpeg& Task;
    } Outputs;
    // What a stage of `ost` is given.
    TStageLinks LinksOf(TOutputStream& ost, TCustomFFmpeg& task) {
        return {&ost, &task.LeadOf(ost), &MuxOf(ost.FileIndex), &Counters, &task};
    }
};

// The process-wide lock of the closing of the codecs of a finished run.
std::mutex& CodecCloseLock();

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

