// What a task lets others do with its pictures: the video hooks, frame hook
// modules, the preview, and the statistics of two-pass encoding.
#include <cstring>
#include <fstream>

#include "CapturedLog.h"
#include "VideoTestSupport.h"

namespace {

// The red top half of the test picture, right of the white bar.
bool Red(const TVideoDecoded::TRgb& p) { return p.R > 150 && p.G < 100 && p.B < 100; }
bool White(const TVideoDecoded::TRgb& p) { return p.R > 200 && p.G > 200 && p.B > 200; }

} // namespace

class VideoHooksTest : public TranscodeTest {
protected:
    std::string Clip() {
        TFixtureMedia m;
        m.Seconds = 1.0;  // 25 pictures
        m.Video.push_back(TFixtureVideo{});
        WriteMedia(WidePath(Out("clip.mkv")), m);
        return Out("clip.mkv");
    }
};

TEST_F(VideoHooksTest, HandlersChangePicturesOrAreSkipped) {
    const std::string src = Clip();
    CapturedLog log(llError);
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = "qscale=2";
    Open({src}, o, "hooked.avi");
    int inputCalls = 0, outputCalls = 0;
    // The input hook paints the first picture white and then wants no more.
    task->VideoInputHookRelay = [&](TCustomFFmpeg*, TBitmap* bitmap, bool& update, bool& stop, int64_t, int number) {
        ++inputCalls;
        EXPECT_EQ(number, 1);
        EXPECT_TRUE(update);
        std::memset(bitmap->Bits.data(), 255, bitmap->Bits.size());
        stop = true;
    };
    // The output hook fails on every picture; the pictures go on unchanged.
    task->VideoOutputHookRelay = [&](TCustomFFmpeg*, TBitmap* bitmap, bool&, bool&, int64_t, int) {
        ++outputCalls;
        std::memset(bitmap->Bits.data(), 0, bitmap->Bits.size());
        throw Exception("no thanks");
    };
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(inputCalls, 1);
    EXPECT_EQ(outputCalls, 25);
    EXPECT_EQ(log.Count("Error occurs VideoHook event: no thanks"), 25u);
    const TVideoDecoded out = DecodeVideoFile(Out("hooked.avi"));
    ASSERT_EQ(out.Frames, 25);
    EXPECT_TRUE(White(out.Pixel(80, 30)));
}

TEST_F(VideoHooksTest, FrameHookModulePaintsThePictures) {
    const std::string src = Clip();
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = std::string("qscale=2\nvhook=") + TEMBRIO_HOOK_MODULE + " paint";
    Open({src}, o, "painted.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    const TVideoDecoded painted = DecodeVideoFile(Out("painted.avi"));
    ASSERT_EQ(painted.Frames, 25);
    EXPECT_TRUE(White(painted.Pixel(80, 30)));
    EXPECT_TRUE(White(painted.Pixel(80, 90)));

    Open({src}, VideoOutput("mpeg4"), "plain.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_TRUE(Red(DecodeVideoFile(Out("plain.avi")).Pixel(80, 30)));
}

TEST_F(VideoHooksTest, PreviewAtMostOncePerInterval) {
    const std::string src = Clip();
    Open({src}, VideoOutput("mpeg4"), "previewed.avi");
    int pictures = 0;
    task->PreviewBitmapRelay = [&](TCustomFFmpeg*, const TBitmap* bitmap, int64_t pts, int number) {
        ++pictures;
        EXPECT_EQ(bitmap->Width, 160);
        EXPECT_EQ(bitmap->Height, 120);
        EXPECT_EQ(pts, 0);
        EXPECT_EQ(number, 1);
    };
    task->PreviewIntervalUs = 3600000000LL;
    // Bit 1 (the event) goes before bit 0 (the window, which nobody can show here).
    task->SetPreviewFlags(3);
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(task->CurrentPreviewFlags(), 3);

    Open({src}, VideoOutput("mpeg4"), "windowed.avi");
    task->SetPreviewFlags(1);
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(task->CurrentPreviewFlags(), 0);  // no window could be made
}

TEST_F(VideoHooksTest, TwoPassesShareTheirLog) {
    const std::string src = Clip();
    const std::string prefix = Out("stats");
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = "b=200000\npass=1\npasslogfile=" + prefix;
    Open({src}, o, "pass1.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_FALSE(ReadTextFile(prefix + "-0.log").empty());

    o.ExtOptions = "b=200000\npass=2\npasslogfile=" + prefix;
    Open({src}, o, "pass2.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(DecodeVideoFile(Out("pass2.avi")).Frames, 25);

    o.ExtOptions = "pass=2\npasslogfile=" + Out("missing");
    Open({src}, o, "nolog.avi");
    EXPECT_EQ(Run(), "Cannot read file: Error reading log file \"" + Out("missing") +
                         "-0.log\" for pass-2 encoding");

    // A name of 1024 characters or more is cut to 1023.
    const std::string longPrefix = Out(std::string(1100, 'p'));
    o.ExtOptions = "pass=1\npasslogfile=" + longPrefix;
    Open({src}, o, "longname.avi");
    EXPECT_EQ(Run(), "Cannot write log file " + longPrefix.substr(0, 1023) + " for pass-1 encoding");
}
