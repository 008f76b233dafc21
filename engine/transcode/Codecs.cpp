// Set-up steps 4 and 5 (opening encoders and decoders through the codec lock),
// the decoder contexts of a run, the bit-stream filters of each stream, and
// the re-creation of encoders between joined files.
#include <algorithm>
#include <cstring>

#include "RunTables.h"
#include "Format.h"
#include "LockManager.h"
#include "SubtitleOutput.h"

namespace {

CodecContextPtr NewDecoderContext(const AVStream* st, const AVCodec* codec) {
    CodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx || ff::avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        throw FFmpegException("av_mallocz fail");
    ctx->pkt_timebase = st->time_base;
    return ctx;
}

// A fresh, unopened encoder context with the settings of `old` (an encoder
// that was drained and cannot take samples any more).
CodecContextPtr CloneEncoderSettings(const AVCodecContext* old, const AVCodec* codec) {
    CodecContextPtr fresh(ff::avcodec_alloc_context3(codec));
    if (!fresh) throw FFmpegException("av_mallocz fail");
    ff::av_opt_copy(fresh.get(), const_cast<AVCodecContext*>(old));
    if (codec->priv_class && old->priv_data && old->codec == codec)
        ff::av_opt_copy(fresh->priv_data, old->priv_data);
    fresh->codec_type = old->codec_type;
    fresh->codec_id = old->codec_id;
    fresh->sample_fmt = old->sample_fmt;
    fresh->sample_rate = old->sample_rate;
    ff::av_channel_layout_copy(&fresh->ch_layout, &old->ch_layout);
    fresh->time_base = old->time_base;
    fresh->bit_rate = old->bit_rate;
    fresh->flags = old->flags;
    fresh->flags2 = old->flags2;
    fresh->global_quality = old->global_quality;
    fresh->compression_level = old->compression_level;
    fresh->thread_count = old->thread_count;
    fresh->strict_std_compliance = old->strict_std_compliance;
    fresh->frame_size = 0;
    return fresh;
}

// An Opus header names the rate of the sound before it was coded (Opus
// itself codes at 48 kHz), so that a player may give it back at that rate.
// The encoder names its own rate there.
void NameInputRate(AVCodecParameters* par, int sourceRate) {
    constexpr int RateAt = 12, HeaderSize = 19;
    if (par->codec_id != AV_CODEC_ID_OPUS || sourceRate <= 0 || par->extradata_size < HeaderSize ||
        std::memcmp(par->extradata, "OpusHead", 8) != 0)
        return;
    const auto rate = static_cast<uint32_t>(sourceRate);
    for (int i = 0; i < 4; ++i) par->extradata[RateAt + i] = static_cast<uint8_t>(rate >> (8 * i));
}

} // namespace

std::mutex& CodecCloseLock() {
    static std::mutex lock;
    return lock;
}

void TCustomFFmpeg::OpenEncoders() {
    TRun& run = *Run_;
    const size_t count = JoinMode ? std::min<size_t>(run.StreamsInFirstOutput, run.OutputStreams.size())
                                  : run.OutputStreams.size();
    for (size_t i = 0; i < count; ++i) {
        TOutputStream& ost = *run.OutputStreams[i];
        if (ost.NeedsEncoding) OpenEncoder(ost, static_cast<int>(i), false);
    }
}

void TCustomFFmpeg::OpenEncoder(TOutputStream& ost, int tableIndex, bool reopening) {
    AVCodecContext* enc = ost.Encoder.get();
    const std::string type = MediaTypeName(enc->codec_type);
    const AVCodec* codec = tableIndex < static_cast<int>(OutputCodecs.size()) && OutputCodecs[tableIndex]
                               ? OutputCodecs[tableIndex]
                               : ff::avcodec_find_encoder(reopening ? static_cast<AVCodecID>(ost.SavedCodecId)
                                                                    : enc->codec_id);
    if (!codec) {
        if (reopening)
            throw FFmpegException(
                Format("Unsupported codec for output stream #%d.%d (%s)", ost.FileIndex, ost.StreamIndex, type));
        RaiseAfterDescription(Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                                     static_cast<int>(enc->codec_id), ost.FileIndex, ost.StreamIndex, type));
    }
    if (reopening) {
        CodecContextPtr fresh = CloneEncoderSettings(enc, codec);
        {
            std::lock_guard<std::mutex> lock(CodecCloseLock());
            std::erase(Run_->OpenedEncoders, &ost);
            ost.Encoder = std::move(fresh);
        }
        enc = ost.Encoder.get();
        enc->codec_id = static_cast<AVCodecID>(ost.SavedCodecId);
    } else if (JoinMode) {
        ost.SavedCodecId = enc->codec_id;
    }
    if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        // The header exists once the source's decoder is open, so that decoder
        // opens first, ahead of the others.
        OpenDecoder(static_cast<size_t>(ost.SourceIndex));
        if (!TSubtitleOutput::CopyHeader(enc, Run_->InputStreams[ost.SourceIndex]->Decoder.get()))
            RaiseAfterDescription("av_malloc failed");
    }
    // Audio frames carry their position in samples, so the encoder counts in samples.
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO && enc->sample_rate > 0) enc->time_base = AVRational{1, enc->sample_rate};
    if (CodecOpen(enc, codec, nullptr) < 0) {
        if (reopening)
            throw FFmpegException(Format("Error while opening codec for output stream #%d.%d (%s) - maybe incorrect "
                                         "parameters such as bit_rate, rate, width or height",
                                         ost.FileIndex, ost.StreamIndex, type));
        RaiseAfterDescription(Format(
            "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters such as "
            "bit_rate, rate, width or height. Please check error log message to find out more detail information.",
            ost.FileIndex, ost.StreamIndex, type));
    }
    {
        std::lock_guard<std::mutex> lock(CodecCloseLock());
        Run_->OpenedEncoders.push_back(&ost);
    }
    ost.EncoderDrained = false;
    if (reopening) return;
    Run_->Counters.ExtraSize += enc->extradata_size;
    if (ff::avcodec_parameters_from_context(ost.Stream->codecpar, enc) < 0) throw FFmpegException("av_mallocz fail");
    NameInputRate(ost.Stream->codecpar, Run_->InputStreams[ost.SourceIndex]->Stream->codecpar->sample_rate);
    ost.Stream->time_base = enc->time_base;
}

void TCustomFFmpeg::ReopenEncoders() {
    TRun& run = *Run_;
    for (int i = 0; i < run.StreamsInFirstOutput && i < static_cast<int>(run.OutputStreams.size()); ++i) {
        TOutputStream& ost = *run.OutputStreams[i];
        if (ost.NeedsEncoding == 1) OpenEncoder(ost, i, true);
    }
}

void TCustomFFmpeg::OpenDecoders() {
    for (size_t i = 0; i < Run_->InputStreams.size(); ++i)
        if (Run_->InputStreams[i]->NeedsDecoding) OpenDecoder(i);
}

// Opens the decoder of input stream `i` unless it is open already (a subtitle
// encoder needs its source's header before the other decoders open).
void TCustomFFmpeg::OpenDecoder(size_t i) {
    TInputStream& ist = *Run_->InputStreams[i];
    if (std::find(Run_->OpenedDecoders.begin(), Run_->OpenedDecoders.end(), &ist) != Run_->OpenedDecoders.end())
        return;
    const std::string type = MediaTypeName(ist.Stream->codecpar->codec_type);
    const AVCodec* codec = i < InputCodecs.size() && InputCodecs[i]
                               ? InputCodecs[i]
                               : ff::avcodec_find_decoder(ist.Stream->codecpar->codec_id);
    if (!codec)
        RaiseAfterDescription(Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                                     static_cast<int>(ist.Stream->codecpar->codec_id), ist.FileIndex,
                                     ist.StreamIndex, type));
    if (ist.Decoder->codec && ist.Decoder->codec != codec) ist.Decoder = NewDecoderContext(ist.Stream, codec);
    if (CodecOpen(ist.Decoder.get(), codec, nullptr) < 0)
        RaiseAfterDescription(
            Format("Error while opening decoder for input stream #%d.%d (%s)", ist.FileIndex, ist.StreamIndex, type));
    ist.DecodedFrame = MakeFrame();
    if (!ist.DecodedFrame) throw FFmpegException("av_mallocz fail");
    std::lock_guard<std::mutex> lock(CodecCloseLock());
    Run_->OpenedDecoders.push_back(&ist);
}

// Called from BuildInputTables through this hook so that the set-up can read
// the decoders' parameters before they are opened.
void CreateDecoderContexts(std::vector<std::unique_ptr<TInputStream>>& streams,
                           const std::vector<const AVCodec*>& forced) {
    for (size_t i = 0; i < streams.size(); ++i) {
        const AVStream* st = streams[i]->Stream;
        const AVCodec* codec = i < forced.size() && forced[i] ? forced[i] : ff::avcodec_find_decoder(st->codecpar->codec_id);
        streams[i]->Decoder = NewDecoderContext(st, codec);
    }
}
