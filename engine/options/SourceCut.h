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
