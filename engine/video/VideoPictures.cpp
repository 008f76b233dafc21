// Pictures the video path writes into: taken writable, described like the
// picture they stand for.
#include "VideoPath.h"
#include "VideoRecords.h"

AVFrame* WritablePicture(FramePtr& slot, int format, int width, int height) {
    if (!slot) slot = MakeFrame();
    AVFrame* picture = slot.get();
    if (!picture) return nullptr;
    if (picture->buf[0] && picture->format == format && picture->width == width && picture->height == height)
        return ff::av_frame_make_writable(picture) < 0 ? nullptr : picture;
    ff::av_frame_unref(picture);
    picture->format = format;
    picture->width = width;
    picture->height = height;
    return ff::av_frame_get_buffer(picture, 0) < 0 ? nullptr : picture;
}

int ScalerFlagsOf(const OptionContexts* options, int fallback) {
    int64_t flags = fallback;
    if (options && options->ScalerDefaults &&
        ff::av_opt_get_int(options->ScalerDefaults.get(), "sws_flags", 0, &flags) < 0)
        flags = fallback;
    return static_cast<int>(flags);
}

SwsContext* NewScaler(int srcWidth, int srcHeight, int srcFormat, int dstWidth, int dstHeight,
                      AVPixelFormat dstFormat, int flags) {
    const auto source = static_cast<AVPixelFormat>(srcFormat);
    if (source == AV_PIX_FMT_NONE || dstFormat == AV_PIX_FMT_NONE || !ff::sws_isSupportedInput(source) ||
        !ff::sws_isSupportedOutput(dstFormat))
        return nullptr;
    if (ff::av_image_check_size2(srcWidth, srcHeight, INT64_MAX, source, 0, nullptr) < 0 ||
        ff::av_image_check_size2(dstWidth, dstHeight, INT64_MAX, dstFormat, 0, nullptr) < 0)
        return nullptr;
    return ff::sws_getContext(srcWidth, srcHeight, source, dstWidth, dstHeight, dstFormat, flags, nullptr, nullptr,
                              nullptr);
}

TPicture PictureOf(const AVFrame* frame) {
    TPicture picture;
    for (int i = 0; i < 4; ++i) {
        picture.data[i] = frame->data[i];
        picture.linesize[i] = frame->linesize[i];
    }
    return picture;
}
