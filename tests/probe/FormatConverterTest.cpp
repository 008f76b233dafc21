// The picture converter on pictures made in memory.
#include <cstring>
#include <vector>

#include "Exception.h"
#include "FormatConverter.h"
#include "ProbeTestSupport.h"

namespace {

// A BGR24 picture over `bytes` with rows of `stride` bytes.
TPicture Bgr24Picture(std::vector<uint8_t>& bytes, int stride) {
    TPicture p;
    p.data[0] = bytes.data();
    p.linesize[0] = stride;
    return p;
}

// A YUV 4:2:0 picture of the fixture pattern.
struct TYuvPicture {
    FramePtr Frame = MakeFrame();
    TPicture Picture;
    TYuvPicture(int width, int height, const std::vector<uint8_t>& lumaOfPattern) {
        Frame->format = AV_PIX_FMT_YUV420P;
        Frame->width = width;
        Frame->height = height;
        if (ff::av_frame_get_buffer(Frame.get(), 0) < 0) throw Exception("no frame");
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                TPatternColour c = PatternColourAt(x, y, width, height);
                int index = c.R && c.B ? 0 : c.R ? 1 : 2;  // white, red, blue
                Frame->data[0][y * Frame->linesize[0] + x] = lumaOfPattern[index];
                static const uint8_t u[] = {128, 90, 240}, v[] = {128, 240, 110};
                Frame->data[1][(y / 2) * Frame->linesize[1] + x / 2] = u[index];
                Frame->data[2][(y / 2) * Frame->linesize[2] + x / 2] = v[index];
            }
        for (int i = 0; i < 4; ++i) {
            Picture.data[i] = Frame->data[i];
            Picture.linesize[i] = Frame->linesize[i];
        }
    }
};

const std::vector<uint8_t> PatternLuma = {235, 81, 41};

}  // namespace

TEST(FormatConverter, BitsPixelValues) {
    TFormatConverter c;
    EXPECT_EQ(c.BitsPixel(), 24);
    EXPECT_EQ(c.PixelFormat(), AV_PIX_FMT_BGR24);
    const std::pair<int, AVPixelFormat> layouts[] = {{8, AV_PIX_FMT_BGR8},
                                                     {15, AV_PIX_FMT_BGR555LE},
                                                     {16, AV_PIX_FMT_BGR565LE},
                                                     {32, AV_PIX_FMT_BGRA},
                                                     {24, AV_PIX_FMT_BGR24}};
    for (auto [bits, format] : layouts) {
        c.SetBitsPixel(bits);
        EXPECT_EQ(c.PixelFormat(), format);
        EXPECT_EQ(c.Bitmap().BitsPixel, bits);
    }
    try {
        c.SetBitsPixel(12);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid BitsPixel 12");
    }
    EXPECT_EQ(c.BitsPixel(), 24);
    EXPECT_THROW(c.CopyPictureToBitmap(), Exception);
}

TEST(FormatConverter, RowSizes) {
    EXPECT_EQ(BitmapRowSize(24, 101), 304);
    EXPECT_EQ(BitmapRowSize(24, 4), 12);
    EXPECT_EQ(BitmapRowSize(8, 5), 8);
    EXPECT_EQ(BitmapRowSize(15, 3), 8);  // stored as 16 bits per pixel
    EXPECT_EQ(BitmapRowSize(32, 3), 12);
}

// A picture already in the bitmap's layout is used in place: writing the bitmap
// back changes the caller's picture.
TEST_F(ProbeTest, MatchingPictureIsNotConverted) {
    TFormatConverter c;
    std::vector<uint8_t> bytes(12 * 2);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    TPicture p = Bgr24Picture(bytes, 12);
    ASSERT_TRUE(c.ToRGB(p, AV_PIX_FMT_BGR24, true, 2, 4));
    EXPECT_EQ(c.Bitmap().Bits, bytes);
    c.Bitmap().ScanLine(1)[0] = 200;
    c.CopyBitmapToPicture();
    EXPECT_EQ(bytes[12], 200);
}

// An odd width (or rows of another size) goes through the scaler into the
// converter's own picture; the caller's stays untouched.
TEST_F(ProbeTest, OddWidthIsConverted) {
    TFormatConverter c;
    std::vector<uint8_t> bytes(16 * 2, 50);
    TPicture p = Bgr24Picture(bytes, 16);  // 5 pixels of 3 bytes, rows padded to 16
    ASSERT_TRUE(c.ToRGB(p, AV_PIX_FMT_BGR24, true, 2, 5));
    EXPECT_EQ(c.Bitmap().Stride, 16);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 15; ++x) EXPECT_NEAR(c.Bitmap().ScanLine(y)[x], 50, 2);
    c.Bitmap().ScanLine(0)[0] = 200;
    c.CopyBitmapToPicture();
    EXPECT_EQ(bytes[0], 50);
}

TEST_F(ProbeTest, EveryLayoutShowsThePattern) {
    TYuvPicture yuv(64, 48, PatternLuma);
    TFormatConverter c;
    struct Case {
        int bits;
        // Red and blue components of a pixel, scaled to 0..255.
        std::function<std::pair<int, int>(const uint8_t*)> redBlue;
        int bytesPerPixel;
    };
    const Case cases[] = {
        {32, [](const uint8_t* p) { return std::pair<int, int>(p[2], p[0]); }, 4},
        {24, [](const uint8_t* p) { return std::pair<int, int>(p[2], p[0]); }, 3},
        {16, [](const uint8_t* p) {
             int v = p[0] | (p[1] << 8);  // BGR565LE: blue in the high bits
             return std::pair<int, int>((v & 31) * 255 / 31, ((v >> 11) & 31) * 255 / 31);
         }, 2},
        {15, [](const uint8_t* p) {
             int v = p[0] | (p[1] << 8);
             return std::pair<int, int>((v & 31) * 255 / 31, ((v >> 10) & 31) * 255 / 31);
         }, 2},
        {8, [](const uint8_t* p) {  // BGR8: (msb) 2 B, 3 G, 3 R (lsb)
             return std::pair<int, int>((p[0] & 7) * 255 / 7, ((p[0] >> 6) & 3) * 255 / 3);
         }, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.bits);
        c.SetBitsPixel(k.bits);
        ASSERT_TRUE(c.ToRGB(yuv.Picture, AV_PIX_FMT_YUV420P, true, 48, 64)) << c.ErrorText();
        const TBitmap& b = c.Bitmap();
        EXPECT_EQ(b.Stride, BitmapRowSize(k.bits, 64));
        auto top = k.redBlue(b.ScanLine(10) + 40 * k.bytesPerPixel);
        auto bottom = k.redBlue(b.ScanLine(40) + 40 * k.bytesPerPixel);
        // Two bits of blue in the 8-bit layout: 170 is as near as it gets.
        EXPECT_GT(top.first, 160);
        EXPECT_LT(top.second, 60);
        EXPECT_LT(bottom.first, 60);
        EXPECT_GT(bottom.second, 160);
    }
}

// FromRGB writes the (possibly edited) RGB picture back into the source layout.
TEST_F(ProbeTest, FromRGBWritesTheEditedPictureBack) {
    TYuvPicture source(64, 48, PatternLuma);
    TYuvPicture target(64, 48, {0, 0, 0});
    TFormatConverter c;
    ASSERT_TRUE(c.ToRGB(source.Picture, AV_PIX_FMT_YUV420P, true, 48, 64));
    ASSERT_TRUE(c.FromRGB(target.Picture, AV_PIX_FMT_YUV420P, 48, 64)) << c.ErrorText();
    for (int y : {4, 40})
        for (int x : {2, 40})
            EXPECT_NEAR(target.Picture.data[0][y * target.Picture.linesize[0] + x],
                        source.Picture.data[0][y * source.Picture.linesize[0] + x], 4);
    // Paint the whole bitmap black and write it back: the luma follows.
    c.Bitmap().FillBlack();
    c.CopyBitmapToPicture();
    ASSERT_TRUE(c.FromRGB(target.Picture, AV_PIX_FMT_YUV420P, 48, 64));
    EXPECT_NEAR(target.Picture.data[0][20 * target.Picture.linesize[0] + 30], 16, 3);
}
