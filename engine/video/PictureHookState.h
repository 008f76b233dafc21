#pragma once
// What a task keeps for its video hooks and its preview: the two picture
// converters (pictures to bitmaps and back), the preview window and when it
// last showed a picture. Used on the worker thread only.
#include <cstdint>
#include <memory>

#include "FormatConverter.h"
#include "Previewer.h"

struct TPictureHookState {
    TFormatConverter HookConverter;     // the video-input and video-output hooks
    TFormatConverter PreviewConverter;  // the preview
    std::unique_ptr<TPreviewer> Previewer;  // created with the first picture shown in the window
    int64_t LastPreviewTime = INT64_MIN;    // library clock, microseconds
};
