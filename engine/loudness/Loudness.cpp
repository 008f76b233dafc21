#include "Loudness.h"

#include "Format.h"

namespace {

// Rounded as shown, without the sign of a value that shows as zero.
double Shown(double value, double step) {
    const double rounded = std::nearbyint(value / step) * step;
    return rounded == 0 ? 0 : rounded;
}

} // namespace

double DecibelsOf(double linear) { return linear > 0 ? 20 * std::log10(linear) : -HUGE_VAL; }

std::string LoudnessText(double lufs, double truePeak) {
    if (!std::isfinite(lufs)) return "silent";
    return Format("%.1f LUFS, peak %.1f dBTP", Shown(lufs, 0.1), Shown(DecibelsOf(truePeak), 0.1));
}

std::string ReplayGainText(double lufs) { return Format("%.2f dB", Shown(ReplayGainReferenceLufs - lufs, 0.01)); }

std::string ReplayGainPeakText(double truePeak) { return Format("%.6f", truePeak); }
