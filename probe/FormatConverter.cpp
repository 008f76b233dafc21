#include "FormatConverter.h"

#include <algorithm>
#include <cstring>

#include "Exception.h"
#include "Format.h"

int BitmapRowSize(int bitsPixel, int width) {
    int stored = bitsPixel == 15 ? 16 : bitsPixel;
    return ((stored * width + 31) / 32) * 4;
}

void TBitmap::SetSize(int width, int height) {
    Width = std::max(0, width);
    Height = std::max(0, height);
    Stride = BitmapRowSize(BitsPixel, Width);
    Bits.resize(static_cast<size_t>(Stride) * Height);
}

void TBitmap::SetBitsPixel(int bitsPixel) {
    BitsPixel = bitsPixel;
    SetSize(Width, Height);
}

void TBitmap::FillBlack() { std::fill(Bits.begin(), Bits.end(), 0); }

namespace {

AVPixelFormat PixelFormatFor(int bitsPixel) {
    switch (bitsPixel) {
    case 8: return AV_PIX_FMT_BGR8;
    case 15: return AV_PIX_FMT_BGR555LE;
    case 16: return AV_PIX_FMT_BGR565LE;
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGRA;
    default: return AV_PIX_FMT_NONE;
    }
}

// The RGB picture's rows are aligned like the bitmap's (4 bytes), so a
// converted picture copies row for row.
constexpr int RowAlign = 4;

}  // namespace

TFormatConverter::TFormatConverter() { bitmap_.SetBitsPixel(bitsPixel_); }

TFormatConverter::~TFormatConverter() = default;

void TFormatConverter::SetBitsPixel(int value) {
    AVPixelFormat format = PixelFormatFor(value);
    if (format == AV_PIX_FMT_NONE) throw Exception(Format("Invalid BitsPixel %d", value));
    bitsPixel_ = value;
    pixelFormat_ = format;
    // The scalers were made for the old layout; the buffers are kept and regrow.
    toRGB_.reset();
    fromRGB_.reset();
    hasCurrentPicture_ = false;
    bitmap_.SetBitsPixel(value);
}

bool TFormatConverter::ToRGB(const TPicture& picture, AVPixelFormat pixelFormat, bool copy,
                             int height, int width) {
    bitmap_.SetSize(width, height);
    bool convert = pixelFormat != pixelFormat_ || (width & 1) || (height & 1) ||
                   picture.linesize[0] != bitmap_.Stride;
    if (convert) {
        int size = ff::av_image_get_buffer_size(pixelFormat_, width, height, RowAlign);
        if (size < 0) {
            errorText_ = "Cannot initialize the toRGB conversion context";
            return false;
        }
        if (size > rgbBufferSize_) {
            rgbBuffer_.reset(static_cast<uint8_t*>(ff::av_malloc(size)));
            rgbBufferSize_ = rgbBuffer_ ? size : 0;
            if (!rgbBuffer_) {
                errorText_ = "Cannot initialize the toRGB conversion context";
                return false;
            }
        }
        ff::av_image_fill_arrays(rgbPicture_.data, rgbPicture_.linesize, rgbBuffer_.get(),
                                 pixelFormat_, width, height, RowAlign);
        // getCachedContext frees the context it was given when it makes a new one.
        toRGB_.reset(ff::sws_getCachedContext(toRGB_.release(), width, height, pixelFormat, width,
                                              height, pixelFormat_, SWS_BICUBIC, nullptr, nullptr,
                                              nullptr));
        if (!toRGB_) {
            errorText_ = "Cannot initialize the toRGB conversion context";
            return false;
        }
        ff::sws_scale(toRGB_.get(), picture.data, picture.linesize, 0, height, rgbPicture_.data,
                      rgbPicture_.linesize);
        currentPicture_ = rgbPicture_;
    } else {
        currentPicture_ = picture;
    }
    hasCurrentPicture_ = true;
    converted_ = convert;
    if (copy) CopyPictureToBitmap();
    return true;
}

bool TFormatConverter::FromRGB(const TPicture& picture, AVPixelFormat pixelFormat, int height,
                               int width) {
    if (!hasCurrentPicture_) {
        errorText_ = "Cannot initialize the fromRGB conversion context";
        return false;
    }
    fromRGB_.reset(ff::sws_getCachedContext(fromRGB_.release(), width, height, pixelFormat_, width,
                                            height, pixelFormat, SWS_BICUBIC, nullptr, nullptr,
                                            nullptr));
    if (!fromRGB_) {
        errorText_ = "Cannot initialize the fromRGB conversion context";
        return false;
    }
    ff::sws_scale(fromRGB_.get(), currentPicture_.data, currentPicture_.linesize, 0, height,
                  picture.data, picture.linesize);
    return true;
}

void TFormatConverter::CopyPictureToBitmap() {
    if (!hasCurrentPicture_) throw Exception("Assertion failed: no current picture");
    size_t row = std::min<size_t>(std::abs(currentPicture_.linesize[0]), bitmap_.Stride);
    for (int y = 0; y < bitmap_.Height; ++y)
        std::memcpy(bitmap_.ScanLine(y), currentPicture_.data[0] + y * currentPicture_.linesize[0], row);
}

void TFormatConverter::CopyBitmapToPicture() {
    if (!hasCurrentPicture_) throw Exception("Assertion failed: no current picture");
    size_t row = std::min<size_t>(std::abs(currentPicture_.linesize[0]), bitmap_.Stride);
    for (int y = 0; y < bitmap_.Height; ++y)
        std::memcpy(currentPicture_.data[0] + y * currentPicture_.linesize[0], bitmap_.ScanLine(y), row);
}
