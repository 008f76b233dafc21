#include "Previewer.h"

#include <mutex>
#include <utility>

#include "FFUtils.h"
#include "MainThread.h"

namespace {

// The one maker of preview windows, installed by the desktop program.
struct WindowFactory {
    std::mutex lock;  // protects make
    TPreviewWindowFactory make;
};

WindowFactory& Factory() {
    static WindowFactory factory;
    return factory;
}

std::unique_ptr<TPreviewWindow> MakePreviewWindow() {
    TPreviewWindowFactory make;
    {
        WindowFactory& factory = Factory();
        std::lock_guard<std::mutex> guard(factory.lock);
        make = factory.make;
    }
    return make ? make() : nullptr;
}

} // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
    WindowFactory& f = Factory();
    std::lock_guard<std::mutex> guard(f.lock);
    f.make = std::move(factory);
}

TPreviewer::~TPreviewer() {
    // window_ only changes inside hand-offs the owner waited for, so the
    // owner's thread may look at it here.
    if (window_) RunInMainThread([this] { ClosePreview(); });
}

bool TPreviewer::ShowPicture(const TBitmap& bitmap, int frameNumber, int64_t pts) {
    if (closed_) return false;
    RunInMainThread([&] {
        // The user may have closed the window since the last picture; asking
        // here, on the window's thread, keeps the answer and the drawing in step.
        if (window_ && window_->ClosedByUser()) {
            closed_ = true;
            return;
        }
        bitmap_ = bitmap;
        frameNumber_ = frameNumber;
        pts_ = pts;
        PaintPreview();
    });
    return !closed_;
}

void TPreviewer::PaintPreview() {
    if (!window_) {
        window_ = MakePreviewWindow();
        if (!window_) {
            closed_ = true;
            return;
        }
    }
    window_->Show(bitmap_, TimeText(pts_));
}

void TPreviewer::ClosePreview() { window_.reset(); }
