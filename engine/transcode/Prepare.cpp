// Set-up step 3c: every output stream is prepared either to copy its input's
// packets or to be encoded from the decoded input; then the encode buffer.
#include <climits>

#include "RunTables.h"
#include "Format.h"

namespace {

// The codec tag a copied stream keeps: the input's, unless the output
// container has its own tag for that codec.
unsigned CopiedCodecTag(const AVFormatContext* oc, const AVCodecParameters* in) {
    const AVCodecTag* const* tags = oc->oformat->codec_tag;
    if (!tags) return in->codec_tag;
    if (ff::av_codec_get_id(tags, in->codec_tag) == in->codec_id) return in->codec_tag;
    if (ff::av_codec_get_tag(tags, in->codec_id) == 0) return in->codec_tag;
    return 0;
}

} // namespace

void TCustomFFmpeg::PrepareStreams() {
    TRun& run = *Run_;
    for (size_t i = 0; i < run.OutputStreams.size(); ++i) {
        TOutputStream& ost = *run.OutputStreams[i];
        TInputStream& ist = *run.InputStreams[ost.SourceIndex];
        AVCodecContext* enc = EncoderOf(ost);
        AVCodecContext* dec = ist.Decoder.get();
        if (Opt.MetadataStreamsAutocopy)
            ff::av_dict_copy(&ost.Stream->metadata, ist.Stream->metadata, AV_DICT_DONT_OVERWRITE);
        ost.Stream->disposition = ist.Stream->disposition;
        if (enc) {
            enc->bits_per_raw_sample = dec->bits_per_raw_sample;
            enc->chroma_sample_location = dec->chroma_sample_location;
            // ALAC keeps 24 of 32-bit samples: said so, it codes them without a
            // warning whatever the source's depth (float, 32 bits).
            if (enc->codec_id == AV_CODEC_ID_ALAC && enc->sample_fmt == AV_SAMPLE_FMT_S32P)
                enc->bits_per_raw_sample = 24;
        }
        if (LeadOf(ost).StreamCopy || !enc)
            PrepareStreamCopy(ost, ist);
        else
            PrepareEncoding(ost, ist, static_cast<int>(i));
        if (enc && enc->codec_type == AVMEDIA_TYPE_VIDEO)
            Run_->BitBufferSize = std::max<int64_t>(Run_->BitBufferSize, static_cast<int64_t>(enc->width) * enc->height * 6 + 200);
    }
    try {
        Run_->BitBuffer.assign(Run_->BitBufferSize, 0);
    } catch (const std::bad_alloc&) {
        throw FFmpegException(Format("Cannot allocate %d bytes output buffer", Run_->BitBufferSize));
    }
}

void TCustomFFmpeg::PrepareStreamCopy(TOutputStream& ost, TInputStream& ist) {
    const AVCodecParameters* in = ist.Stream->codecpar;
    if (static_cast<int64_t>(in->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX)
        throw FFmpegException("icodec.extradata_size is invalid (too large)");
    const AVCodecContext* enc = EncoderOf(ost);
    const unsigned ownTag = enc ? enc->codec_tag : 0;
    switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        if (Opt.AudioVolume != 256) throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
        if (AudioHookRelay)
            throw FFmpegException("-acodec copy and AudioHook are incompatible (frames are not decoded)");
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (VideoInputHookRelay || VideoOutputHookRelay)
            throw FFmpegException("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
        if (Opt.VideoHookActive) throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (PreviewFlags) throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
    if (&LeadOf(ost) != &ost) return;  // joined groups share the first group's stream
    AVCodecParameters* out = ost.Stream->codecpar;
    const int ret = ff::avcodec_parameters_copy(out, in);
    if (ret < 0) throw FFmpegException("av_mallocz fail");
    out->codec_tag = ownTag ? ownTag : CopiedCodecTag(OutputFiles[ost.FileIndex], in);

    // Time base: the decoder's frame duration when the container's is much finer.
    const AVCodecContext* dec = ist.Decoder.get();
    const double decFrame = av_q2d(dec->time_base) * dec->ticks_per_frame;
    const double streamTb = av_q2d(ist.Stream->time_base);
    if (!Opt.CopyTb && dec->time_base.num && decFrame > streamTb && streamTb < 0.001) {
        AVRational tb;
        ff::av_reduce(&tb.num, &tb.den, static_cast<int64_t>(dec->time_base.num) * dec->ticks_per_frame,
                      dec->time_base.den, INT_MAX);
        ost.Stream->time_base = tb;
    } else {
        ost.Stream->time_base = ist.Stream->time_base;
    }
    if (in->codec_type == AVMEDIA_TYPE_AUDIO &&
        ((out->block_align == 1 && out->codec_id == AV_CODEC_ID_MP3) || out->codec_id == AV_CODEC_ID_AC3))
        out->block_align = 0;
}

void TCustomFFmpeg::PrepareEncoding(TOutputStream& ost, TInputStream& ist, int tableIndex) {
    AVCodecContext* enc = EncoderOf(ost);
    const AVCodecContext* dec = ist.Decoder.get();
    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        try {
            ost.Fifo.reserve(1024);
        } catch (const std::bad_alloc&) {
            throw FFmpegException("av_fifo_alloc fail");
        }
        ost.ReformatPair = -6;
        ost.AudioResample = (dec->sample_rate != enc->sample_rate || Opt.AudioSyncMethod > 1) ? 1 : 0;
        ist.NeedsDecoding = 1;
        ost.NeedsEncoding = 1;
        ost.ResampleSampleFormat = dec->sample_fmt < 0 ? -1 : ff::av_get_packed_sample_fmt(dec->sample_fmt);
        ost.ResampleSampleRate = dec->sample_rate;
        ost.ResampleChannels = dec->ch_layout.nb_channels;
        break;
    case AVMEDIA_TYPE_VIDEO:
        PrepareVideoEncoding(ost, ist);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        PrepareSubtitleEncoding(ost, ist);
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
    if (ost.NeedsEncoding && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) SetUpPassLog(ost, tableIndex);
}
