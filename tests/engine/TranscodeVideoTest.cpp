// The video output path on generated pictures: how the clocks decide what is
// written, the frame limit, a picture size that changes in the middle, the
// disc targets, the filter chain and deinterlacing.
#include <cstdio>
#include <sstream>

#include "CapturedLog.h"
#include "FFPtr.h"
#include "VideoPath.h"
#include "VideoTestSupport.h"

namespace {

bool AnyLineHas(CapturedLog& log, const std::string& text) {
    for (const std::string& line : log.Lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

class TranscodeVideoTest : public TranscodeTest {
protected:
    // Pictures at 0, 440, 460, 470 and 480 ms. At 10 frames a second the one
    // at 440 ms comes 3.4 frames after the first, and the one at 480 ms 1.2
    // frames before the next frame to write once the others are written.
    std::string GapsAndBursts() {
        TFixtureFrames video;
        for (int64_t t : {0, 440, 460, 470, 480}) video.Frames.push_back({t});
        WriteVideoFrames(WidePath(Out("gaps.mkv")), video);
        return Out("gaps.mkv");
    }
    std::string Clip(double seconds) {
        TFixtureMedia m;
        m.Seconds = seconds;
        m.Video.push_back(TFixtureVideo{});
        WriteMedia(WidePath(Out("clip.mkv")), m);
        return Out("clip.mkv");
    }
    // Ten pictures of 160x120, then ten of 320x240, at 10 a second.
    std::string SizeChange() {
        TFixtureFrames video;
        for (int i = 0; i < 20; ++i) video.Frames.push_back({i * 100, i < 10 ? 160 : 320, i < 10 ? 120 : 240});
        WriteVideoFrames(WidePath(Out("sizes.mkv")), video);
        return Out("sizes.mkv");
    }
};

TEST_F(TranscodeVideoTest, DuplicateAndDropFollowTheClock) {
    const std::string src = GapsAndBursts();
    CapturedLog log(llVerbose);
    TOutputOptions o = VideoOutput("mpeg4");
    o.FrameRate = "10";
    o.VideoSync = 1;
    o.ExtOptions = "v=3";
    Open({src}, o, "sync1.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(log.Count("*** 2 dup!"), 1u);
    EXPECT_EQ(log.Count("*** drop!"), 1u);
    EXPECT_TRUE(AnyLineHas(log, "dup=2 drop=1"));
    EXPECT_EQ(DecodeVideoFile(Out("sync1.avi")).Frames, 6);  // 1 + 3 + 1 + 1, the last dropped

    // Variable frame rate: a late picture moves the output clock instead.
    log.Clear();
    o.VideoSync = 2;
    Open({src}, o, "sync2.mkv");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_FALSE(AnyLineHas(log, "dup!"));
    EXPECT_EQ(log.Count("*** drop!"), 2u);
    const std::vector<double> expected{0.0, 0.4, 0.5};
    EXPECT_EQ(DecodeVideoFile(Out("sync2.mkv")).Times, expected);
}

TEST_F(TranscodeVideoTest, FrameLimitEndsTheRun) {
    const std::string src = Clip(5.0);  // 125 pictures
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = "vframes=100";
    Open({src}, o, "limited.avi");
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    const TVideoDecoded out = DecodeVideoFile(Out("limited.avi"));
    EXPECT_EQ(out.Frames, 100);
    EXPECT_EQ(out.Errors, 0);
}

TEST_F(TranscodeVideoTest, SizeChangeIsScaledOrEndsAnUnscaledRun) {
    const std::string src = SizeChange();
    const std::string line = "Input Stream #0.0 frame size changed to 320x240, rgb24";
    CapturedLog log(llQuiet);
    // The pictures are scaled anyway (RGB into the encoder's YUV): the new size is too.
    TOutputOptions o = VideoOutput("mpeg4");
    o.FrameRate = "10";
    Open({src}, o, "scaled.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(log.Count(line), 1u);
    const TVideoDecoded scaled = DecodeVideoFile(Out("scaled.avi"));
    EXPECT_EQ(scaled.Frames, 20);
    EXPECT_EQ(ProbeVideo(Out("scaled.avi")).Int("width"), 160);
    EXPECT_EQ(ProbeVideo(Out("scaled.avi")).Int("height"), 120);

    // PNG takes the decoded RGB pictures as they are, so nothing can adapt them.
    log.Clear();
    Open({src}, VideoOutput("png"), "unscaled.mkv");
    const std::string text = Run();
    EXPECT_EQ(log.Count(line), 1u);
    EXPECT_NE(text.find("whose pictures changed to 320x240"), std::string::npos) << text;
    EXPECT_TRUE(task->Failed);
}

// A damaged stream may claim no picture format or an impossible size; the
// library aborts the process when asked to scale those, so no scaler is made.
TEST_F(TranscodeVideoTest, NoScalerForAPictureThatCannotBeScaled) {
    const int flags = SWS_BICUBIC;
    EXPECT_TRUE(SwsContextPtr(NewScaler(64, 48, AV_PIX_FMT_YUV420P, 32, 24, AV_PIX_FMT_RGB24, flags)));
    EXPECT_FALSE(SwsContextPtr(NewScaler(64, 48, AV_PIX_FMT_NONE, 32, 24, AV_PIX_FMT_YUV420P, flags)));
    EXPECT_FALSE(SwsContextPtr(NewScaler(64, 1296433176, AV_PIX_FMT_YUV420P, 32, 24, AV_PIX_FMT_YUV420P, flags)));
    EXPECT_FALSE(SwsContextPtr(NewScaler(64, 48, AV_PIX_FMT_YUV420P, 0, 24, AV_PIX_FMT_YUV420P, flags)));
}

TEST_F(TranscodeVideoTest, TargetsGiveTheirCodecsSizeAndRate) {
    TFixtureMedia m;
    m.Seconds = 2.0;
    m.Audio.push_back(TFixtureAudio{});
    m.Video.push_back(TFixtureVideo{});
    WriteMedia(WidePath(Out("clip.mkv")), m);
    struct TCase {
        int Type, Norm;
        const char* Name;
        const char* Video;
        int Width, Height;
        const char* Rate;
        const char* Audio;
        int MinFrames;
    };
    for (const TCase& c : {TCase{1, 1, "vcd.mpg", "mpeg1video", 352, 288, "25/1", "mp2", 50},
                           TCase{3, 2, "dvd.mpg", "mpeg2video", 720, 480, "30000/1001", "ac3", 59}}) {
        SCOPED_TRACE(c.Name);
        TOutputOptions o;
        ResetOutputOptions(o);
        o.TargetType = c.Type;
        o.TargetNorm = c.Norm;
        o.DisableSubtitle = true;
        Open({Out("clip.mkv")}, o, c.Name);
        ASSERT_EQ(Run(), "");
        task.reset();
        const TProbed video = ProbeVideo(Out(c.Name));
        EXPECT_EQ(video.Get("codec_name"), c.Video);
        EXPECT_EQ(video.Int("width"), c.Width);
        EXPECT_EQ(video.Int("height"), c.Height);
        EXPECT_EQ(video.Get("r_frame_rate"), c.Rate);
        EXPECT_EQ(Probe(Out(c.Name)).Get("codec_name"), c.Audio);
        const TVideoDecoded pictures = DecodeVideoFile(Out(c.Name));
        EXPECT_GE(pictures.Frames, c.MinFrames);
        EXPECT_EQ(pictures.Errors, 0);
        const TDecoded sound = DecodeFile(Out(c.Name), AV_SAMPLE_FMT_S16);
        EXPECT_NEAR(static_cast<double>(sound.Samples()) / sound.SampleRate, 2.0, 0.1);
    }
}

TEST_F(TranscodeVideoTest, FilterChainActs) {
    const std::string src = Clip(1.0);
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = "vf=hflip\nqscale=2";
    Open({src}, o, "flipped.avi");
    ASSERT_EQ(Run(), "");
    task.reset();
    const TVideoDecoded out = DecodeVideoFile(Out("flipped.avi"));
    EXPECT_EQ(out.Frames, 25);
    // The white bar of the left edge is now at the right.
    EXPECT_LT(out.Pixel(3, 30).G, 100);
    EXPECT_GT(out.Pixel(out.Width - 4, 30).G, 200);

    o.ExtOptions = "vf=nosuchfilter";
    Open({src}, o, "refused.avi");
    EXPECT_EQ(Run().rfind("Error opening filters: ", 0), 0u);
}

TEST_F(TranscodeVideoTest, DeinterlacingBlendsTheFields) {
    TFixtureFrames combed;
    combed.Encoder = "ffv1";  // 4:2:0 and lossless
    combed.Combed = true;
    for (int i = 0; i < 5; ++i) combed.Frames.push_back({i * 40});
    WriteVideoFrames(WidePath(Out("combed.mkv")), combed);
    auto lineContrast = [&](const std::string& name) {
        const TVideoDecoded out = DecodeVideoFile(Out(name));
        EXPECT_EQ(out.Frames, 5);
        return out.Frames ? std::abs(out.RowMean(30) - out.RowMean(31)) : 0.0;
    };
    Open({Out("combed.mkv")}, VideoOutput("ffv1"), "kept.mkv");
    ASSERT_EQ(Run(), "");
    task.reset();
    TOutputOptions o = VideoOutput("ffv1");
    o.ExtOptions = "deinterlace=1";
    Open({Out("combed.mkv")}, o, "deinterlaced.mkv");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_GT(lineContrast("kept.mkv"), 30.0);
    EXPECT_LT(lineContrast("deinterlaced.mkv"), 10.0);

    // RGB pictures cannot be deinterlaced: they are encoded as they are.
    combed.Encoder = "png";
    WriteVideoFrames(WidePath(Out("combed-rgb.mkv")), combed);
    CapturedLog log(llError);
    Open({Out("combed-rgb.mkv")}, o, "rgb.mkv");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(log.Count("Deinterlacing failed."), 5u);
    EXPECT_EQ(DecodeVideoFile(Out("rgb.mkv")).Frames, 5);
}

// The encoder's own figures reach the status line and the statistics file:
// its quality, the PSNR of each plane, and a line per coded picture with its
// type.
TEST_F(TranscodeVideoTest, StatisticsFollowTheEncoder) {
    const std::string src = Clip(1.0);  // 25 pictures
    CapturedLog log(llVerbose);
    TOutputOptions o = VideoOutput("mpeg4");
    o.ExtOptions = "psnr=1\nqphist=1\nvstats_file=" + Out("stats.log");
    Open({src}, o, "stats.avi");
    ASSERT_EQ(Run(), "");
    task.reset();

    std::string status;
    for (const std::string& line : log.Lines())
        if (line.find("frame=") == 0 && line.find(" L") != std::string::npos) status = line;
    ASSERT_FALSE(status.empty());
    float quality = -1;
    ASSERT_EQ(std::sscanf(status.c_str(), "frame=%*d fps=%*d q=%f", &quality), 1) << status;
    EXPECT_GT(quality, 0) << status;
    // The QP histogram follows "L": 32 counters, each as the hex digit of its log2.
    const std::string histogram = status.substr(status.find(" L") + 2, 32);
    EXPECT_EQ(histogram.find_first_not_of("0123456789ABCDEF"), std::string::npos) << status;
    EXPECT_NE(histogram.find_first_not_of('0'), std::string::npos) << status;
    EXPECT_NE(status.find("PSNR=Y:"), std::string::npos) << status;
    EXPECT_EQ(status.find("inf"), std::string::npos) << status;

    std::istringstream stats(ReadTextFile(Out("stats.log")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(stats, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 25u);
    int frame = 0;
    float q = 0, psnr = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "frame= %d q= %f PSNR= %f", &frame, &q, &psnr), 3) << lines[0];
    EXPECT_EQ(frame, 1);
    EXPECT_GT(q, 0);
    EXPECT_GT(psnr, 20);
    EXPECT_NE(lines[0].find("type= I"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("type= P"), std::string::npos) << lines[1];
}

TEST_F(TranscodeVideoTest, ForcedKeyFramesFallWhereAsked) {
    const std::string src = Clip(1.0);  // 25 pictures
    TOutputOptions o = VideoOutput("mpeg4");
    // One group of pictures for the whole clip: only the forced times start another.
    o.ExtOptions = "g=250\nforce_key_frames=0.52\nvstats_file=" + Out("keys.log");
    Open({src}, o, "keys.avi");
    ASSERT_EQ(Run(), "");
    task.reset();

    std::istringstream stats(ReadTextFile(Out("keys.log")));
    std::vector<int> keyFrames;
    for (std::string line; std::getline(stats, line);) {
        int frame = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "frame= %d", &frame), 1) << line;
        if (line.find("type= I") != std::string::npos) keyFrames.push_back(frame);
    }
    // 0.52 s is the 14th picture at 25 a second.
    EXPECT_EQ(keyFrames, (std::vector<int>{1, 14}));
}
