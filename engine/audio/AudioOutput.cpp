// The audio stage's way in: decoded interleaved samples are sized, resampled
// or reformatted into the encoder's format and kept in step with the input
// clock.
#include "AudioOutput.h"

#include <cmath>
#include <cstring>

#include "AudioSamples.h"
#include "FFLog.h"
#include "Format.h"
#include "TaskTypes.h"

namespace {

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

// The library's name of a sample format, "none" for none.
std::string SampleFormatName(int format) {
    const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name ? name : "none";
}

} // namespace

TAudioOutput::TAudioOutput(const TStageLinks& links, const AVFormatContext* output, const TAudioSettings& settings)
    : links_(links), output_(output), settings_(settings) {}

void TAudioOutput::Prepare(TInputStream& ist) {
    const AVCodecContext* enc = Encoder();
    const AVCodecContext* dec = ist.Decoder.get();
    try {
        fifo_.reserve(1024);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("av_fifo_alloc fail");
    }
    reformatPair_ = -6;
    floatLimit_ = ff::av_get_packed_sample_fmt(enc->sample_fmt) == AV_SAMPLE_FMT_FLT ? FloatSampleLimit(enc->codec->name) : 0;
    resample_ = dec->sample_rate != enc->sample_rate || settings_.SyncMethod > 1;
    resampleFormat_ = dec->sample_fmt < 0 ? -1 : ff::av_get_packed_sample_fmt(dec->sample_fmt);
    resampleRate_ = dec->sample_rate;
    resampleChannels_ = dec->ch_layout.nb_channels;
    ist.NeedsDecoding = 1;
    links_.Stream->NeedsEncoding = 1;
    if (links_.Lead != links_.Stream) return;
    frame_ = MakeFrame();
    packet_ = MakePacket();
    if (!frame_ || !packet_) throw FFmpegException("av_mallocz fail");
}

void TAudioOutput::SizeBuffers(const TInputStream& ist, int64_t room) {
    const AVCodecContext* enc = Encoder();
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
        if (buffer_.size() < static_cast<size_t>(bufferSize)) buffer_.resize(bufferSize);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
}

void TAudioOutput::SetUpConversion(const TInputStream& ist) {
    const AVCodecContext* enc = Encoder();
    const auto encFmt = ff::av_get_packed_sample_fmt(enc->sample_fmt);
    const auto decFmt = static_cast<AVSampleFormat>(ist.DeliveredFormat);
    const int encChannels = enc->ch_layout.nb_channels;
    const bool moves = ChannelsMove(enc->ch_layout, ist.Decoder->ch_layout, ist.DeliveredChannels);
    if (encChannels != ist.DeliveredChannels || moves) resample_ = true;
    const bool changed = ist.DeliveredFormat != resampleFormat_ || ist.DeliveredChannels != resampleChannels_ ||
                         ist.DeliveredRate != resampleRate_;
    if ((resample_ && !resampler_) || changed) {
        if (changed) {
            GlobalLogger()->LogFmt(links_.LogSender, llInfo,
                                   "Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d",
                                   ist.FileIndex, ist.StreamIndex, resampleRate_, SampleFormatName(resampleFormat_),
                                   resampleChannels_, ist.DeliveredRate, SampleFormatName(ist.DeliveredFormat),
                                   ist.DeliveredChannels);
            resampleFormat_ = ist.DeliveredFormat;
            resampleChannels_ = ist.DeliveredChannels;
            resampleRate_ = ist.DeliveredRate;
            resampler_.reset();
        }
        if (settings_.SyncMethod <= 1 && !moves && encFmt == resampleFormat_ && encChannels == resampleChannels_ &&
            enc->sample_rate == resampleRate_) {
            resampler_.reset();
            resample_ = false;
        } else {
            if (decFmt != AV_SAMPLE_FMT_S16)
                GlobalLogger()->Log(links_.LogSender, llWarning,
                                    "Warning, using s16 intermediate sample format for resampling");
            AVChannelLayout outLayout = LayoutFor(enc->ch_layout, encChannels);
            AVChannelLayout inLayout = LayoutFor(ist.Decoder->ch_layout, ist.DeliveredChannels);
            resampler_ = NewSwr(outLayout, enc->sample_rate, encFmt, inLayout, ist.DeliveredRate, decFmt, true);
            ff::av_channel_layout_uninit(&outLayout);
            ff::av_channel_layout_uninit(&inLayout);
            if (!resampler_)
                throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                             ist.DeliveredChannels, ist.DeliveredRate, encChannels, enc->sample_rate));
            resample_ = true;
        }
    }
    // Packed formats of any channel count convert as one long mono run.
    const int pair = encFmt + AV_SAMPLE_FMT_NB * decFmt;
    if (!resample_ && decFmt != encFmt && pair != reformatPair_) {
        reformatter_.reset();
        AVChannelLayout mono{};
        ff::av_channel_layout_default(&mono, 1);
        reformatter_ = NewSwr(mono, enc->sample_rate, encFmt, mono, enc->sample_rate, decFmt, false);
        if (!reformatter_)
            throw FFmpegException(Format("Cannot convert %s sample format to %s sample format", SampleFormatName(decFmt),
                                         SampleFormatName(encFmt)));
        reformatPair_ = pair;
    }
}

TAudioOutput::TStep TAudioOutput::KeepInStep(TInputStream& ist, const uint8_t*& data, int& size, int64_t& room) {
    TOutputStream& ost = *links_.Stream;
    const AVCodecContext* enc = Encoder();
    const int encRate = enc->sample_rate;
    const int64_t osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int64_t isize = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(ist.DeliveredFormat));
    // The FIFO holds whole samples of the encoder's format.
    const int64_t queued = static_cast<int64_t>(fifo_.size()) / (enc->ch_layout.nb_channels * osize);
    const double syncTime = static_cast<double>(ost.SyncSource->Pts - settings_.StartTime) / 1000000.0;
    if (settings_.SyncMethod == 0) {
        ost.SyncPosition = std::llrint(syncTime * encRate) - queued;
        return stGoOn;
    }
    const double delta = syncTime * encRate - static_cast<double>(ost.SyncPosition) - static_cast<double>(queued);
    const double inputDelta = delta * ist.DeliveredRate / encRate;
    int64_t byteDelta = static_cast<int64_t>(inputDelta) * isize * ist.DeliveredChannels;
    if (std::fabs(delta) <= 50) return stGoOn;
    if (ist.AtStart || std::fabs(delta) > settings_.DriftThreshold * encRate) {
        if (byteDelta < 0) {
            byteDelta = std::max<int64_t>(byteDelta, -size);
            if (settings_.Verbose > 2)
                GlobalLogger()->LogFmt(links_.LogSender, llVerbose, "discarding %d audio samples",
                                       static_cast<int64_t>(-delta));
            size += static_cast<int>(byteDelta);
            data -= byteDelta;
            ist.AtStart = 0;
            return size == 0 ? stDropped : stGoOn;
        }
        if (byteDelta > room - size) {
            room = size + byteDelta;
            return stRestart;
        }
        ist.AtStart = 0;
        silence_.resize(static_cast<size_t>(size + byteDelta));
        // Unsigned 8-bit silence is the middle value, every other format's is 0.
        std::memset(silence_.data(), ist.DeliveredFormat == AV_SAMPLE_FMT_U8 ? 0x80 : 0, byteDelta);
        std::memcpy(silence_.data() + byteDelta, data, size);
        data = silence_.data();
        size += static_cast<int>(byteDelta);
        if (settings_.Verbose > 2)
            GlobalLogger()->LogFmt(links_.LogSender, llVerbose, "adding %d audio samples of silence",
                                   static_cast<int64_t>(delta));
    } else if (settings_.SyncMethod > 1) {
        const int compensation = static_cast<int>(
            std::clamp<int64_t>(static_cast<int64_t>(delta), -settings_.SyncMethod, settings_.SyncMethod));
        if (settings_.Verbose > 2)
            GlobalLogger()->LogFmt(links_.LogSender, llVerbose,
                                   "compensating audio timestamp drift:%f compensation:%d in:%d", delta, compensation,
                                   encRate);
        if (resampler_) ff::swr_set_compensation(resampler_.get(), compensation, encRate);
    }
    return stGoOn;
}

void TAudioOutput::Push(TInputStream& ist, const TDecodedData& decoded) {
    if (decoded.Size > 0) Convert(ist, decoded.Samples, decoded.Size);
}

void TAudioOutput::Convert(TInputStream& ist, const uint8_t* data, int size) {
    // Before the conversion into the encoder's format, which may be of
    // integers: a loud float source brought down is not clipped first.
    if (settings_.Gain != 1.0) {
        try {
            gained_.assign(data, data + size);
        } catch (const std::bad_alloc&) {
            throw FFmpegException("Out of memory in do_audio_out");
        }
        ApplySampleGain(gained_.data(), size, static_cast<AVSampleFormat>(ist.DeliveredFormat), settings_.Gain);
        data = gained_.data();
    }
    int64_t room = size;
    for (;;) {
        SizeBuffers(ist, room);
        SetUpConversion(ist);
        const TStep step = KeepInStep(ist, data, size, room);
        if (step == stDropped) return;
        if (step == stGoOn) break;
    }
    const AVCodecContext* enc = Encoder();
    const auto encFmt = ff::av_get_packed_sample_fmt(enc->sample_fmt);
    const int osize = ff::av_get_bytes_per_sample(encFmt);
    const int isize = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(ist.DeliveredFormat));
    const int encChannels = enc->ch_layout.nb_channels;
    if (resample_) {
        const uint8_t* in[1] = {data};
        uint8_t* out[1] = {buffer_.data()};
        const int capacity = static_cast<int>(buffer_.size() / (osize * encChannels));
        const int got = ff::swr_convert(resampler_.get(), out, capacity, in, size / (ist.DeliveredChannels * isize));
        if (got < 0) throw FFmpegException(LibraryErrorText("swr_convert()", got));
        EncodeBlock(buffer_.data(), got * encChannels * osize);
    } else if (encFmt != ist.DeliveredFormat) {
        const int samples = size / isize;
        if (buffer_.size() < static_cast<size_t>(samples) * osize) buffer_.resize(static_cast<size_t>(samples) * osize);
        const uint8_t* in[1] = {data};
        uint8_t* out[1] = {buffer_.data()};
        const int got = ff::swr_convert(reformatter_.get(), out, samples, in, samples);
        if (got < 0) {
            if (settings_.ExitOnError) throw FFmpegException("av_audio_convert() failed");
            GlobalLogger()->Log(links_.LogSender, llError, "av_audio_convert() failed");
            return;
        }
        EncodeBlock(buffer_.data(), got * osize);
    } else {
        EncodeBlock(data, size);
    }
}
