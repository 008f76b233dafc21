// Encoding the pictures of a video output stream: each written frame is sent
// with its time stamp (in frames of the output), picture type, quality and
// field order; every packet the encoder gives back goes to the muxer, and
// the first pass of a two-pass encoding logs the encoder's statistics.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "EncodedPackets.h"
#include "MyUtilStubs.h"
#include "RunTables.h"
#include "VideoPath.h"

namespace {

// How long one written frame lasts in the encoder's time base: every frame
// moves the stream's position on by one frame of its rate.
int64_t FrameDuration(const AVCodecContext* enc) {
    if (enc->framerate.num <= 0 || enc->framerate.den <= 0) return 1;
    return std::max<int64_t>(1, ff::av_rescale_q(1, AVRational{enc->framerate.den, enc->framerate.num}, enc->time_base));
}

} // namespace

void TCustomFFmpeg::EncodeVideoFrame(AVFormatContext* output, TOutputStream& ost, const TInputStream& ist,
                                     const AVFrame* picture, const AVFrame* source) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    AVFrame* frame = lead.EncoderFrame.get();
    if (ff::av_frame_ref(frame, picture) < 0) throw FFmpegException("Video encoding failed");
    frame->interlaced_frame = source->interlaced_frame;
    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
        frame->top_field_first = Opt.TopFieldFirst == -1 ? source->top_field_first : Opt.TopFieldFirst;
    frame->quality =
        static_cast<int>(std::nearbyint(Opt.SameQuality ? ist.Quality : static_cast<float>(enc->global_quality)));
    // With a motion estimation threshold the input's picture types are kept.
    frame->pict_type = Opt.MeThreshold ? source->pict_type : AV_PICTURE_TYPE_NONE;
    frame->pts = ost.SyncPosition;
    if (ost.ForcedKeyFrameIndex < ost.ForcedKeyFrameCount &&
        ost.ForcedKeyFrameIndex < static_cast<int>(ost.ForcedKeyFrames.size()) &&
        frame->pts >= ost.ForcedKeyFrames[ost.ForcedKeyFrameIndex]) {
        frame->pict_type = AV_PICTURE_TYPE_I;
        ++ost.ForcedKeyFrameIndex;
    }
    const int ret = ff::avcodec_send_frame(enc, frame);
    ff::av_frame_unref(frame);
    if (ret < 0) throw FFmpegException("Video encoding failed");
    ReceiveVideoPackets(output, ost);
}

void TCustomFFmpeg::ReceiveVideoPackets(AVFormatContext* output, TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    TakeEncodedPackets(enc, lead.EncoderPacket.get(), "Video encoding failed", [&](AVPacket* pkt) {
        const int64_t frameBytes = pkt->size;
        Run_->Counters.VideoSize += frameBytes;
        if (ost.PassLogFile && enc->stats_out)
            ff::fwrite(enc->stats_out, 1, std::strlen(enc->stats_out), ost.PassLogFile);
        pkt->stream_index = ost.StreamIndex;
        // The video encoders of this library generation leave the duration
        // out; a muxer that ends the stream where its last packet ends (the
        // MP4 edit list) would otherwise cut the last frame off.
        if (pkt->duration <= 0) pkt->duration = FrameDuration(enc);
        ff::av_packet_rescale_ts(pkt, enc->time_base, ost.Stream->time_base);
        // Read before the muxer takes the packet over.
        NoteCodedFrame(ost, *pkt);
        WriteFrame(output, pkt, ost);
        if (!Opt.VstatsFileName.empty() && frameBytes > 0) WriteVideoStatistics(ost, static_cast<int>(frameBytes));
    });
}

void TCustomFFmpeg::DrainVideoEncoder(TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    if (!enc || lead.EncoderDrained) return;
    if (ff::avcodec_send_frame(enc, nullptr) < 0) throw FFmpegException("Video encoding failed");
    ReceiveVideoPackets(OutputFiles[ost.FileIndex], ost);
    lead.EncoderDrained = true;
}
