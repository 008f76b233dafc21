#pragma once
// The figures a video encoder gives for each coded picture, and the
// statistics file ("vstats") that receives one line per picture.
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

// What the encoder said of the last picture it coded: its quality (lambda),
// picture type and, with PSNR on, the squared error of each plane.
struct TCodedFrame {
    int Quality = 0;
    int PictureType = 0;              // AVPictureType; 0 while none was coded
    uint64_t Error[4] = {};
    double EndTime = 0;               // seconds: where the picture ends in the output

    // Takes the figures `pkt` carries (time stamps in `streamBase`, the
    // muxer stream's; a picture of unknown duration lasts `frameBase`).
    void Note(const AVPacket& pkt, AVRational streamBase, AVRational frameBase);
};

// The statistics file of a run, shared by its video streams; opened through
// the bound C runtime with the first line, closed with the object.
class TVideoStatistics {
public:
    explicit TVideoStatistics(std::string fileName) : name_(std::move(fileName)) {}
    ~TVideoStatistics();
    TVideoStatistics(const TVideoStatistics&) = delete;
    TVideoStatistics& operator=(const TVideoStatistics&) = delete;

    // The line of a coded picture of `frameSize` bytes, the `packets`-th of
    // its stream; `videoBytes` the run's video so far. Raises
    // "fopen fail: <name>" when the file cannot be created.
    void Write(const AVCodecContext* enc, const TCodedFrame& frame, int64_t packets, int frameSize, int64_t videoBytes);

private:
    std::string name_;
    FILE* file_ = nullptr;
};
