#include "OutputMux.h"

#include <cstring>

#include "DiskName.h"
#include "FFLog.h"
#include "Format.h"
#include "TaskTypes.h"

namespace {

// Runs `pkt` (in the time base the filter at `index` expects) through the
// filters from `index` on; `mux` takes what comes out of the last one. Each
// filter lets its packets out into its own reused packet of `outs`.
template <typename Mux, typename Fail>
void FilterFrom(TBitstreamFilterChain& chain, std::vector<PacketPtr>& outs, size_t index, AVPacket* pkt,
                const Mux& mux, const Fail& fail) {
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
        FilterFrom(chain, outs, index + 1, pkt, mux, fail);
        return;
    }
    if (outs.size() <= index) outs.resize(index + 1);
    if (!outs[index]) outs[index] = MakePacket();
    AVPacket* out = outs[index].get();
    if (!out) throw FFmpegException("av_mallocz fail");
    for (;;) {
        const int ret = ff::av_bsf_receive_packet(bsf, out);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
        if (ret < 0) {
            fail(bsf, ret);
            break;
        }
        FilterFrom(chain, outs, index + 1, out, mux, fail);
        ff::av_packet_unref(out);
    }
}

} // namespace

TOutputMux::TOutputMux(AVFormatContext* container, int file, std::string path, const TMuxSettings& settings,
                       void* logSender)
    : oc_(container), file_(file), path_(std::move(path)), settings_(settings), logSender_(logSender) {}

void TOutputMux::InitFilters(TOutputStream& ost) {
    const AVCodecParameters* par = ost.Stream->codecpar;
    AVRational tb = ost.Stream->time_base;
    for (BsfContextPtr& bsf : ost.BitstreamFilters) {
        int ret = ff::avcodec_parameters_copy(bsf->par_in, par);
        bsf->time_base_in = tb;
        if (ret >= 0) ret = ff::av_bsf_init(bsf.get());
        if (ret < 0)
            throw FFmpegException(
                LibraryErrorText(Format("%s failed for stream %d", bsf->filter->name, ost.StreamIndex), ret));
        par = bsf->par_out;
        tb = bsf->time_base_out;
    }
    // What the last filter puts out (changed extradata, say) is what the muxer stores.
    if (!ost.BitstreamFilters.empty() && ff::avcodec_parameters_copy(ost.Stream->codecpar, par) < 0)
        throw FFmpegException("av_mallocz fail");
    ost.BsfInitialised = true;
}

std::string TOutputMux::WriteHeader(const AVDictionary* options) {
    PlaceTags();
    AVDictionary* copy = nullptr;
    if (options) ff::av_dict_copy(&copy, options, 0);
    int ret = ff::avformat_init_output(oc_, &copy);
    ff::av_dict_free(&copy);
    if (ret >= 0) {
        NameEncoder();
        ret = ff::avformat_write_header(oc_, nullptr);
    }
    if (ret < 0 && oc_->pb && oc_->pb->error < 0)
        return Format("%s while writing %s", ErrorCodeText(oc_->pb->error), DiskName(oc_->url));
    if (ret < 0) return Format("Could not write header for output file #%d (incorrect codec parameters ?)", file_);
    return {};
}

void TOutputMux::Write(TOutputStream& ost, AVPacket* pkt) {
    TOutputStream& lead = ost.Lead ? *ost.Lead : ost;
    TBitstreamFilterChain& chain = lead.BitstreamFilters;
    if (chain.empty()) {
        Mux(ost, pkt);
        return;
    }
    const AVCodecContext* enc = lead.Encoder.get();
    auto fail = [&](const AVBSFContext* bsf, int code) {
        const std::string text =
            Format("%s failed for stream %d, codec %s", bsf->filter->name, pkt->stream_index,
                   enc && enc->codec && ost.NeedsEncoding ? enc->codec->name : "copy");
        const std::string full = LibraryErrorText(text, code);
        if (settings_.ExitOnError) throw FFmpegException(full);
        GlobalLogger()->Log(logSender_, llError, full);
    };
    auto mux = [&](AVPacket* filtered) {
        ff::av_packet_rescale_ts(filtered, chain.back()->time_base_out, ost.Stream->time_base);
        filtered->stream_index = ost.StreamIndex;
        Mux(ost, filtered);
    };
    ff::av_packet_rescale_ts(pkt, ost.Stream->time_base, chain.front()->time_base_in);
    FilterFrom(chain, filtered_, 0, pkt, mux, fail);
}

void TOutputMux::Mux(TOutputStream& ost, AVPacket* pkt) {
    TOutputStream& lead = ost.Lead ? *ost.Lead : ost;
    if (settings_.JoinMode && pkt->dts != NoPts) {
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
    const int ret = ff::av_interleaved_write_frame(oc_, pkt);
    CheckWritten(ret, "av_interleaved_write_frame()");
    ++lead.PacketsWritten;
}

void TOutputMux::CheckWritten(int ret, const char* call) {
    // The byte stream keeps the first failed write: a full disk or a file
    // size limit reads as what it is, with the file it hit.
    const int ioError = oc_->pb ? oc_->pb->error : 0;
    if (ioError < 0) throw FFmpegException(Format("%s while writing %s", ErrorCodeText(ioError), DiskName(oc_->url)));
    if (ret < 0) throw FFmpegException(LibraryErrorText(call, ret));
}

void TOutputMux::WriteTrailer() {
    const int ret = ff::av_write_trailer(oc_);
    if (ret >= 0) NoteTagJob();
    if (oc_->pb) ff::avio_flush(oc_->pb);
    CheckWritten(ret, "av_write_trailer()");
}
