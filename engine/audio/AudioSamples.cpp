#include "AudioSamples.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "AVUtilStubs.h"

namespace {

template <typename T>
void Interleave(const AVFrame* frame, T* out, int channels) {
    const int n = frame->nb_samples;
    for (int c = 0; c < channels; ++c) {
        const T* plane = reinterpret_cast<const T*>(frame->extended_data[c]);
        T* dst = out + c;
        for (int i = 0; i < n; ++i, dst += channels) *dst = plane[i];
    }
}

template <typename T>
void Deinterleave(const T* in, AVFrame* frame, int channels) {
    const int n = frame->nb_samples;
    for (int c = 0; c < channels; ++c) {
        T* plane = reinterpret_cast<T*>(frame->extended_data[c]);
        const T* src = in + c;
        for (int i = 0; i < n; ++i, src += channels) plane[i] = *src;
    }
}

template <typename T, typename Wide>
void ScaleIntegers(T* s, int count, int volume, Wide low, Wide high, Wide centre = 0) {
    for (int i = 0; i < count; ++i) {
        const Wide v = ((static_cast<Wide>(s[i]) - centre) * volume + 128) >> 8;
        s[i] = static_cast<T>(std::clamp<Wide>(v, low, high) + centre);
    }
}

// 64-bit samples in long double, whose mantissa holds every one of them.
template <typename T>
void GainIntegers(T* s, int count, double gain, int centre = 0) {
    using Wide = std::conditional_t<(sizeof(T) >= 8), long double, double>;
    constexpr auto low = static_cast<Wide>(std::numeric_limits<T>::min());
    constexpr auto high = static_cast<Wide>(std::numeric_limits<T>::max());
    for (int i = 0; i < count; ++i) {
        const Wide v = std::nearbyint((static_cast<Wide>(s[i]) - centre) * gain) + centre;
        s[i] = static_cast<T>(std::clamp(v, low, high));
    }
}

template <typename T>
void ScaleFloats(T* s, int count, int volume) {
    const T gain = static_cast<T>(volume) / 256;
    for (int i = 0; i < count; ++i) s[i] = std::clamp<T>(s[i] * gain, -1, 1);
}

} // namespace

void InterleaveSamples(const AVFrame* frame, uint8_t* out, int bytesPerSample, int channels) {
    if (!ff::av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format)) || channels == 1) {
        std::memcpy(out, frame->extended_data[0], static_cast<size_t>(frame->nb_samples) * channels * bytesPerSample);
        return;
    }
    switch (bytesPerSample) {
    case 1: Interleave(frame, out, channels); break;
    case 2: Interleave(frame, reinterpret_cast<int16_t*>(out), channels); break;
    case 4: Interleave(frame, reinterpret_cast<int32_t*>(out), channels); break;
    default: Interleave(frame, reinterpret_cast<int64_t*>(out), channels); break;
    }
}

void DeinterleaveSamples(const uint8_t* in, AVFrame* frame, int bytesPerSample, int channels) {
    if (!ff::av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format)) || channels == 1) {
        std::memcpy(frame->extended_data[0], in, static_cast<size_t>(frame->nb_samples) * channels * bytesPerSample);
        return;
    }
    switch (bytesPerSample) {
    case 1: Deinterleave(in, frame, channels); break;
    case 2: Deinterleave(reinterpret_cast<const int16_t*>(in), frame, channels); break;
    case 4: Deinterleave(reinterpret_cast<const int32_t*>(in), frame, channels); break;
    default: Deinterleave(reinterpret_cast<const int64_t*>(in), frame, channels); break;
    }
}

void ApplySampleVolume(uint8_t* data, int size, AVSampleFormat packedFormat, int volume) {
    switch (packedFormat) {
    case AV_SAMPLE_FMT_U8:
        ScaleIntegers<uint8_t, int32_t>(data, size, volume, -128, 127, 128);
        break;
    case AV_SAMPLE_FMT_S16:
        ScaleIntegers<int16_t, int32_t>(reinterpret_cast<int16_t*>(data), size / 2, volume, INT16_MIN, INT16_MAX);
        break;
    case AV_SAMPLE_FMT_S32:
        ScaleIntegers<int32_t, int64_t>(reinterpret_cast<int32_t*>(data), size / 4, volume, INT32_MIN, INT32_MAX);
        break;
    case AV_SAMPLE_FMT_S64:
        ScaleIntegers<int64_t, __int128>(reinterpret_cast<int64_t*>(data), size / 8, volume, INT64_MIN, INT64_MAX);
        break;
    case AV_SAMPLE_FMT_FLT:
        ScaleFloats(reinterpret_cast<float*>(data), size / 4, volume);
        break;
    case AV_SAMPLE_FMT_DBL:
        ScaleFloats(reinterpret_cast<double*>(data), size / 8, volume);
        break;
    default:
        break;
    }
}

void ApplySampleGain(uint8_t* data, int size, AVSampleFormat packedFormat, double gain) {
    switch (packedFormat) {
    case AV_SAMPLE_FMT_U8: GainIntegers(data, size, gain, 128); break;  // clipped to 0..255 around the middle
    case AV_SAMPLE_FMT_S16: GainIntegers(reinterpret_cast<int16_t*>(data), size / 2, gain); break;
    case AV_SAMPLE_FMT_S32: GainIntegers(reinterpret_cast<int32_t*>(data), size / 4, gain); break;
    case AV_SAMPLE_FMT_S64: GainIntegers(reinterpret_cast<int64_t*>(data), size / 8, gain); break;
    case AV_SAMPLE_FMT_FLT: {
        auto* s = reinterpret_cast<float*>(data);
        const auto g = static_cast<float>(gain);
        for (int i = 0; i < size / 4; ++i) s[i] *= g;
        break;
    }
    case AV_SAMPLE_FMT_DBL: {
        auto* s = reinterpret_cast<double*>(data);
        for (int i = 0; i < size / 8; ++i) s[i] *= gain;
        break;
    }
    default: break;
    }
}

void TameFloatSamples(float* samples, size_t count, float limit) {
    for (size_t i = 0; i < count; ++i) {
        float& s = samples[i];
        s = std::isfinite(s) ? std::clamp(s, -limit, limit) : 0.0f;
    }
}

bool FloatSamplesTame(const float* samples, size_t count, float limit) {
    return std::all_of(samples, samples + count, [limit](float s) { return s >= -limit && s <= limit; });
}

float FloatSampleLimit(const char* codec) {
    // 60 dB above full scale: no sound, however hot, comes near it.
    return std::strcmp(codec, "libmp3lame") == 0 ? 1.0f : 1000.0f;
}
