#pragma once
// The records of one transcode run: per input file, per input stream, per
// output stream, and the map records set by options.
#include <cstdint>
#include <vector>

#include "FFPtr.h"
#include "FFUtils.h"
#include "OutputStage.h"
#include "VideoRecords.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
}

// No-value time stamp of the libraries.
constexpr int64_t NoPts = INT64_MIN;
constexpr AVRational MicrosecondBase{1, 1000000};

struct BsfContextDeleter {
    void operator()(AVBSFContext* c) const { ff::av_bsf_free(&c); }
};
using BsfContextPtr = std::unique_ptr<AVBSFContext, BsfContextDeleter>;
// A bit-stream filter chain: every packet passes the filters in order.
using TBitstreamFilterChain = std::vector<BsfContextPtr>;

struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

struct TMetadataMapSpec {
    int FileIndex = 0;
    char Kind = 'g';  // 'g' global, 's' stream, 'c' chapter, 'p' program
    int Index = 0;
};

// Output side first, input side second.
struct TMetadataMap {
    TMetadataMapSpec Out;
    TMetadataMapSpec In;
};

struct TChapterMap {
    int InFile = 0;
    int OutFile = 0;
};

struct TInputFile {
    int EOFReached = 0;
    int FirstStream = 0;
    int StreamCount = 0;
};

struct TInputStream {
    int FileIndex = 0;
    int StreamIndex = 0;
    AVStream* Stream = nullptr;       // the demuxer's stream
    CodecContextPtr Decoder;          // the decoder context this run owns for the stream
    int Unmapped = 1;
    int NeedsDecoding = 0;
    int64_t StartClock = 0;
    int64_t NextPts = 0;
    int64_t Pts = 0;
    TPtsCorrection PtsCorrection{};
    int AtStart = 0;
    int MultiFrameWarned = 0;
    int PastRecordingTime = 0;
    int Flushed = 0;
    AVFilterContext* FilterOutput = nullptr;  // owned by the run's filter graph
    AVFilterContext* FilterInput = nullptr;
    FramePtr FilteredPicture;

    // ---- transcode run state (transcode/, audio/) ----
    FramePtr DecodedFrame;            // the frame the decoder hands back, reused per packet
    int DeliveredFormat = -1;         // packed sample format, rate and channels of the samples in the decode buffer
    int DeliveredRate = 0;
    int DeliveredChannels = 0;
    int64_t PacketTime = INT64_MIN;   // video: pts of the packet being decoded, microseconds
    float Quality = 0;
    TVideoInputRun Video;             // video pictures between decoder and outputs (video/)
};

// An output stream: what every kind shares. What a kind keeps between the
// frames of a run is its stage's.
struct TOutputStream {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SourceIndex = 0;              // the input stream table's index of its source
    AVStream* Stream = nullptr;       // the muxer's stream; owned by its container
    CodecContextPtr Encoder;          // the encoder context of the stream (streams carry no context any more)
    int NeedsEncoding = 0;
    int StreamCopy = 0;               // set when the stream is created: it copies its input's packets
    TBitstreamFilterChain BitstreamFilters;
    std::vector<int64_t> ForcedKeyFrames;  // video, from "force_key_frames", encoder time base; its stage takes them
    int SavedCodecId = 0;             // join mode: the encoder made again for each file

    // ---- run state ----
    // Whose encoder, filters and muxing state it writes through: itself, or in
    // join mode the first file's stream at the same place.
    TOutputStream* Lead = nullptr;
    TInputStream* SyncSource = nullptr;
    int64_t SyncPosition = 0;         // where the stream is in the output's clock: samples, frames
    int FrameNumber = 0;              // frames written (packets, when copied)
    int Active = 0;                   // join mode: cleared once its file has ended
    bool EncoderDrained = false;      // the end of input was sent; the encoder takes nothing more
    bool BsfInitialised = false;      // the bit-stream filters know their input parameters
    int64_t LastMuxDts = INT64_MIN;   // last dts written to the muxer stream, in its time base
    int64_t MuxDtsShift = 0;          // join mode: shift that keeps a re-created encoder after the last packet
    int64_t PacketsWritten = 0;       // packets the muxer took for this stream
    std::unique_ptr<TOutputStage> Stage;  // an encoded stream's
};
