// The audio output path: decoded interleaved samples are sized, resampled or
// reformatted into the encoder's format, kept in step with the input clock,
// and handed to the encoder (AudioOutputEncode.cpp).
#include <cmath>
#include <cstring>

#include "FFLog.h"
#include "RunTables.h"
#include "Format.h"

namespace {

enum TStepResult { srGoOn, srRestart, srDropped };

// swr on a layout of `channels`: the encoder's own layout when it has that
// many channels, else the default order for the count.
AVChannelLayout LayoutFor(const AVChannelLayout& known, int channels) {
    AVChannelLayout layout{};
    if (known.nb_channels == channels && known.order != AV_CHANNEL_ORDER_UNSPEC)
        ff::av_channel_layout_copy(&layout, &known);
    else
        ff::av_channel_layout_default(&layout, channels);
    return layout;
}

// Whether the source's channels must move to reach the encoder's layout: an
// encoder may take another layout of as many channels (Opus and ALAC name
// surround channels their own way).
bool ChannelsMove(const AVChannelLayout& encLayout, const AVChannelLayout& decLayout, int channels) {
    if (encLayout.nb_channels != channels) return false;  // a new count is converted anyway
    AVChannelLayout out = LayoutFor(encLayout, channels);
    AVChannelLayout in = LayoutFor(decLayout, channels);
    const bool moves = ff::av_channel_layout_compare(&out, &in) != 0;
    ff::av_channel_layout_uninit(&out);
    ff::av_channel_layout_uninit(&in);
    return moves;
}

SwrContextPtr NewSwr(const AVChannelLayout& outLayout, int outRate, AVSampleFormat outFmt,
                     const AVChannelLayout& inLayout, int inRate, AVSampleFormat inFmt, bool resampling) {
    SwrContext* raw = nullptr;
    if (ff::swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&outLayout), outFmt, outRate,
                                const_cast<AVChannelLayout*>(&inLayout), inFmt, inRate, 0, nullptr) < 0)
        return nullptr;
    SwrContextPtr swr(raw);
    if (resampling) {
        // A filter that keeps the audible band: 16 taps cut at 0.8 of the band
        // took 3 to 7 dB off 18 kHz and 9 to 18 dB off 20 kHz between 44.1 and
        // 48 kHz, and the library's default (32 taps) still takes 1.3 dB off
        // 20 kHz from 48 to 44.1 kHz and lets 22.5 kHz fold back only 14 dB
        // down. 64 taps cut at 0.95 lose at most 0.6 dB up to 20 kHz either
        // way and fold 22.5 kHz back 52 dB down (23 kHz and above 80 dB), at
        // about the default's cost beside an encoder; longer filters cost
        // markedly more once the encoder runs too, for little gain.
        // Neighbouring phases are interpolated, as by default.
        ff::av_opt_set_int(raw, "filter_size", 64, 0);
        ff::av_opt_set_int(raw, "phase_shift", 10, 0);
        ff::av_opt_set_int(raw, "linear_interp", 1, 0);
        ff::av_opt_set_double(raw, "cutoff", 0.95, 0);
    }
    if (ff::swr_init(raw) < 0) return nullptr;
    return swr;
}

} // namespace

void TCustomFFmpeg::SizeAudioBuffers(TOutputStream& ost, TInputStream& ist, int64_t room) {
    const AVCodecContext* enc = EncoderOf(ost);
    const int64_t isize = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(ist.DeliveredFormat));
    const int64_t osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int64_t encChannels = enc->ch_layout.nb_channels;
    const int64_t codedBits = ff::av_get_bits_per_sample(enc->codec_id);
    int64_t samples = (room + isize * ist.DeliveredChannels - 1) / (isize * ist.DeliveredChannels);
    samples = (samples * enc->sample_rate + ist.DeliveredRate) / ist.DeliveredRate;
    samples = std::max<int64_t>(samples * 2 + 10000, enc->frame_size);
    const int64_t bufferSize = samples * osize * encChannels;
    int64_t outSize = std::max<int64_t>(bufferSize, static_cast<int64_t>(enc->frame_size) * osize * encChannels);
    if (codedBits > 8 * osize) outSize = outSize * codedBits / (8 * osize);
    outSize += 16384;
    if (outSize > INT_MAX || bufferSize > INT_MAX) throw FFmpegException("Buffer sizes too large in do_audio_out");
    try {
        if (Run_->AudioBuffer.size() < static_cast<size_t>(bufferSize)) Run_->AudioBuffer.resize(bufferSize);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
}

void TCustomFFmpeg::SetUpAudioConversion(TOutputStream& ost, TInputStream& ist) {
    const AVCodecContext* enc = EncoderOf(ost);
    const auto encFmt = ff::av_get_packed_sample_fmt(enc->sample_fmt);
    const auto decFmt = static_cast<AVSampleFormat>(ist.DeliveredFormat);
    const int encChannels = enc->ch_layout.nb_channels;
    const bool moves = ChannelsMove(enc->ch_layout, ist.Decoder->ch_layout, ist.DeliveredChannels);
    if (encChannels != ist.DeliveredChannels || moves) ost.AudioResample = 1;
    const bool changed = ist.DeliveredFormat != ost.ResampleSampleFormat || ist.DeliveredChannels != ost.ResampleChannels ||
                         ist.DeliveredRate != ost.ResampleSampleRate;
    if ((ost.AudioResample && !ost.Resampler) || changed) {
        if (changed) {
            GlobalLogger()->LogFmt(this, llInfo,
                                   "Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d",
                                   ist.FileIndex, ist.StreamIndex, ost.ResampleSampleRate,
                                   SampleFormatName(ost.ResampleSampleFormat), ost.ResampleChannels, ist.DeliveredRate,
                                   SampleFormatName(ist.DeliveredFormat), ist.DeliveredChannels);
            ost.ResampleSampleFormat = ist.DeliveredFormat;
            ost.ResampleChannels = ist.DeliveredChannels;
            ost.ResampleSampleRate = ist.DeliveredRate;
            ost.Resampler.reset();
        }
        if (Opt.AudioSyncMethod <= 1 && !moves && encFmt == ost.ResampleSampleFormat &&
            encChannels == ost.ResampleChannels && enc->sample_rate == ost.ResampleSampleRate) {
            ost.Resampler.reset();
            ost.AudioResample = 0;
        } else {
            if (decFmt != AV_SAMPLE_FMT_S16)
                GlobalLogger()->Log(this, llWarning, "Warning, using s16 intermediate sample format for resampling");
            AVChannelLayout outLayout = LayoutFor(enc->ch_layout, encChannels);
            AVChannelLayout inLayout = LayoutFor(ist.Decoder->ch_layout, ist.DeliveredChannels);
            ost.Resampler = NewSwr(outLayout, enc->sample_rate, encFmt, inLayout, ist.DeliveredRate, decFmt, true);
            ff::av_channel_layout_uninit(&outLayout);
            ff::av_channel_layout_uninit(&inLayout);
            if (!ost.Resampler)
                throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                             ist.DeliveredChannels, ist.DeliveredRate, encChannels, enc->sample_rate));
            ost.AudioResample = 1;
        }
    }
    // Packed formats of any channel count convert as one long mono run.
    const int pair = encFmt + AV_SAMPLE_FMT_NB * decFmt;
    if (!ost.AudioResample && decFmt != encFmt && pair != ost.ReformatPair) {
        ost.Reformatter.reset();
        AVChannelLayout mono{};
        ff::av_channel_layout_default(&mono, 1);
        ost.Reformatter = NewSwr(mono, enc->sample_rate, encFmt, mono, enc->sample_rate, decFmt, false);
        if (!ost.Reformatter)
            throw FFmpegException(Format("Cannot convert %s sample format to %s sample format", SampleFormatName(decFmt),
                                         SampleFormatName(encFmt)));
        ost.ReformatPair = pair;
    }
}

int TCustomFFmpeg::KeepAudioInStep(TOutputStream& ost, TInputStream& ist, const uint8_t*& data, int& size,
                                   int64_t& room) {
    const AVCodecContext* enc = EncoderOf(ost);
    const int encRate = enc->sample_rate;
    const int64_t osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int64_t isize = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(ist.DeliveredFormat));
    // The FIFO holds whole samples of the encoder's format.
    const int64_t queued = static_cast<int64_t>(ost.Fifo.size()) / (enc->ch_layout.nb_channels * osize);
    const double syncTime = static_cast<double>(ost.SyncSource->Pts - Opt.StartTime) / 1000000.0;
    if (Opt.AudioSyncMethod == 0) {
        ost.SyncPosition = std::llrint(syncTime * encRate) - queued;
        return srGoOn;
    }
    const double delta = syncTime * encRate - static_cast<double>(ost.SyncPosition) - static_cast<double>(queued);
    const double inputDelta = delta * ist.DeliveredRate / encRate;
    int64_t byteDelta = static_cast<int64_t>(inputDelta) * isize * ist.DeliveredChannels;
    if (std::fabs(delta) <= 50) return srGoOn;
    if (ist.AtStart || std::fabs(delta) > Opt.AudioDriftThreshold * encRate) {
        if (byteDelta < 0) {
            byteDelta = std::max<int64_t>(byteDelta, -size);
            if (Opt.Verbose > 2)
                GlobalLogger()->LogFmt(this, llVerbose, "discarding %d audio samples", static_cast<int64_t>(-delta));
            size += static_cast<int>(byteDelta);
            data -= byteDelta;
            ist.AtStart = 0;
            return size == 0 ? srDropped : srGoOn;
        }
        if (byteDelta > room - size) {
            room = size + byteDelta;
            return srRestart;
        }
        ist.AtStart = 0;
        Run_->SilenceBuffer.resize(static_cast<size_t>(size + byteDelta));
        // Unsigned 8-bit silence is the middle value, every other format's is 0.
        std::memset(Run_->SilenceBuffer.data(), ist.DeliveredFormat == AV_SAMPLE_FMT_U8 ? 0x80 : 0, byteDelta);
        std::memcpy(Run_->SilenceBuffer.data() + byteDelta, data, size);
        data = Run_->SilenceBuffer.data();
        size += static_cast<int>(byteDelta);
        if (Opt.Verbose > 2)
            GlobalLogger()->LogFmt(this, llVerbose, "adding %d audio samples of silence", static_cast<int64_t>(delta));
    } else if (Opt.AudioSyncMethod > 1) {
        const int compensation = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(delta), -Opt.AudioSyncMethod,
                                                                       Opt.AudioSyncMethod));
        if (Opt.Verbose > 2)
            GlobalLogger()->LogFmt(this, llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d", delta,
                                   compensation, encRate);
        if (ost.Resampler) ff::swr_set_compensation(ost.Resampler.get(), compensation, encRate);
    }
    return srGoOn;
}

void TCustomFFmpeg::DoAudioOut(AVFormatContext* output, TOutputStream& ost, TInputStream& ist, const uint8_t* data,
                               int size) {
    int64_t room = size;
    for (;;) {
        SizeAudioBuffers(ost, ist, room);
        SetUpAudioConversion(ost, ist);
        const int step = KeepAudioInStep(ost, ist, data, size, room);
        if (step == srDropped) return;
        if (step == srGoOn) break;
    }
    const AVCodecContext* enc = EncoderOf(ost);
    const auto encFmt = ff::av_get_packed_sample_fmt(enc->sample_fmt);
    const int osize = ff::av_get_bytes_per_sample(encFmt);
    const int isize = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(ist.DeliveredFormat));
    const int encChannels = enc->ch_layout.nb_channels;
    if (ost.AudioResample) {
        const uint8_t* in[1] = {data};
        uint8_t* out[1] = {Run_->AudioBuffer.data()};
        const int capacity = static_cast<int>(Run_->AudioBuffer.size() / (osize * encChannels));
        const int got = ff::swr_convert(ost.Resampler.get(), out, capacity, in, size / (ist.DeliveredChannels * isize));
        if (got < 0) throw FFmpegException(LibraryErrorText("swr_convert()", got));
        EncodeAudioBlock(output, ost, Run_->AudioBuffer.data(), got * encChannels * osize);
    } else if (encFmt != ist.DeliveredFormat) {
        const int samples = size / isize;
        if (Run_->AudioBuffer.size() < static_cast<size_t>(samples) * osize) Run_->AudioBuffer.resize(static_cast<size_t>(samples) * osize);
        const uint8_t* in[1] = {data};
        uint8_t* out[1] = {Run_->AudioBuffer.data()};
        const int got = ff::swr_convert(ost.Reformatter.get(), out, samples, in, samples);
        if (got < 0) {
            if (Opt.ExitOnError) throw FFmpegException("av_audio_convert() failed");
            GlobalLogger()->Log(this, llError, "av_audio_convert() failed");
            return;
        }
        EncodeAudioBlock(output, ost, Run_->AudioBuffer.data(), got * osize);
    } else {
        EncodeAudioBlock(output, ost, data, size);
    }
}
