#pragma once
// The decoding side of a run: each packet of a source (or its end) through
// its stream's decoder, the time stamps of what comes out, the audio hook and
// the volume, rate emulation, and for pictures deinterlacing, the video-input
// hook, the frame hook modules and the "vf" filter chain
// (video/PictureInput.cpp, video/VideoFilters.cpp). What it decodes goes to
// the output side through a TDecodedRoute.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FrameHook.h"
#include "OutputStage.h"
#include "PictureHooks.h"
#include "SourceCutter.h"
#include "StreamRecords.h"

// The output side, as the decoding side sees it.
class TDecodedRoute {
public:
    // What input stream `index` gave: a packet it does not decode (for the
    // copied outputs) or what its decoder made.
    virtual void Route(TInputStream& ist, int index, const AVPacket* pkt, const TDecodedData& decoded) = 0;
    // Input stream `index` has ended: its outputs let out what they hold.
    virtual void Drain(int index) = 0;

protected:
    ~TDecodedRoute() = default;
};

// The run's options the decoding side reads.
struct TDecodeSettings {
    int AudioVolume = 256;       // 256 leaves the samples as they are
    bool RateEmulation = false;  // the source is read no faster than it plays
    bool Deinterlace = false;
    bool FrameHooks = false;     // the frame hook modules take every picture
};

class TSourceDecoder {
public:
    // The hooks and the relay are the task's (`sender`); `cutter` keeps the
    // samples of the cut sources' stretches.
    TSourceDecoder(TDecodedRoute& route, const TDecodeSettings& settings, TPictureHooks& pictureHooks,
                   TFrameHookList& frameHooks, const TAudioHookRelay& audioHook, TSourceCutter& cutter,
                   TCustomFFmpeg* sender);
    TSourceDecoder(const TSourceDecoder&) = delete;
    TSourceDecoder& operator=(const TSourceDecoder&) = delete;

    // One packet of `ist` (input stream `index`), or with null the end of the
    // stream. Negative when the decoder refused the packet.
    int Decode(TInputStream& ist, int index, const AVPacket* pkt);
    // The filter chain `chain` from `ist`'s decoder to `enc`, which takes its
    // picture size from the chain's end. 0, or the library's error with
    // `errorText` telling the step that failed.
    int ConfigureFilters(TInputStream& ist, AVCodecContext* enc, const std::string& chain, int scalerFlags,
                         std::string& errorText);

    // The size of the buffer of decoded samples after a packet of `packetSize` bytes arrived.
    static size_t BufferSizeFor(size_t current, int64_t packetSize);

private:
    template <typename OnFrame>
    int ReceiveFrames(TInputStream& ist, const AVPacket* pkt, const OnFrame& onFrame);
    int DecodeAudio(TInputStream& ist, int index, const AVPacket* pkt);
    int DecodeVideo(TInputStream& ist, int index, const AVPacket* pkt);
    int DecodeSubtitle(TInputStream& ist, int index, const AVPacket* pkt);
    void AdvanceWithoutDecoding(TInputStream& ist, const AVPacket* pkt);
    void DeliverAudioFrame(TInputStream& ist, int index, AVFrame* frame);
    void EmulateRate(const TInputStream& ist) const;
    void HandOverPicture(TInputStream& ist, int index, AVFrame* decoded);
    AVFrame* PreprocessPicture(TInputStream& ist, AVFrame* decoded);
    void RouteFilteredPictures(TInputStream& ist, int index);
    void CloseFilters(TInputStream& ist, int index);
    // "Error while filtering the pictures of input stream #f.s" with the library's reason.
    static FFmpegException FilteringError(const TInputStream& ist, int ret);

    TDecodedRoute& route_;
    TDecodeSettings settings_;
    TPictureHooks& pictureHooks_;
    TFrameHookList& frameHooks_;
    const TAudioHookRelay& audioHook_;
    TSourceCutter& cutter_;
    TCustomFFmpeg* sender_;
    std::vector<uint8_t> samples_;             // decoded interleaved samples of every input stream
    std::vector<FilterGraphPtr> filterGraphs_; // the "vf" chains; their ends are the input streams'
};
