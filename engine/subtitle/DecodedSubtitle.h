#pragma once
// A decoded subtitle, handed from the decoder to the subtitle output path and
// freed with the library once every output has taken it.
#include "FFPtr.h"

struct TDecodedSubtitle {
    AVSubtitle Value{};

    TDecodedSubtitle() = default;
    ~TDecodedSubtitle() { ff::avsubtitle_free(&Value); }
    TDecodedSubtitle(const TDecodedSubtitle&) = delete;
    TDecodedSubtitle& operator=(const TDecodedSubtitle&) = delete;
};
