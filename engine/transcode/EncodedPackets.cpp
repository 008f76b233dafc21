#include "EncodedPackets.h"

#include "TaskTypes.h"

void TakeEncodedPackets(AVCodecContext* enc, AVPacket* pkt, const char* failure,
                        const std::function<void(AVPacket* pkt)>& take) {
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) throw FFmpegException(failure);
        take(pkt);
        ff::av_packet_unref(pkt);
    }
}
