// The encoder end of the video stage: each written frame is sent with its
// time stamp (in frames of the output), picture type, quality and field
// order; every packet the encoder gives back goes to the muxer, and the first
// pass of a two-pass encoding logs the encoder's statistics.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "EncodedPackets.h"
#include "TaskTypes.h"
#include "VideoOutput.h"

namespace {

// How long one written frame lasts in the encoder's time base: every frame
// moves the stream's position on by one frame of its rate.
int64_t FrameDuration(const AVCodecContext* enc) {
    if (enc->framerate.num <= 0 || enc->framerate.den <= 0) return 1;
    return std::max<int64_t>(1, ff::av_rescale_q(1, AVRational{enc->framerate.den, enc->framerate.num}, enc->time_base));
}

} // namespace

void TVideoOutput::Encode(const TInputStream& ist, const AVFrame* picture, const AVFrame* source) {
    AVCodecContext* enc = Encoder();
    AVFrame* frame = Lead().frame_.get();
    if (ff::av_frame_ref(frame, picture) < 0) throw FFmpegException("Video encoding failed");
    frame->interlaced_frame = source->interlaced_frame;
    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
        frame->top_field_first = settings_.TopFieldFirst == -1 ? source->top_field_first : settings_.TopFieldFirst;
    frame->quality = static_cast<int>(
        std::nearbyint(settings_.SameQuality ? ist.Quality : static_cast<float>(enc->global_quality)));
    // With a motion estimation threshold the input's picture types are kept.
    frame->pict_type = settings_.MeThreshold ? source->pict_type : AV_PICTURE_TYPE_NONE;
    frame->pts = links_.Stream->SyncPosition;
    if (nextKeyFrame_ < forcedKeyFrames_.size() && frame->pts >= forcedKeyFrames_[nextKeyFrame_]) {
        frame->pict_type = AV_PICTURE_TYPE_I;
        ++nextKeyFrame_;
    }
    const int ret = ff::avcodec_send_frame(enc, frame);
    ff::av_frame_unref(frame);
    if (ret < 0) throw FFmpegException("Video encoding failed");
    ReceivePackets();
}

void TVideoOutput::ReceivePackets() {
    TOutputStream& ost = *links_.Stream;
    AVCodecContext* enc = Encoder();
    TakeEncodedPackets(enc, Lead().packet_.get(), "Video encoding failed", [&](AVPacket* pkt) {
        const int64_t frameBytes = pkt->size;
        links_.Counters->VideoSize += frameBytes;
        if (passLog_ && enc->stats_out) ff::fwrite(enc->stats_out, 1, std::strlen(enc->stats_out), passLog_.get());
        pkt->stream_index = ost.StreamIndex;
        // The video encoders of this library generation leave the duration
        // out; a muxer that ends the stream where its last packet ends (the
        // MP4 edit list) would otherwise cut the last frame off.
        if (pkt->duration <= 0) pkt->duration = FrameDuration(enc);
        ff::av_packet_rescale_ts(pkt, enc->time_base, ost.Stream->time_base);
        // Read before the muxer takes the packet over.
        codedFrame_.Note(*pkt, ost.Stream->time_base, enc->time_base);
        links_.Sink->Write(ost, pkt);
        if (statistics_ && frameBytes > 0)
            statistics_->Write(enc, codedFrame_, links_.Lead->PacketsWritten, static_cast<int>(frameBytes),
                               links_.Counters->VideoSize);
    });
}

void TVideoOutput::Drain() {
    AVCodecContext* enc = Encoder();
    if (!enc || links_.Lead->EncoderDrained) return;
    if (ff::avcodec_send_frame(enc, nullptr) < 0) throw FFmpegException("Video encoding failed");
    ReceivePackets();
    links_.Lead->EncoderDrained = true;
}
