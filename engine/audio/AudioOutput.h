#pragma once
// The audio stage of an encoded audio stream: decoded interleaved samples are
// resampled or reformatted into the encoder's format, kept in step with the
// input clock, gathered into encoder frames (AudioOutputEncode.cpp) and
// encoded; every packet goes to the muxer side. A normalising gain is given
// to the source's samples before they are converted, and a loudness meter
// sees what the encoder is handed.
#include <memory>
#include <vector>

#include "LoudnessMeter.h"
#include "OutputStage.h"
#include "StreamRecords.h"

// The run's options the audio stage reads.
struct TAudioSettings {
    int SyncMethod = 0;           // 0: follow the input clock; 1: count what was written; more: also compensate drift
    float DriftThreshold = 0.1f;  // seconds of gap in the source the sound jumps over
    int64_t StartTime = 0;        // microseconds of the input before the output starts
    int Verbose = 1;
    bool ExitOnError = false;
    double Gain = 1.0;            // the samples' factor before they are converted
    bool MeasureLoudness = false; // the encoder's samples go through a loudness meter
};

class TAudioOutput final : public TOutputStage {
public:
    // `output` is the container the stream is written to.
    TAudioOutput(const TStageLinks& links, const AVFormatContext* output, const TAudioSettings& settings);

    // The conversion from `ist`'s decoder to the encoder, and the encoder's
    // frame and packet.
    void Prepare(TInputStream& ist);
    void Push(TInputStream& ist, const TDecodedData& decoded) override;
    // Lets out what the resampler and the FIFO hold, the last frame padded
    // with silence when the encoder takes only whole frames, then drains the
    // encoder.
    void Drain() override;

    // What the output check holds against the finished file.
    int64_t SamplesDecoded() const { return samplesDecoded_; }  // handed on towards the encoder, at its rate
    int64_t SamplesWritten() const { return samplesWritten_; }  // in the packets the muxer took
    bool PacketWithoutDuration() const { return packetWithoutDuration_; }
    // The meter of what the encoder was given; none when nothing was measured.
    std::unique_ptr<TLoudnessMeter> TakeMeter() { return std::move(meter_); }

private:
    enum TStep { stGoOn, stRestart, stDropped };

    void SizeBuffers(const TInputStream& ist, int64_t room);
    void SetUpConversion(const TInputStream& ist);
    TStep KeepInStep(TInputStream& ist, const uint8_t*& data, int& size, int64_t& room);
    void Convert(TInputStream& ist, const uint8_t* data, int size);
    void EncodeBlock(const uint8_t* data, int size);
    void Measure(const uint8_t* data, int samples);
    void SendFrame(const uint8_t* data, int samples);
    int64_t FramePts();
    void ReceivePackets();

    AVCodecContext* Encoder() const { return links_.Lead->Encoder.get(); }
    // The stage whose encoder this one writes through: the one state of the
    // encoder's frames (pts, frame, packet, counters) of all joined files.
    TAudioOutput& Lead() { return links_.Lead == links_.Stream ? *this : static_cast<TAudioOutput&>(*links_.Lead->Stage); }

    TStageLinks links_;
    const AVFormatContext* output_;
    TAudioSettings settings_;

    // The conversion of this stream's source into the encoder's format.
    bool resample_ = false;        // through the resampler (rate, channels, drift compensation)
    SwrContextPtr resampler_;
    int resampleFormat_ = 0;       // the source's packed format, rate and channels the resampler is made for
    int resampleChannels_ = 0;
    int resampleRate_ = 0;
    int reformatPair_ = -6;        // the format pair the reformatter converts
    SwrContextPtr reformatter_;
    std::vector<uint8_t> fifo_;    // whole interleaved samples waiting for an encoder frame
    // Work buffers: grown when a block needs more, freed once drained.
    std::vector<uint8_t> buffer_;  // converted samples; at least one encoder frame
    std::vector<uint8_t> silence_; // decoded samples behind inserted silence
    std::vector<uint8_t> gained_;  // decoded samples with the gain given
    std::vector<uint8_t> tamed_;   // float samples made safe for the encoder
    // The widest float samples the encoder takes (FloatSampleLimit); 0 when
    // it takes no float samples.
    float floatLimit_ = 0;

    // The encoder's side; used on the lead stage only.
    int64_t encoderPts_ = 0;       // the next frame's pts, in samples
    bool placed_ = false;          // the first frame has its place in the output's time
    bool onClock_ = false;         // frames follow the input clock (beside a picture or subtitles)
    FramePtr frame_;               // the frame handed to the encoder, reused
    PacketPtr packet_;             // the packet taken from the encoder, reused
    int64_t samplesDecoded_ = 0;
    int64_t samplesWritten_ = 0;
    bool packetWithoutDuration_ = false;
    std::unique_ptr<TLoudnessMeter> meter_;
};
