#pragma once
// Taking what an encoder has made: the loop both the audio and the video
// stages run after each frame they send and when they drain.
#include "AVCodecStubs.h"
#include "TaskTypes.h"

// Hands every packet `enc` has ready to `take`, one at a time, in `pkt`,
// which is emptied after each. Ends when the encoder wants more input or has
// given everything; any other result raises FFmpegException(`failure`).
// A template: `take` is called for every packet of the run.
template <typename Take>
void TakeEncodedPackets(AVCodecContext* enc, AVPacket* pkt, const char* failure, const Take& take) {
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) throw FFmpegException(failure);
        take(pkt);
        ff::av_packet_unref(pkt);
    }
}
