// Set-up step 3c: every output stream is prepared either to copy its input's
// packets or to be encoded from the decoded input; then the encode buffer.
#include <climits>
#include <cmath>

#include "RunTables.h"
#include "Format.h"
#include "SourceCutter.h"
#include "UserTags.h"
#include "AudioOutput.h"
#include "SubtitleOutput.h"
#include "VideoOutput.h"
#include "VideoPath.h"

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
            CopySourceTags(&ost.Stream->metadata, ist.Stream->metadata, !CutOfSlot(InputOptionCopies, ist.FileIndex).Whole());
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
        if (CurrentPreviewFlags()) throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
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
    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
        const TAudioSettings settings{Opt.AudioSyncMethod, Opt.AudioDriftThreshold, Opt.StartTime, Opt.Verbose,
                                      Opt.ExitOnError, std::pow(10.0, Opt.AudioGain / 20), Opt.MeasureLoudness};
        auto stage = std::make_unique<TAudioOutput>(Run_->LinksOf(ost, *this), OutputFiles[ost.FileIndex], settings);
        stage->Prepare(ist);
        ost.Stage = std::move(stage);
        break;
    }
    case AVMEDIA_TYPE_VIDEO: {
        Opt.SwsFlags = ScalerFlagsOf(Options.get(), Opt.SwsFlags);
        const TVideoSettings settings{Opt.StartTime,    Opt.VideoSyncMethod, Opt.MaxFrames[mkVideo],
                                      !Opt.VideoFilters.empty(), Opt.SwsFlags, Opt.TopFieldFirst,
                                      Opt.SameQuality,  Opt.MeThreshold,   Opt.Verbose};
        if (!Opt.VstatsFileName.empty() && !Run_->VideoStatistics)
            Run_->VideoStatistics = std::make_unique<TVideoStatistics>(Opt.VstatsFileName);
        auto stage = std::make_unique<TVideoOutput>(Run_->LinksOf(ost, *this), OutputFiles[ost.FileIndex], settings,
                                                    PictureHooks, StopRequested, Run_->VideoStatistics.get());
        stage->Prepare(ist);
        ost.Stage = std::move(stage);
        std::string filterError;
        if (!Opt.VideoFilters.empty() &&
            Run_->Decoder->ConfigureFilters(ist, enc, Opt.VideoFilters, Opt.SwsFlags, filterError) < 0)
            throw FFmpegException(filterError.empty() ? "Error opening filters!" : "Error opening filters: " + filterError);
        break;
    }
    case AVMEDIA_TYPE_SUBTITLE: {
        auto stage = std::make_unique<TSubtitleOutput>(Run_->LinksOf(ost, *this), TSubtitleSettings{Opt.ExitOnError});
        stage->Prepare(ist, Run_->InputStreams);
        ost.Stage = std::move(stage);
        break;
    }
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
    if (!ost.NeedsEncoding || !(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
    // The first pass's log is written by the video stage; other kinds write none.
    PassLogPtr log = OpenPassLog(enc, Opt.PassLogPrefix, tableIndex);
    if (auto* video = dynamic_cast<TVideoOutput*>(ost.Stage.get())) video->TakePassLog(std::move(log));
}
