// The video hooks: a picture becomes a bitmap for the handler, and the
// handler's changes go back into the picture. The output hook works on a copy
// of the picture about to be encoded.
#include <cstring>

#include "FFLog.h"
#include "RunTables.h"
#include "VideoPath.h"

void TCustomFFmpeg::SetHookBitsPerPixel(int Bits) {
    if (PictureHooks.HookConverter.BitsPixel() != Bits) PictureHooks.HookConverter.SetBitsPixel(Bits);
    if (PictureHooks.PreviewConverter.BitsPixel() != Bits) PictureHooks.PreviewConverter.SetBitsPixel(Bits);
}

void TCustomFFmpeg::CallVideoHook(TVideoHookRelay& relay, AVFrame* picture, int64_t pts, int number,
                                  bool& converted) {
    TFormatConverter& converter = PictureHooks.HookConverter;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    TPicture planes = PictureOf(picture);
    converted = converter.ToRGB(planes, format, true, picture->height, picture->width);
    bool switchOff = !converted;
    if (!converted) {
        GlobalLogger()->Log(this, llError, converter.ErrorText());
    } else {
        bool stop = false;
        bool update = true;
        try {
            relay(this, &converter.Bitmap(), update, stop, pts, number);
        } catch (const std::exception& e) {
            GlobalLogger()->Log(this, llError, std::string("Error occurs VideoHook event: ") + e.what());
            update = false;
        }
        if (update) {
            converter.CopyBitmapToPicture();
            // Without a conversion the bitmap's rows were the picture's own.
            if (converter.Converted() && !converter.FromRGB(planes, format, picture->height, picture->width)) {
                GlobalLogger()->Log(this, llError, converter.ErrorText());
                switchOff = true;
            }
        } else if (CurrentPreviewFlags()) {
            converted = false;  // the bitmap no longer shows the picture
        }
        switchOff = switchOff || stop;
    }
    if (switchOff) relay = nullptr;
}

AVFrame* TCustomFFmpeg::RunOutputHook(TOutputStream& ost, AVFrame* picture, int64_t pts, int number,
                                      bool& converted) {
    AVFrame* hooked = nullptr;
    if (picture == ost.OutputHookPicture.get()) {
        // A duplicate of the last picture: the hook sees its own result again,
        // on planes the encoder does not hold.
        hooked = ff::av_frame_make_writable(picture) < 0 ? nullptr : picture;
    } else {
        hooked = WritablePicture(ost.OutputHookPicture, picture->format, picture->width, picture->height);
        if (hooked)
            ff::av_image_copy(hooked->data, hooked->linesize, const_cast<const uint8_t**>(picture->data),
                              picture->linesize, static_cast<AVPixelFormat>(picture->format), picture->width,
                              picture->height);
    }
    if (!hooked) {
        GlobalLogger()->Log(this, llError, "hook buf malloc error.");
        converted = false;
        return picture;
    }
    CallVideoHook(VideoOutputHookRelay, hooked, pts, number, converted);
    return hooked;
}
