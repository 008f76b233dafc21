#pragma once
// The loudness of the audio an encoder is given, measured as it passes:
// integrated loudness (gated, in LUFS, by libebur128) and true peak. Only the
// histogram of the gated blocks is kept, so a meter takes the same memory for
// a song as for a day of recordings; a finished meter is kept for as long as
// the loudness of a whole album is still to come.
#include <memory>
#include <vector>

#include "TruePeak.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

class TLoudnessMeter {
public:
    // For interleaved samples of `layout`'s channels at `sampleRate`. Raises
    // Exception when the meter cannot be made (out of memory, no channels).
    TLoudnessMeter(const AVChannelLayout& layout, int sampleRate);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    // `samples` interleaved samples of every channel, in `packedFormat`.
    void Add(const uint8_t* data, int samples, AVSampleFormat packedFormat);
    // Nothing more is added: the meter lets go of its window of audio and
    // keeps only the histogram the integrated loudness is taken from. A
    // meter that could not do so measures nothing any more (Integrated: NaN).
    void Finish();

    // Integrated loudness in LUFS of everything added; -HUGE_VAL when all of
    // it lay below the absolute gate (silence), NaN when it is not known.
    double Integrated() const;
    // The highest true peak of any channel, linear (1.0 is full scale).
    double TruePeak() const;
    // The integrated loudness of several meters' audio taken as one programme
    // (an album), in LUFS; -HUGE_VAL for silence or no meters. Meters that
    // no longer know their loudness are left out.
    static double Integrated(const std::vector<const TLoudnessMeter*>& meters);

private:
    struct TState;  // the library's state, which it destroys
    std::unique_ptr<TState> state_;
    TTruePeak truePeak_;
    std::vector<float> floats_;  // samples of other formats, for the true peak
};
