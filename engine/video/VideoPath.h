#pragma once
// Small helpers shared by the files of the video path.
#include <cstdint>

#include "FFUtils.h"
#include "FormatConverter.h"

// The scaler flags the task's "sws_flags" option holds; `fallback` when the
// option contexts are missing.
int ScalerFlagsOf(const OptionContexts* options, int fallback);

// The planes of a picture as the hooks and converters take them.
TPicture PictureOf(const AVFrame* frame);
