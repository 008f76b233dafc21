#pragma once
// A stretch of a source's sound converted on its own: a track of an album
// image or a chapter of a long file. Times count from the sound's first
// sample, in units of TimeBaseNum/TimeBaseDen seconds (CD frames, 1/75 s, for
// a cue sheet; the file's own time base for its chapters). The task cuts at
// the source's sample precision.
#include <cstdint>

struct TSourceCut {
    int64_t Start = 0;
    int64_t Length = -1;  // negative: to the end of the source
    int TimeBaseNum = 1;
    int TimeBaseDen = 75;

    bool Whole() const { return Start <= 0 && Length < 0; }
};

// The stretch's start in microseconds after the source's first sample.
int64_t CutStartMicroseconds(const TSourceCut& cut);
// Its length in microseconds: the cut's own, or what the source's
// `duration` (microseconds, negative when unknown) leaves after its start;
// -1 when that is not known.
int64_t CutLengthMicroseconds(const TSourceCut& cut, int64_t duration);
// `value` units of the cut's time base as samples at `rate`, to the nearest
// (ties to even).
int64_t CutSamples(int64_t value, const TSourceCut& cut, int rate);
