#pragma once
// What a task shows its pictures to: the video hooks (a picture becomes a
// bitmap for the handler, whose changes go back into the picture) and the
// preview (the preview bitmap event, or else the preview window), with the
// preview flags that say which of the two wants pictures. The pictures, the
// converters and the window are the worker's; the flags any thread may set.
#include <cstdint>
#include <memory>
#include <mutex>

#include "FormatConverter.h"
#include "Previewer.h"
#include "TaskTypes.h"

extern "C" {
#include <libavutil/frame.h>
}

// What a video stage shows the pictures it encodes to.
class TPictureViewer {
public:
    // Whether the video-output hook wants the pictures.
    virtual bool HooksOutput() const = 0;
    // The output hook's turn with `picture`, which it may change; `converted`:
    // the hook's bitmap shows the picture as it now is.
    virtual void HookOutput(AVFrame* picture, int64_t pts, int number, bool& converted) = 0;
    // At most one picture per preview interval; `converted`: the output
    // hook's bitmap shows it already.
    virtual void Preview(const AVFrame* picture, bool converted, int64_t pts, int number) = 0;

protected:
    ~TPictureViewer() = default;
};

class TPictureHooks final : public TPictureViewer {
public:
    // The relays and the interval are the task's (`sender`); the worker
    // clears a hook relay whose handler asked to stop or whose pictures could
    // not be converted.
    TPictureHooks(TCustomFFmpeg* sender, TVideoHookRelay& input, TVideoHookRelay& output, TPreviewBitmapRelay& bitmap,
                  const int64_t& previewIntervalUs);
    TPictureHooks(const TPictureHooks&) = delete;
    TPictureHooks& operator=(const TPictureHooks&) = delete;

    // The depth of the bitmaps handed over.
    void SetBitsPerPixel(int bits);

    // Preview flags: bit 0 the window, bit 1 the bitmap event. A change is
    // marked until a picture was shown with it.
    void SetFlags(uint8_t flags);
    void SetFlag(uint8_t bit, bool on);
    uint8_t Flags() const;
    bool FlagsChanged() const;
    void ClearFlags();

    bool HooksInput() const { return static_cast<bool>(input_); }
    // The video-input hook's turn with a decoded picture.
    void HookInput(AVFrame* picture, int64_t pts, int number);
    bool HooksOutput() const override { return static_cast<bool>(output_); }
    void HookOutput(AVFrame* picture, int64_t pts, int number, bool& converted) override;
    void Preview(const AVFrame* picture, bool converted, int64_t pts, int number) override;

private:
    void Call(TVideoHookRelay& relay, AVFrame* picture, int64_t pts, int number, bool& converted);

    TCustomFFmpeg* sender_;
    TVideoHookRelay& input_;
    TVideoHookRelay& output_;
    TPreviewBitmapRelay& bitmap_;
    const int64_t& intervalUs_;

    mutable std::mutex lock_;                 // guards the two flag fields
    uint8_t flags_ = 0;
    bool changed_ = false;

    TFormatConverter hookConverter_;          // the video-input and video-output hooks
    TFormatConverter previewConverter_;       // the preview
    std::unique_ptr<TPreviewer> previewer_;   // created with the first picture shown in the window
    int64_t lastPreviewTime_ = INT64_MIN;     // library clock, microseconds
};
