#pragma once
// Converts decoded pictures to and from the program's bitmap layouts (BGR at
// 8, 15, 16, 24 or 32 bits per pixel) through the picture scaler. The bitmap is
// a plain top-down pixel buffer; the GUI wraps it without copying rows.
#include <cstdint>
#include <string>
#include <vector>

#include "FFPtr.h"

// A picture in the library's layout: up to four planes and their line sizes.
struct TPicture {
    uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int linesize[4] = {0, 0, 0, 0};
};

// Rows from top to bottom; each row is Stride bytes (a multiple of 4).
struct TBitmap {
    int Width = 0;
    int Height = 0;
    int Stride = 0;
    int BitsPixel = 24;
    std::vector<uint8_t> Bits;

    uint8_t* ScanLine(int y) { return Bits.data() + static_cast<size_t>(y) * Stride; }
    const uint8_t* ScanLine(int y) const { return Bits.data() + static_cast<size_t>(y) * Stride; }
    // Resizes (contents undefined unless they already had this size and layout).
    void SetSize(int width, int height);
    void SetBitsPixel(int bitsPixel);
    void FillBlack();
};

// Bytes of one bitmap row: bits per stored pixel × width, rounded up to 32 bits.
// 15-bit pixels are stored in 16 bits.
int BitmapRowSize(int bitsPixel, int width);

class TFormatConverter {
public:
    TFormatConverter();
    ~TFormatConverter();
    TFormatConverter(const TFormatConverter&) = delete;
    TFormatConverter& operator=(const TFormatConverter&) = delete;

    int BitsPixel() const { return bitsPixel_; }
    // 8, 15, 16, 24 or 32; anything else raises "Invalid BitsPixel %d".
    void SetBitsPixel(int value);
    AVPixelFormat PixelFormat() const { return pixelFormat_; }

    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }
    const std::string& ErrorText() const { return errorText_; }

    bool ToRGB(const TPicture& picture, AVPixelFormat pixelFormat, bool copy, int height, int width);
    // Whether the last ToRGB converted into a buffer of its own (FromRGB then
    // writes changes back) rather than taking the picture's rows as they were.
    bool Converted() const { return converted_; }
    bool FromRGB(const TPicture& picture, AVPixelFormat pixelFormat, int height, int width);
    void CopyPictureToBitmap();
    void CopyBitmapToPicture();

private:
    int bitsPixel_ = 24;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_BGR24;
    TBitmap bitmap_;
    LibraryMemoryPtr<uint8_t> rgbBuffer_;
    int rgbBufferSize_ = 0;
    TPicture rgbPicture_;
    TPicture currentPicture_;
    bool hasCurrentPicture_ = false;
    bool converted_ = false;
    SwsContextPtr toRGB_;
    SwsContextPtr fromRGB_;
    std::string errorText_;
};
