// The subtitle output path: every decoded subtitle is encoded and written; a
// DVB subtitle twice, as its page and then as the empty page that takes it
// off the screen when its display time is over.
#include <cstring>

#include "FFLog.h"
#include "RunTables.h"

namespace {

constexpr size_t SubtitleBufferSize = 1024 * 1024;
constexpr AVRational Milliseconds{1, 1000};

} // namespace

void TCustomFFmpeg::DoSubtitleOut(AVFormatContext* output, TOutputStream& ost, TInputStream& ist,
                                  const AVSubtitle& subtitle, int64_t pts) {
    if (pts == NoPts) {
        if (Opt.ExitOnError) throw FFmpegException("Subtitle packets must have a pts");
        GlobalLogger()->Log(this, llError, "Subtitle packets must have a pts");
        return;
    }
    AVCodecContext* enc = EncoderOf(ost);
    const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    // A subtitle with nothing on it (a DVB page that clears the screen) is
    // news only to DVB: other encoders have nothing to draw, and the DVD
    // encoder refuses it.
    if (!dvb && subtitle.num_rects == 0) return;
    std::vector<uint8_t>& buffer = Run_->SubtitleBuffer;
    if (buffer.empty()) buffer.resize(SubtitleBufferSize);
    const AVRational tb = ost.Stream->time_base;

    AVSubtitle sub = subtitle;  // the rectangles stay the decoder's
    for (int pass = 0; pass < (dvb ? 2 : 1); ++pass) {
        sub.pts = ff::av_rescale_q(pts, ist.Stream->time_base, MicrosecondBase) +
                  static_cast<int64_t>(sub.start_display_time) * 1000;
        sub.end_display_time -= sub.start_display_time;
        sub.start_display_time = 0;
        if (pass == 1) sub.num_rects = 0;
        const int size = ff::avcodec_encode_subtitle(enc, buffer.data(), static_cast<int>(buffer.size()), &sub);
        if (size < 0) throw FFmpegException("Subtitle encoding failed");
        PacketPtr pkt = MakePacket();
        if (!pkt || ff::av_new_packet(pkt.get(), size) < 0) throw FFmpegException("av_mallocz fail");
        std::memcpy(pkt->data, buffer.data(), static_cast<size_t>(size));
        pkt->stream_index = ost.StreamIndex;
        pkt->pts = ff::av_rescale_q(sub.pts, MicrosecondBase, tb);
        if (dvb) {
            // Display times are in milliseconds, 90 ticks each of the 90 kHz clock DVB streams run on.
            pkt->pts += ff::av_rescale_q(pass == 0 ? sub.start_display_time : sub.end_display_time, Milliseconds, tb);
        } else {
            // Containers of this library generation take a text's display time from its packet.
            pkt->duration = ff::av_rescale_q(sub.end_display_time, Milliseconds, tb);
        }
        pkt->dts = pkt->pts;
        if (pass == 1) {
            // Written once the next page starts later, or at the end: a page
            // that comes first replaces this one on the screen anyway.
            ost.PendingClearPage = std::move(pkt);
            continue;
        }
        if (ost.PendingClearPage && ost.PendingClearPage->pts <= pkt->pts) FlushSubtitleOut(output, ost);
        ost.PendingClearPage.reset();
        WriteFrame(output, pkt.get(), ost);
    }
}

void TCustomFFmpeg::FlushSubtitleOut(AVFormatContext* output, TOutputStream& ost) {
    if (!ost.PendingClearPage) return;
    PacketPtr pkt = std::move(ost.PendingClearPage);
    WriteFrame(output, pkt.get(), ost);
}
