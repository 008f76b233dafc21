#pragma once
// Small helpers shared by the files of the video path.
#include <cstdint>

#include "FFUtils.h"
#include "FormatConverter.h"

// The scaler flags the task's "sws_flags" option holds; `fallback` when the
// option contexts are missing.
int ScalerFlagsOf(const OptionContexts* options, int fallback);

// A scaler between the two geometries, or null when the library cannot
// scale them: a format it does not take (or none at all, as a damaged
// stream may claim) or a size no picture can have. The library aborts the
// process on such formats instead of failing.
SwsContext* NewScaler(int srcWidth, int srcHeight, int srcFormat, int dstWidth, int dstHeight,
                      AVPixelFormat dstFormat, int flags);

// The planes of a picture as the hooks and converters take them.
TPicture PictureOf(const AVFrame* frame);
