#include "BitmapImage.h"

namespace {

QImage::Format ImageFormat(int bitsPixel) {
    // The converter's 24-bit pixels are B, G, R bytes; its 32-bit pixels are
    // the same plus one unused byte, which is QImage's RGB32 word in memory.
    switch (bitsPixel) {
    case 24: return QImage::Format_BGR888;
    case 32: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
    }
}

} // namespace

QImage WrapBitmap(const TBitmap& bitmap) {
    const QImage::Format format = ImageFormat(bitmap.BitsPixel);
    if (format == QImage::Format_Invalid || bitmap.Width <= 0 || bitmap.Height <= 0) return {};
    // A bitmap filled by hand may not hold what its size says; Qt would read past it.
    if (bitmap.Stride < BitmapRowSize(bitmap.BitsPixel, bitmap.Width) ||
        bitmap.Bits.size() < static_cast<size_t>(bitmap.Stride) * bitmap.Height)
        return {};
    return QImage(bitmap.Bits.data(), bitmap.Width, bitmap.Height, bitmap.Stride, format);
}
