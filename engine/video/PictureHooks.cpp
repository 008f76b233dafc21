#include "PictureHooks.h"

#include "FFLog.h"
#include "VideoPath.h"

TPictureHooks::TPictureHooks(TCustomFFmpeg* sender, TVideoHookRelay& input, TVideoHookRelay& output,
                             TPreviewBitmapRelay& bitmap, const int64_t& previewIntervalUs)
    : sender_(sender), input_(input), output_(output), bitmap_(bitmap), intervalUs_(previewIntervalUs) {}

void TPictureHooks::SetBitsPerPixel(int bits) {
    if (hookConverter_.BitsPixel() != bits) hookConverter_.SetBitsPixel(bits);
    if (previewConverter_.BitsPixel() != bits) previewConverter_.SetBitsPixel(bits);
}

void TPictureHooks::SetFlags(uint8_t flags) {
    std::lock_guard<std::mutex> lock(lock_);
    if (flags == flags_) return;
    flags_ = flags;
    changed_ = true;
}

void TPictureHooks::SetFlag(uint8_t bit, bool on) {
    std::lock_guard<std::mutex> lock(lock_);
    const uint8_t flags = on ? (flags_ | bit) : (flags_ & ~bit);
    if (flags == flags_) return;
    flags_ = flags;
    changed_ = true;
}

uint8_t TPictureHooks::Flags() const {
    std::lock_guard<std::mutex> lock(lock_);
    return flags_;
}

bool TPictureHooks::FlagsChanged() const {
    std::lock_guard<std::mutex> lock(lock_);
    return changed_;
}

void TPictureHooks::ClearFlags() {
    std::lock_guard<std::mutex> lock(lock_);
    flags_ = 0;
    changed_ = false;
}

void TPictureHooks::HookInput(AVFrame* picture, int64_t pts, int number) {
    bool converted = false;
    Call(input_, picture, pts, number, converted);
}

void TPictureHooks::HookOutput(AVFrame* picture, int64_t pts, int number, bool& converted) {
    Call(output_, picture, pts, number, converted);
}

void TPictureHooks::Call(TVideoHookRelay& relay, AVFrame* picture, int64_t pts, int number, bool& converted) {
    TFormatConverter& converter = hookConverter_;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    TPicture planes = PictureOf(picture);
    converted = converter.ToRGB(planes, format, true, picture->height, picture->width);
    bool switchOff = !converted;
    if (!converted) {
        GlobalLogger()->Log(sender_, llError, converter.ErrorText());
    } else {
        bool stop = false;
        bool update = true;
        try {
            relay(sender_, &converter.Bitmap(), update, stop, pts, number);
        } catch (const std::exception& e) {
            GlobalLogger()->Log(sender_, llError, std::string("Error occurs VideoHook event: ") + e.what());
            update = false;
        }
        if (update) {
            converter.CopyBitmapToPicture();
            // Without a conversion the bitmap's rows were the picture's own.
            if (converter.Converted() && !converter.FromRGB(planes, format, picture->height, picture->width)) {
                GlobalLogger()->Log(sender_, llError, converter.ErrorText());
                switchOff = true;
            }
        } else if (Flags()) {
            converted = false;  // the bitmap no longer shows the picture
        }
        switchOff = switchOff || stop;
    }
    if (switchOff) relay = nullptr;
}

void TPictureHooks::Preview(const AVFrame* picture, bool converted, int64_t pts, int number) {
    uint8_t flags;
    bool changed;
    {
        std::lock_guard<std::mutex> lock(lock_);
        flags = flags_;
        changed = changed_;
    }
    // The window goes when its flag was cleared; set again, the flag opens a new one.
    if (!(flags & 1) && previewer_) previewer_.reset();
    if (!flags) return;
    const int64_t now = ff::av_gettime_relative();
    if (lastPreviewTime_ != INT64_MIN && now - lastPreviewTime_ < intervalUs_) return;

    const uint8_t bit = (flags & 2) && bitmap_ ? 2 : 1;
    bool keepBit = true;
    if (flags & bit) {
        // The lock is not held here: showing a picture waits for the main
        // thread, which may be setting the flags meanwhile.
        const TBitmap* bitmap = nullptr;
        if (converted && !changed) {
            bitmap = &hookConverter_.Bitmap();
        } else if (previewConverter_.ToRGB(PictureOf(picture), static_cast<AVPixelFormat>(picture->format), true,
                                           picture->height, picture->width)) {
            bitmap = &previewConverter_.Bitmap();
        } else {
            GlobalLogger()->Log(sender_, llError, previewConverter_.ErrorText());
            keepBit = false;
        }
        if (bitmap && bit == 2) {
            bitmap_(sender_, bitmap, pts, number);
        } else if (bitmap) {
            if (!previewer_) previewer_ = std::make_unique<TPreviewer>();
            keepBit = previewer_->ShowPicture(*bitmap, number, pts);
        }
    }
    lastPreviewTime_ = now;
    std::lock_guard<std::mutex> lock(lock_);
    if (!keepBit) flags_ &= static_cast<uint8_t>(~bit);
    // A change made while the picture was shown is still to be seen.
    if (flags_ == (keepBit ? flags : (flags & ~bit))) changed_ = false;
}
