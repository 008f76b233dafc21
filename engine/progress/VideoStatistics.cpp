#include "VideoStatistics.h"

#include <algorithm>
#include <cmath>

#include "MyUtilStubs.h"
#include "StreamRecords.h"
#include "TaskTypes.h"

// Quality, picture type and plane errors travel with the packet: a 32-bit
// quality, the picture type, the count of errors, two spare bytes, then the
// errors, all little-endian.
void TCodedFrame::Note(const AVPacket& pkt, AVRational streamBase, AVRational frameBase) {
    size_t size = 0;
    const uint8_t* data = ff::av_packet_get_side_data(&pkt, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!data || size < 8) return;
    auto little = [data](size_t at, int bytes) {
        uint64_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | data[at + static_cast<size_t>(i)];
        return value;
    };
    Quality = static_cast<int>(little(0, 4));
    PictureType = data[4];
    const size_t errors = std::min<size_t>(data[5], 4);
    for (size_t i = 0; i < 4; ++i) Error[i] = i < errors && size >= 8 + 8 * (i + 1) ? little(8 + 8 * i, 8) : 0;
    // Encoders need not say how long a picture lasts: then it is one frame.
    if (pkt.pts != NoPts)
        EndTime = static_cast<double>(pkt.pts) * av_q2d(streamBase) +
                  (pkt.duration > 0 ? static_cast<double>(pkt.duration) * av_q2d(streamBase) : av_q2d(frameBase));
}

TVideoStatistics::~TVideoStatistics() {
    if (file_) ff::fclose(file_);
}

void TVideoStatistics::Write(const AVCodecContext* enc, const TCodedFrame& frame, int64_t packets, int frameSize,
                             int64_t videoBytes) {
    if (!enc || enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
    if (!file_) {
        file_ = ff::fopen(name_.c_str(), "w");
        if (!file_) throw FFmpegException("fopen fail: " + name_);
    }
    // The encoder may hold pictures back: a packet is counted as it comes out.
    ff::fprintf(file_, "frame= %5d q= %2.1f ", static_cast<int>(packets), frame.Quality / static_cast<double>(FF_QP2LAMBDA));
    if (enc->flags & AV_CODEC_FLAG_PSNR) {
        const double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
        ff::fprintf(file_, "PSNR= %6.2f ", -10.0 * std::log10(static_cast<double>(frame.Error[0]) / scale));
    }
    ff::fprintf(file_, "f_size= %6d ", frameSize);
    const double timeBase = av_q2d(enc->time_base);
    // The packet's end: the encoder may hand it out after later pictures went in.
    double t = frame.EndTime;
    if (t < 0.01) t = 0.01;
    const double frameRate = frameSize * 8 / timeBase / 1000.0;
    const double average = static_cast<double>(videoBytes) * 8 / t / 1000.0;
    ff::fprintf(file_, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", videoBytes / 1024.0, t,
                frameRate, average);
    ff::fprintf(file_, "type= %c\n", ff::av_get_picture_type_char(static_cast<AVPictureType>(frame.PictureType)));
}
