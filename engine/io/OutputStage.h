#pragma once
// The output stages of a run. Every encoded output stream has one, made by the
// set-up's prepare step for the stream's kind (audio/, video/, subtitle/): it
// takes what the stream's source decodes, keeps what its kind needs between
// frames, encodes, and hands its packets to the muxer side. Its life is the
// run's: the release step destroys it, and with it everything it holds.
// What every kind shares stays in TOutputStream.
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

struct TInputStream;
struct TOutputStream;

// What one decode of a source hands on: samples, a picture or a subtitle.
struct TDecodedData {
    const uint8_t* Samples = nullptr;  // interleaved, as the source last delivered them (TInputStream::Delivered*)
    int Size = 0;                      // bytes at Samples
    AVFrame* Picture = nullptr;
    const AVSubtitle* Subtitle = nullptr;
    int64_t SubtitlePts = INT64_MIN;   // the subtitle's packet pts, in the source's time base
};

// Where a stage's packets go: the stream's bit-stream filters, then its muxer.
class TPacketSink {
public:
    // `pkt` has `ost`'s stream index and time stamps in its muxer stream's time base.
    virtual void Write(TOutputStream& ost, AVPacket* pkt) = 0;

protected:
    ~TPacketSink() = default;
};

// What the run counts over all its output streams, for the progress report.
struct TRunCounters {
    int64_t VideoSize = 0;  // bytes written per kind
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;  // the encoders' global headers
    int FramesDuplicated = 0;
    int FramesDropped = 0;
    bool DupDropPending = false;  // a duplicate or drop the log has not told yet
};

// What the prepare step gives every stage.
struct TStageLinks {
    TOutputStream* Stream = nullptr;  // the stage's own stream
    // The stream whose encoder the stage writes through: the stream itself,
    // or in join mode the first file's stream at the same place.
    TOutputStream* Lead = nullptr;
    TPacketSink* Sink = nullptr;
    TRunCounters* Counters = nullptr;
    void* LogSender = nullptr;        // the task, for the log
};

class TOutputStage {
public:
    virtual ~TOutputStage() = default;
    // One decode of the stream's source; a stage takes only its own kind.
    virtual void Push(TInputStream& ist, const TDecodedData& decoded) = 0;
    // The source has ended: what the stage and its encoder still hold is written.
    virtual void Drain() = 0;
};
