// The output side of the loop: what the decoding side gives goes to the
// stages of the encoded outputs of its stream; a packet not decoded goes to
// the copied outputs unchanged, its time stamps moved into the output
// stream's time base.
#include "RunTables.h"


void TCustomFFmpeg::CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt) {
    const AVRational inTb = ist.Stream->time_base;
    const AVRational outTb = ost.Stream->time_base;
    const int64_t startOffset = ff::av_rescale_q(Opt.StartTime, MicrosecondBase, outTb);
    if (ost.FrameNumber == 0 && !(pkt->flags & AV_PKT_FLAG_KEY) && !Opt.CopyInitialNonKeyframes) return;
    const AVMediaType type = ist.Stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO) Run_->Counters.AudioSize += pkt->size;
    if (type == AVMEDIA_TYPE_VIDEO) {
        Run_->Counters.VideoSize += pkt->size;
        ost.SyncPosition += 1;
    }
    PacketPtr out(ff::av_packet_clone(pkt));
    if (!out) throw FFmpegException("av_mallocz fail");
    out->stream_index = ost.StreamIndex;
    out->pts = pkt->pts != NoPts ? ff::av_rescale_q(pkt->pts, inTb, outTb) - startOffset : NoPts;
    out->dts = (pkt->dts != NoPts ? ff::av_rescale_q(pkt->dts, inTb, outTb)
                                  : ff::av_rescale_q(ist.Pts, MicrosecondBase, outTb)) -
               startOffset;
    out->duration = ff::av_rescale_q(pkt->duration, inTb, outTb);
    Run_->MuxOf(ost.FileIndex).Write(ost, out.get());
    ost.FrameNumber += 1;
}

void TCustomFFmpeg::RouteDecoded(TInputStream& ist, int index, const AVPacket* pkt, const TDecodedData& decoded) {
    if (Opt.StartTime != 0 && ist.Pts < Opt.StartTime) return;
    // Of a cut source, pictures, subtitles and copied packets go on while they
    // lie in its stretch (its samples were cut as they were decoded).
    if (!decoded.Samples && Run_->Cutter.Cuts(ist.FileIndex) && !Run_->Cutter.Keeps(ist)) return;
    for (TOutputStream* ost : Run_->OutputStreams) {
        if (ost->SourceIndex != index) continue;
        if (!ost->NeedsEncoding) {
            if (pkt) CopyPacket(*ost, ist, pkt);
            continue;
        }
        if (!ost->Stage) throw FFmpegException("invalid codec_type");
        ost->Stage->Push(ist, decoded);
    }
}

void TCustomFFmpeg::DrainEncoders(int index) {
    for (TOutputStream* ost : Run_->OutputStreams) {
        if (ost->SourceIndex != index || !ost->NeedsEncoding) continue;
        if (ost->Stage) ost->Stage->Drain();
    }
}
