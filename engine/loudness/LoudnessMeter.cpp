#include "LoudnessMeter.h"

#include <algorithm>
#include <cmath>

#include <ebur128.h>

#include "Exception.h"

namespace {

// The channel at `index` of `layout`; none when the layout does not say.
AVChannel ChannelAt(const AVChannelLayout& layout, int index) {
    if (layout.order == AV_CHANNEL_ORDER_NATIVE) {
        int n = 0;
        for (uint64_t mask = layout.u.mask; mask; mask &= mask - 1)
            if (n++ == index) return static_cast<AVChannel>(__builtin_ctzll(mask));
    } else if (layout.order == AV_CHANNEL_ORDER_CUSTOM && layout.u.map && index < layout.nb_channels) {
        return layout.u.map[index].id;
    }
    return AV_CHAN_NONE;
}

// How a channel counts in the loudness: the low-frequency channels not at
// all, the surround channels beside and behind the listener 1.5 dB more,
// every other channel once.
int WeightOf(AVChannel channel) {
    switch (channel) {
    case AV_CHAN_FRONT_LEFT: return EBUR128_LEFT;
    case AV_CHAN_FRONT_RIGHT: return EBUR128_RIGHT;
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2: return EBUR128_UNUSED;
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_BACK_LEFT: return EBUR128_LEFT_SURROUND;
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_BACK_RIGHT: return EBUR128_RIGHT_SURROUND;
    default: return EBUR128_CENTER;
    }
}

} // namespace

struct TLoudnessMeter::TState {
    TState() = default;
    ~TState() {
        if (St) ebur128_destroy(&St);
    }
    TState(const TState&) = delete;
    TState& operator=(const TState&) = delete;
    ebur128_state* St = nullptr;
};

TLoudnessMeter::TLoudnessMeter(const AVChannelLayout& layout, int sampleRate)
    : truePeak_(std::max(layout.nb_channels, 1)) {
    const int channels = layout.nb_channels;
    if (channels <= 0 || sampleRate <= 0) throw Exception("The loudness of audio without channels cannot be measured");
    // The histogram keeps the memory flat however long the audio runs. The
    // library's true peak would cost half as much again as an MP3 encoder:
    // TTruePeak finds it for a fraction of that.
    state_ = std::make_unique<TState>();
    ebur128_state* st = state_->St = ebur128_init(static_cast<unsigned>(channels),
                                                  static_cast<unsigned long>(sampleRate),
                                                  EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
    if (!st) throw Exception("Out of memory for the loudness meter");
    // A layout that names no channels keeps the meter's own order (left,
    // right, centre, low frequencies, surround left and right).
    if (layout.order != AV_CHANNEL_ORDER_NATIVE && layout.order != AV_CHANNEL_ORDER_CUSTOM) return;
    for (int c = 0; c < channels; ++c)
        ebur128_set_channel(st, static_cast<unsigned>(c), WeightOf(ChannelAt(layout, c)));
}

TLoudnessMeter::~TLoudnessMeter() = default;

namespace {

template <typename T>
void ToFloats(const T* in, size_t count, double scale, double centre, std::vector<float>& out) {
    out.resize(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<float>((static_cast<double>(in[i]) - centre) * scale);
}

} // namespace

void TLoudnessMeter::Add(const uint8_t* data, int samples, AVSampleFormat packedFormat) {
    ebur128_state* st = state_->St;
    if (samples <= 0 || !st) return;
    const auto frames = static_cast<size_t>(samples);
    const size_t count = frames * st->channels;
    // One float copy serves the meter and the true peak alike.
    const float* floats = reinterpret_cast<const float*>(data);
    switch (packedFormat) {
    case AV_SAMPLE_FMT_FLT: break;
    case AV_SAMPLE_FMT_S16: ToFloats(reinterpret_cast<const int16_t*>(data), count, 1.0 / 32768, 0, floats_); break;
    case AV_SAMPLE_FMT_S32:
        ToFloats(reinterpret_cast<const int32_t*>(data), count, 1.0 / 2147483648.0, 0, floats_);
        break;
    case AV_SAMPLE_FMT_DBL: ToFloats(reinterpret_cast<const double*>(data), count, 1, 0, floats_); break;
    case AV_SAMPLE_FMT_U8: ToFloats(data, count, 1.0 / 128, 128, floats_); break;
    case AV_SAMPLE_FMT_S64:
        ToFloats(reinterpret_cast<const int64_t*>(data), count, 1.0 / 9223372036854775808.0, 0, floats_);
        break;
    default: return;
    }
    if (packedFormat != AV_SAMPLE_FMT_FLT) floats = floats_.data();
    const int ret = ebur128_add_frames_float(st, floats, frames);
    if (ret != EBUR128_SUCCESS) throw Exception("Out of memory for the loudness meter");
    truePeak_.Add(floats, samples);
}

void TLoudnessMeter::Finish() {
    floats_ = {};
    truePeak_.Finish();
    ebur128_state*& st = state_->St;
    if (!st) return;
    // The window holds 400 ms of every channel, as doubles: for a file of an
    // album kept until the album is whole, far more than the histogram.
    // Changing to one channel at the least rate the library takes shrinks it
    // and keeps the histogram of the blocks measured so far.
    const int ret = ebur128_change_parameters(st, 1, 16);
    if (ret == EBUR128_SUCCESS || ret == EBUR128_ERROR_NO_CHANGE) return;
    // The library's state is no longer of use.
    ebur128_destroy(&st);
}

double TLoudnessMeter::Integrated() const {
    if (!state_->St) return NAN;
    double lufs = -HUGE_VAL;
    if (ebur128_loudness_global(state_->St, &lufs) != EBUR128_SUCCESS) return -HUGE_VAL;
    return lufs;
}

double TLoudnessMeter::TruePeak() const { return truePeak_.Peak(); }

double TLoudnessMeter::Integrated(const std::vector<const TLoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states;
    for (const TLoudnessMeter* meter : meters)
        if (meter && meter->state_->St) states.push_back(meter->state_->St);
    double lufs = -HUGE_VAL;
    if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS)
        return -HUGE_VAL;
    return lufs;
}
