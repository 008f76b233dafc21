#include "SubtitleOutput.h"

#include <cstring>

#include "FFLog.h"
#include "TaskTypes.h"

namespace {

constexpr size_t SubtitleBufferSize = 1024 * 1024;
constexpr AVRational Milliseconds{1, 1000};

// The size of the picture subtitles of `ist` are drawn for, when its decoder
// does not know it; left alone when nothing tells.
void CanvasOf(const TInputStream& ist, const std::vector<std::unique_ptr<TInputStream>>& inputs, int& width,
              int& height) {
    // A DVB stream that defines no display of its own is drawn for the
    // standard one.
    if (ist.Stream->codecpar->codec_id == AV_CODEC_ID_DVB_SUBTITLE) {
        width = 720;
        height = 576;
        return;
    }
    // Otherwise the picture beside it in its file.
    for (const auto& other : inputs) {
        const AVCodecParameters* par = other->Stream->codecpar;
        if (other->FileIndex != ist.FileIndex || par->codec_type != AVMEDIA_TYPE_VIDEO || par->width <= 0) continue;
        if (other->Stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        width = par->width;
        height = par->height;
        return;
    }
}

} // namespace

TSubtitleOutput::TSubtitleOutput(const TStageLinks& links, const TSubtitleSettings& settings)
    : links_(links), settings_(settings) {}

void TSubtitleOutput::Prepare(TInputStream& ist, const std::vector<std::unique_ptr<TInputStream>>& inputs) {
    AVCodecContext* enc = Encoder();
    const AVCodecContext* dec = ist.Decoder.get();
    // Every subtitle is given its time in microseconds.
    enc->time_base = MicrosecondBase;
    if (enc->width == 0 && enc->height == 0) {
        enc->width = dec->width;
        enc->height = dec->height;
    }
    if (enc->width == 0 && enc->height == 0) CanvasOf(ist, inputs, enc->width, enc->height);
    links_.Stream->NeedsEncoding = 1;
    ist.NeedsDecoding = 1;
}

bool TSubtitleOutput::CopyHeader(AVCodecContext* enc, const AVCodecContext* dec) {
    if (!dec->subtitle_header || dec->subtitle_header_size <= 0) return true;
    // The encoder context frees the header with itself; text readers of the
    // header expect it to end with a zero byte.
    auto* header = static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(dec->subtitle_header_size) + 1));
    if (!header) return false;
    std::memcpy(header, dec->subtitle_header, dec->subtitle_header_size);
    header[dec->subtitle_header_size] = 0;
    ff::av_freep(&enc->subtitle_header);
    enc->subtitle_header = header;
    enc->subtitle_header_size = dec->subtitle_header_size;
    return true;
}

void TSubtitleOutput::Push(TInputStream& ist, const TDecodedData& decoded) {
    if (decoded.Subtitle) Encode(ist, *decoded.Subtitle, decoded.SubtitlePts);
}

void TSubtitleOutput::Encode(const TInputStream& ist, const AVSubtitle& subtitle, int64_t pts) {
    if (pts == NoPts) {
        if (settings_.ExitOnError) throw FFmpegException("Subtitle packets must have a pts");
        GlobalLogger()->Log(links_.LogSender, llError, "Subtitle packets must have a pts");
        return;
    }
    TOutputStream& ost = *links_.Stream;
    AVCodecContext* enc = Encoder();
    const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    // A subtitle with nothing on it (a DVB page that clears the screen) is
    // news only to DVB: other encoders have nothing to draw, and the DVD
    // encoder refuses it.
    if (!dvb && subtitle.num_rects == 0) return;
    if (buffer_.empty()) buffer_.resize(SubtitleBufferSize);
    const AVRational tb = ost.Stream->time_base;

    AVSubtitle sub = subtitle;  // the rectangles stay the decoder's
    for (int pass = 0; pass < (dvb ? 2 : 1); ++pass) {
        sub.pts = ff::av_rescale_q(pts, ist.Stream->time_base, MicrosecondBase) +
                  static_cast<int64_t>(sub.start_display_time) * 1000;
        sub.end_display_time -= sub.start_display_time;
        sub.start_display_time = 0;
        if (pass == 1) sub.num_rects = 0;
        const int size = ff::avcodec_encode_subtitle(enc, buffer_.data(), static_cast<int>(buffer_.size()), &sub);
        if (size < 0) throw FFmpegException("Subtitle encoding failed");
        PacketPtr pkt = MakePacket();
        if (!pkt || ff::av_new_packet(pkt.get(), size) < 0) throw FFmpegException("av_mallocz fail");
        std::memcpy(pkt->data, buffer_.data(), static_cast<size_t>(size));
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
            pendingClearPage_ = std::move(pkt);
            continue;
        }
        if (pendingClearPage_ && pendingClearPage_->pts <= pkt->pts) Drain();
        pendingClearPage_.reset();
        links_.Sink->Write(ost, pkt.get());
    }
}

void TSubtitleOutput::Drain() {
    if (!pendingClearPage_) return;
    PacketPtr pkt = std::move(pendingClearPage_);
    links_.Sink->Write(*links_.Stream, pkt.get());
}
