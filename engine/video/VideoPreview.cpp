// The preview of a task's video: at most one picture per preview interval,
// to the preview bitmap event (preview flag bit 1, when the event is
// connected) or else to the preview window (bit 0).
#include "FFLog.h"
#include "RunTables.h"
#include "VideoPath.h"

void TCustomFFmpeg::PreviewPicture(const AVFrame* picture, bool converted, int64_t pts, int number) {
    uint8_t flags;
    bool changed;
    {
        std::lock_guard<std::mutex> lock(PreviewLock());
        flags = PreviewFlags;
        changed = PreviewFlagsChanged;
    }
    TPictureHookState& state = PictureHooks;
    // The window goes when its flag was cleared; set again, the flag opens a new one.
    if (!(flags & 1) && state.Previewer) state.Previewer.reset();
    if (!flags) return;
    const int64_t now = ff::av_gettime_relative();
    if (state.LastPreviewTime != INT64_MIN && now - state.LastPreviewTime < PreviewIntervalUs) return;

    const uint8_t bit = (flags & 2) && PreviewBitmapRelay ? 2 : 1;
    bool keepBit = true;
    if (flags & bit) {
        // The lock is not held here: showing a picture waits for the main
        // thread, which may be setting the flags meanwhile.
        const TBitmap* bitmap = nullptr;
        if (converted && !changed) {
            bitmap = &state.HookConverter.Bitmap();
        } else if (state.PreviewConverter.ToRGB(PictureOf(picture), static_cast<AVPixelFormat>(picture->format), true,
                                                picture->height, picture->width)) {
            bitmap = &state.PreviewConverter.Bitmap();
        } else {
            GlobalLogger()->Log(this, llError, state.PreviewConverter.ErrorText());
            keepBit = false;
        }
        if (bitmap && bit == 2) {
            PreviewBitmapRelay(this, bitmap, pts, number);
        } else if (bitmap) {
            if (!state.Previewer) state.Previewer = std::make_unique<TPreviewer>();
            keepBit = state.Previewer->ShowPicture(*bitmap, number, pts);
        }
    }
    state.LastPreviewTime = now;
    std::lock_guard<std::mutex> lock(PreviewLock());
    if (!keepBit) PreviewFlags &= static_cast<uint8_t>(~bit);
    // A change made while the picture was shown is still to be seen.
    if (PreviewFlags == (keepBit ? flags : (flags & ~bit))) PreviewFlagsChanged = false;
}
