// Every packet reaches its muxer here: through the stream's bit-stream
// filters, then interleaved into the output.
#include "FFLog.h"
#include "RunTables.h"
#include "FileSetup.h"
#include "Format.h"

namespace {

// Runs `pkt` (in the time base the filter at `index` expects) through the
// filters from `index` on; `mux` takes what comes out of the last one.
template <typename Mux, typename Fail>
void FilterFrom(TBitstreamFilterChain& chain, size_t index, AVPacket* pkt, const Mux& mux, const Fail& fail) {
    if (index == chain.size()) {
        mux(pkt);
        return;
    }
    AVBSFContext* bsf = chain[index].get();
    const int sent = ff::av_bsf_send_packet(bsf, pkt);
    if (sent < 0) {
        fail(bsf, sent);
        // The packet goes on as it was, in the time base of the next filter.
        const AVRational next = index + 1 < chain.size() ? chain[index + 1]->time_base_in : bsf->time_base_out;
        ff::av_packet_rescale_ts(pkt, bsf->time_base_in, next);
        FilterFrom(chain, index + 1, pkt, mux, fail);
        return;
    }
    PacketPtr out = MakePacket();
    if (!out) throw FFmpegException("av_mallocz fail");
    for (;;) {
        const int ret = ff::av_bsf_receive_packet(bsf, out.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
        if (ret < 0) {
            fail(bsf, ret);
            break;
        }
        FilterFrom(chain, index + 1, out.get(), mux, fail);
        ff::av_packet_unref(out.get());
    }
}

} // namespace

void TCustomFFmpeg::WriteFrame(AVFormatContext* output, AVPacket* pkt, TOutputStream& ost) {
    TBitstreamFilterChain& chain = LeadOf(ost).BitstreamFilters;
    if (chain.empty()) {
        MuxPacket(output, pkt, ost);
        return;
    }
    const AVCodecContext* enc = EncoderOf(ost);
    auto fail = [&](const AVBSFContext* bsf, int code) {
        const std::string text =
            Format("%s failed for stream %d, codec %s", bsf->filter->name, pkt->stream_index,
                   enc && enc->codec && ost.NeedsEncoding ? enc->codec->name : "copy");
        const std::string full = LibraryErrorText(text, code);
        if (Opt.ExitOnError) throw FFmpegException(full);
        GlobalLogger()->Log(this, llError, full);
    };
    auto mux = [&](AVPacket* filtered) {
        ff::av_packet_rescale_ts(filtered, chain.back()->time_base_out, ost.Stream->time_base);
        filtered->stream_index = ost.StreamIndex;
        MuxPacket(output, filtered, ost);
    };
    ff::av_packet_rescale_ts(pkt, ost.Stream->time_base, chain.front()->time_base_in);
    FilterFrom(chain, 0, pkt, mux, fail);
}

void TCustomFFmpeg::MuxPacket(AVFormatContext* output, AVPacket* pkt, TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    if (JoinMode && pkt->dts != NoPts) {
        // A re-created encoder starts with its priming again: keep its packets
        // after what the previous file's encoder wrote.
        pkt->dts += lead.MuxDtsShift;
        if (pkt->pts != NoPts) pkt->pts += lead.MuxDtsShift;
        if (lead.LastMuxDts != NoPts && pkt->dts <= lead.LastMuxDts) {
            const int64_t shift = lead.LastMuxDts + 1 - pkt->dts;
            lead.MuxDtsShift += shift;
            pkt->dts += shift;
            if (pkt->pts != NoPts) pkt->pts += shift;
        }
    }
    if (pkt->dts != NoPts) lead.LastMuxDts = pkt->dts;
    const int ret = ff::av_interleaved_write_frame(output, pkt);
    CheckWritten(output, ret, "av_interleaved_write_frame()");
    ++lead.PacketsWritten;
}

void TCustomFFmpeg::CheckWritten(AVFormatContext* output, int ret, const char* call) {
    // The byte stream keeps the first failed write: a full disk or a file
    // size limit reads as what it is, with the file it hit.
    const int ioError = output->pb ? output->pb->error : 0;
    if (ioError < 0) throw FFmpegException(Format("%s while writing %s", ErrorCodeText(ioError), DiskName(output->url)));
    if (ret < 0) throw FFmpegException(LibraryErrorText(call, ret));
}

bool TCustomFFmpeg::AudioWrittenToEveryOutput() const {
    // An output with an audio stream that received no audio at all is no
    // conversion, even when its header and trailer were written.
    for (const TOutputStream* ost : Run_->OutputStreams) {
        if (!ost || &LeadOf(const_cast<TOutputStream&>(*ost)) != ost) continue;
        if (OutputTypeOf(*ost, EncoderOf(*ost)) == AVMEDIA_TYPE_AUDIO && ost->PacketsWritten == 0) return false;
    }
    return true;
}
