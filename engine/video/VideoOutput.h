#pragma once
// The video stage of an encoded video stream: how many times a picture is
// written (the clocks decide: dropped, once, or duplicated), a change of the
// source's picture geometry, scaling to the encoder's size and format, and
// each written frame through the output hook and the preview into the
// encoder (VideoEncode.cpp), whose packets go to the muxer side.
#include <atomic>
#include <climits>
#include <string>
#include <vector>

#include "MyUtilStubs.h"
#include "OutputStage.h"
#include "PictureHooks.h"
#include "StreamRecords.h"
#include "VideoStatistics.h"

// The run's options the video stage reads.
struct TVideoSettings {
    int64_t StartTime = 0;       // microseconds of the input before the output starts
    int SyncMethod = -1;         // "vsync": 0 passes pictures through, 2 variable rate, 1 constant, -1 as the muxer wants
    int MaxFrames = INT_MAX;     // pictures the stream takes at most
    bool Filtered = false;       // a "vf" chain gives the pictures in the encoder's size and format
    int ScalerFlags = 0;
    int TopFieldFirst = -1;      // -1: the source's field order
    bool SameQuality = false;    // each picture keeps its source's quality
    int MeThreshold = 0;         // non-zero: pictures keep their source's type
    int Verbose = 1;
};

// A file of the bound C runtime, closed through it.
struct PassLogCloser {
    void operator()(FILE* f) const { ff::fclose(f); }
};
using PassLogPtr = std::unique_ptr<FILE, PassLogCloser>;

class TVideoOutput final : public TOutputStage {
public:
    // `output` is the container the stream is written to; `statistics` the
    // run's statistics file, or null.
    TVideoOutput(const TStageLinks& links, const AVFormatContext* output, const TVideoSettings& settings,
                 TPictureViewer& viewer, const std::atomic<bool>& stopRequested, TVideoStatistics* statistics);

    // The scaler from `ist`'s decoded pictures to the encoder's, unless the
    // filter chain does it; the encoder's frame and packet; the times the
    // stream was given for forced key frames.
    void Prepare(TInputStream& ist);
    // Keeps the log of a two-pass encoding's first pass (OpenPassLog).
    void TakePassLog(PassLogPtr log) { passLog_ = std::move(log); }

    void Push(TInputStream& ist, const TDecodedData& decoded) override;
    void Drain() override;

    const TCodedFrame& CodedFrame() const { return codedFrame_; }

private:
    int FramesToWrite();
    bool CheckGeometry(const TInputStream& ist);
    AVFrame* Scale(const AVFrame* picture, bool newGeometry);
    AVFrame* HookOutput(AVFrame* picture, int64_t pts, int number, bool& converted);
    void Encode(const TInputStream& ist, const AVFrame* picture, const AVFrame* source);
    void ReceivePackets();

    AVCodecContext* Encoder() const { return links_.Lead->Encoder.get(); }
    TVideoOutput& Lead() { return links_.Lead == links_.Stream ? *this : static_cast<TVideoOutput&>(*links_.Lead->Stage); }

    TStageLinks links_;
    TVideoSettings settings_;
    TPictureViewer& viewer_;
    const std::atomic<bool>& stopRequested_;
    TVideoStatistics* statistics_;
    bool variableRate_;             // the muxer takes pictures at any time

    bool scaling_ = false;          // the source's pictures differ from the encoder's in size or format
    SwsContextPtr scaler_;
    FramePtr scaled_;               // the scaler's picture, made writable before each use
    int sourceWidth_ = 0;           // the geometry the scaler is made for
    int sourceHeight_ = 0;
    int sourceFormat_ = 0;
    FramePtr hookPicture_;          // the picture the output hook works on
    std::vector<int64_t> forcedKeyFrames_;  // encoder time base
    size_t nextKeyFrame_ = 0;
    PassLogPtr passLog_;            // the first pass's log
    TCodedFrame codedFrame_;        // the encoder's figures for its last packet

    // The encoder's side; used on the lead stage only.
    FramePtr frame_;                // the frame handed to the encoder, reused
    PacketPtr packet_;              // the packet taken from the encoder, reused
};

// The log of a two-pass encoding, named after `prefix` and `tableIndex`: the
// file the first pass writes, or null for the second pass, whose statistics
// the encoder is given. Raises the texts the user sees.
PassLogPtr OpenPassLog(AVCodecContext* enc, const std::string& prefix, int tableIndex);
