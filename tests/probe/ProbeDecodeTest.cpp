// Seeking, single-picture decoding and the thumbnail bitmap.
#include <cstdlib>

#include "Exception.h"
#include "FFDecode.h"
#include "ProbeTestSupport.h"

namespace {

// The bitmap shows the fixture's pattern at (x, y): checks orientation and skew.
void ExpectPattern(const TBitmap& bmp, int x, int y) {
    ASSERT_EQ(bmp.BitsPixel, 24);
    TPatternColour want = PatternColourAt(x, y, bmp.Width, bmp.Height);
    const uint8_t* p = bmp.ScanLine(y) + x * 3;  // B, G, R
    EXPECT_NEAR(p[2], want.R, 40) << "red at " << x << "," << y;
    EXPECT_NEAR(p[1], want.G, 40) << "green at " << x << "," << y;
    EXPECT_NEAR(p[0], want.B, 40) << "blue at " << x << "," << y;
}

// Points well inside each region of the pattern (away from chroma edges).
void ExpectPatternEverywhere(const TBitmap& bmp) {
    int bar = std::max(1, bmp.Width / 8);
    for (int y : {2, bmp.Height / 4, bmp.Height * 3 / 4, bmp.Height - 3}) {
        ExpectPattern(bmp, 0, y);
        ExpectPattern(bmp, bar / 2, y);
        ExpectPattern(bmp, bar + 4, y);
        ExpectPattern(bmp, bmp.Width - 2, y);
    }
}

}  // namespace

TEST_F(ProbeTest, SeekToTheMiddleAndDecode) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-audio.mp4")));
    EXPECT_EQ(probe.CurrentStream(), probe.FirstVideoStream());
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    int64_t middle = f.Duration / 2;
    ASSERT_TRUE(probe.Seek(0, middle)) << probe.LastErrMsg();
    ASSERT_TRUE(probe.DecodeVideoFrame()) << probe.LastErrMsg();
    EXPECT_TRUE(probe.PictureReady());
    // Seeks land on a key frame next to the position; key frames are 12 pictures apart.
    EXPECT_NEAR(probe.FramePTS(), middle, 12 * 40000);
    EXPECT_TRUE(probe.KeyFrame());
    EXPECT_EQ(probe.PictureType(), AV_PICTURE_TYPE_I);
    EXPECT_EQ(probe.PacketStreamIndex(), probe.FirstVideoStream());
    EXPECT_GT(probe.PacketPosition(), 0);
    EXPECT_EQ(probe.PictureWidth(), 160);
    EXPECT_EQ(probe.PictureHeight(), 120);
    EXPECT_EQ(probe.PicturePixelFormat(), AV_PIX_FMT_YUV420P);

    int64_t first = probe.FramePTS();
    ASSERT_TRUE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.FramePTS(), first + 40000);
    EXPECT_EQ(probe.PrevFramePTS(), first);

    TBitmap bmp;
    ASSERT_TRUE(probe.CopyToBitmap(bmp));
    EXPECT_EQ(bmp.Width, 160);
    EXPECT_EQ(bmp.Height, 120);
    ExpectPatternEverywhere(bmp);
}

TEST_F(ProbeTest, OddSizedPictureIsConvertedUprightWithoutSkew) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"odd-size.mkv")));
    ASSERT_TRUE(probe.DecodeVideoFrame()) << probe.LastErrMsg();
    TBitmap bmp;
    ASSERT_TRUE(probe.CopyToBitmap(bmp));
    EXPECT_EQ(bmp.Width, 101);
    EXPECT_EQ(bmp.Height, 75);
    EXPECT_EQ(bmp.Stride, 304);  // 303 bytes rounded up to whole 32-bit words
    ExpectPatternEverywhere(bmp);
}

TEST_F(ProbeTest, SeekToZeroOrBeforeGoesToTheStart) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-only.mkv")));
    ASSERT_TRUE(probe.Seek(0, 1500000));
    ASSERT_TRUE(probe.DecodeVideoFrame());
    EXPECT_GT(probe.FramePTS(), 1000000);
    for (int64_t position : {int64_t{0}, int64_t{-5000000}}) {
        ASSERT_TRUE(probe.Seek(0, position)) << probe.LastErrMsg();
        EXPECT_FALSE(probe.PictureReady());
        ASSERT_TRUE(probe.DecodeVideoFrame());
        EXPECT_EQ(probe.FramePTS(), 0);
        ASSERT_TRUE(probe.DecodeVideoFrame());  // move on, so the next seek must go back
    }
}

// Every picture comes out once (ffprobe counts the same), then the end is reported
// and stays reported until the next seek.
TEST_F(ProbeTest, DecodingPastTheLastPicture) {
    std::wstring name = Fixture(L"video-only.mkv");
    auto ref = FFprobe(Narrow(name), "stream=nb_read_frames", 0, "-count_frames");
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(name));
    int pictures = 0;
    int64_t last = -1;
    while (probe.DecodeVideoFrame()) {
        EXPECT_GT(probe.FramePTS(), last);
        last = probe.FramePTS();
        ++pictures;
        ASSERT_LT(pictures, 1000);
    }
    EXPECT_EQ(pictures, ProbeNumber(ref, "nb_read_frames"));
    EXPECT_EQ(probe.LastErrMsg(), "stream eof reached.");
    EXPECT_TRUE(Logged(llInfo, "stream eof reached."));
    EXPECT_TRUE(probe.EndOfStream());

    log_.clear();
    EXPECT_FALSE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.LastErrMsg(), "stream eof reached.");
    EXPECT_TRUE(Logged(llInfo, "stream eof reached."));

    ASSERT_TRUE(probe.Seek(0, 0));
    EXPECT_FALSE(probe.EndOfStream());
    EXPECT_TRUE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.FramePTS(), 0);
}

TEST_F(ProbeTest, BitmapBeforeDecoding) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-only.mkv"))) << probe.LastErrMsg();
    TBitmap bmp;
    EXPECT_FALSE(probe.CopyToBitmap(bmp));
    EXPECT_EQ(probe.LastErrMsg(), "picture not ready, please decode first");
    EXPECT_TRUE(Logged(llError, "picture not ready, please decode first"));
}

class ProbeStillImage : public ProbeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProbeStillImage, DecodesOnceAndKeepsThePicture) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"picture.png"), GetParam())) << probe.LastErrMsg();
    ASSERT_TRUE(probe.DecodeVideoFrame()) << probe.LastErrMsg();
    // Later calls do not read: the stored picture stays.
    ASSERT_TRUE(probe.DecodeVideoFrame());
    ASSERT_TRUE(probe.DecodeVideoFrame());
    EXPECT_FALSE(probe.EndOfStream());
    TBitmap bmp;
    ASSERT_TRUE(probe.CopyToBitmap(bmp));
    EXPECT_EQ(bmp.Width, 65);
    EXPECT_EQ(bmp.Height, 49);
    ExpectPatternEverywhere(bmp);

    EXPECT_FALSE(probe.Seek(0, 0));
    EXPECT_EQ(probe.LastErrMsg(), "\"image2\" format cannot to be seeked.");
    EXPECT_TRUE(Logged(llInfo, "\"image2\" format cannot to be seeked."));
}

INSTANTIATE_TEST_SUITE_P(Formats, ProbeStillImage, ::testing::Values("", "image2"),
                         [](const auto& info) {
                             return std::string(info.param).empty() ? "Detected" : "Image2";
                         });

TEST_F(ProbeTest, DecodeStreamChoiceErrors) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.Seek(0, 0) == false);
    EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");

    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone.mp3")));
    EXPECT_FALSE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.LastErrMsg(), "no video stream.");
    EXPECT_EQ(probe.CurrentStream(), probe.FirstAudioStream());
    EXPECT_TRUE(probe.Seek(0, 500000)) << probe.LastErrMsg();

    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-audio.mp4")));
    int audio = probe.FirstAudioStream();
    EXPECT_FALSE(probe.DecodeVideoFrame(audio));
    EXPECT_EQ(probe.LastErrMsg(), "stream #" + std::to_string(audio) + " is not video stream.");
    EXPECT_FALSE(probe.DecodeVideoFrame(5));
    EXPECT_EQ(probe.LastErrMsg(), "stream index #5 is invalid.");
    EXPECT_TRUE(probe.DecodeVideoFrame(probe.FirstVideoStream()));
}

// Decoding a file, closing it and decoding another reuses nothing stale.
TEST_F(ProbeTest, ReloadingResetsTheDecoder) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-only.mkv")));
    ASSERT_TRUE(probe.DecodeVideoFrame());
    ASSERT_TRUE(probe.LoadFile(Fixture(L"odd-size.mkv")));
    EXPECT_FALSE(probe.PictureReady());
    EXPECT_EQ(probe.VideoStream(), -1);
    ASSERT_TRUE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.PictureWidth(), 101);
    probe.CloseFile();
    EXPECT_EQ(probe.CurrentStream(), -1);
    EXPECT_FALSE(probe.PictureReady());
}
