#pragma once
// The preview window of a running task: the latest picture of the video path,
// with its time as the window's title. The transcoder calls ShowPicture from
// its worker thread; every window operation runs on the main thread while the
// worker waits. The probe knows no GUI toolkit: the desktop program installs a
// factory for the real window at start, and without one (the command-line
// program) nothing is shown.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "FormatConverter.h"

// What the previewer needs of a window. Created, used and destroyed on the
// main thread only.
class TPreviewWindow {
public:
    virtual ~TPreviewWindow() = default;
    // Draws `bitmap` at the top left and sets `caption` as the title. The
    // first call sizes the window to the picture, centres it and shows it.
    virtual void Show(const TBitmap& bitmap, const std::string& caption) = 0;
    // True once the user has closed the window.
    virtual bool ClosedByUser() const = 0;
};

using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;

// Installs the maker of preview windows for the whole process; an empty
// function removes it. The desktop program calls this once at start, on the
// main thread. A factory may return nullptr when it cannot make a window.
void SetPreviewWindowFactory(TPreviewWindowFactory factory);

class TPreviewer {
public:
    TPreviewer() = default;
    // Frees the window on the main thread (waiting for it).
    ~TPreviewer();
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    // Keeps the picture, its frame number and its time (microseconds, or
    // AV_NOPTS_VALUE) and shows it, creating the window on first use. True
    // while pictures are being shown; false once the user has closed the
    // window, and then nothing is kept or drawn any more. Without a window
    // factory (or when it makes no window) the first picture is kept and the
    // result is false at once: nobody can see a preview, so the caller should
    // stop converting pictures for it.
    bool ShowPicture(const TBitmap& bitmap, int frameNumber, int64_t pts);

    // True once ShowPicture has answered false: no more pictures will be shown.
    bool Closed() const { return closed_; }

    // The last picture kept. Read them on the thread that calls ShowPicture,
    // between calls.
    const TBitmap& Bitmap() const { return bitmap_; }
    int FrameNumber() const { return frameNumber_; }
    int64_t PictureTime() const { return pts_; }

private:
    // Main thread only.
    void PaintPreview();
    void ClosePreview();

    std::unique_ptr<TPreviewWindow> window_;  // main thread only
    std::atomic<bool> closed_{false};
    // Written on the main thread while the caller of ShowPicture waits.
    TBitmap bitmap_;
    int frameNumber_ = 0;
    int64_t pts_ = 0;
};
