#pragma once
// What measuring an output's audio gave, as the termination record carries
// it, and the texts it is shown and tagged with.
#include <cmath>
#include <memory>
#include <string>

#include "TagFormat.h"

class TLoudnessMeter;

// ReplayGain 2.0: a track's gain brings it to this loudness.
constexpr double ReplayGainReferenceLufs = -18.0;
// The highest true peak a normalised file may have, in dBTP.
constexpr double NormalisedPeakCeiling = -1.0;

struct TLoudness {
    bool Measured = false;
    double Integrated = -HUGE_VAL;  // LUFS; -HUGE_VAL: silent (nothing above the absolute gate)
    double TruePeak = 0;            // linear, 1.0 is full scale
    double Gain = 0;                // dB the samples were given before they were measured and encoded
    // For an album's loudness: the meter itself, and the kind of tags of its
    // output (None when TagLib does not write them).
    std::shared_ptr<const TLoudnessMeter> Meter;
    TTagFormat TagFormat = TTagFormat::None;

    bool Silent() const { return !std::isfinite(Integrated); }
};

// dB of a linear amplitude; -HUGE_VAL for 0.
double DecibelsOf(double linear);
// "-14.2 LUFS, peak -0.3 dBTP"; "silent" for silence.
std::string LoudnessText(double lufs, double truePeak);
// The ReplayGain of a track or album of loudness `lufs`: "-6.53 dB".
std::string ReplayGainText(double lufs);
// A ReplayGain peak: "0.988553".
std::string ReplayGainPeakText(double truePeak);
