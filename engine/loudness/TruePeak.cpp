#include "TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int Points = 4;  // per sample interval: the sample itself and three between it and the next
constexpr int Taps = TTruePeak::Before + 1 + TTruePeak::After;
constexpr int History = Taps - 1;
constexpr int Block = 256;  // the intervals one look at the samples' magnitude decides about

struct TCoefficients {
    std::array<std::array<float, Taps>, Points - 1> Of{};
    float Bound = 1;  // the largest sum of magnitudes of one point's coefficients
};

// Point k (1..3) of the interval after sample n is interpolated from samples
// n - Before .. n + After: a sinc under a raised-cosine window that closes
// After samples away, the same filter as four-times oversampling with a
// window of 49 taps.
const TCoefficients& Coefficients() {
    static const TCoefficients table = [] {
        TCoefficients t;
        for (int k = 1; k < Points; ++k) {
            float sum = 0;
            for (int j = 0; j < Taps; ++j) {
                const double distance = static_cast<double>(k) / Points + TTruePeak::Before - j;
                const double sinc = std::sin(M_PI * distance) / (M_PI * distance);
                const double window = 0.5 * (1 + std::cos(M_PI * distance / TTruePeak::After));
                t.Of[k - 1][j] = static_cast<float>(sinc * window);
                sum += std::fabs(t.Of[k - 1][j]);
            }
            t.Bound = std::max(t.Bound, sum);
        }
        return t;
    }();
    return table;
}

// Wider vectors where the processor has them: the loop over the points is
// most of a meter's cost.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TEMBRIO_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TEMBRIO_VECTOR_CLONES
#endif

// The intervals after samples[Before] .. samples[count - 1 - After]: their
// samples and the points between, into `peak`.
TEMBRIO_VECTOR_CLONES void Interpolate(const float* samples, int count, float& peak) {
    const TCoefficients& coefficients = Coefficients();
    const int last = count - 1 - TTruePeak::After;
    for (int start = TTruePeak::Before; start <= last; start += Block) {
        const int n = std::min(Block, last - start + 1);
        const float* first = samples + start - TTruePeak::Before;
        // Each sample is part of the signal, and nothing interpolated from
        // these can exceed their largest by more than the coefficients' bound.
        float loudest = 0;
        for (int i = 0; i < n + History; ++i) loudest = std::max(loudest, std::fabs(first[i]));
        peak = std::max(peak, loudest);
        if (loudest * coefficients.Bound <= peak) continue;
        for (const auto& taps : coefficients.Of) {
            float loudestPoint = 0;
            for (int i = 0; i < n; ++i) {
                float point = 0;
                for (int j = 0; j < Taps; ++j) point += taps[j] * first[i + j];
                loudestPoint = std::max(loudestPoint, std::fabs(point));
            }
            peak = std::max(peak, loudestPoint);
        }
    }
}

} // namespace

TTruePeak::TTruePeak(int channels)
    : channels_(channels), lines_(static_cast<size_t>(channels), std::vector<float>(History, 0.0f)) {}

void TTruePeak::Add(const float* interleaved, int frames) {
    if (frames <= 0) return;
    for (int c = 0; c < channels_; ++c) {
        std::vector<float>& line = lines_[c];
        line.resize(History + static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i) line[History + i] = interleaved[static_cast<size_t>(i) * channels_ + c];
        Interpolate(line.data(), static_cast<int>(line.size()), peak_);
        // The history of the next samples.
        std::copy(line.end() - History, line.end(), line.begin());
        line.resize(History);
    }
}

void TTruePeak::Finish() {
    peak_ = static_cast<float>(Peak());
    lines_ = {};
}

double TTruePeak::Peak() const {
    float peak = peak_;
    for (const std::vector<float>& line : lines_) {
        std::array<float, History + After> tail{};
        std::copy(line.begin(), line.end(), tail.begin());
        Interpolate(tail.data(), static_cast<int>(tail.size()), peak);
    }
    return peak;
}
