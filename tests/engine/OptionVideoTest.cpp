// Picture and sample options: rate, size, aspect, pixel and sample formats,
// the removed crop and pad options, quality, matrices and codec tags.
#include "OptionTestSupport.h"

using OptionVideoTest = TaskTest;

TEST_F(OptionVideoTest, FrameRateAndSize) {
    task->SetOption("r", "30000/1001");
    EXPECT_EQ(task->Opt.FrameRate.num, 30000);
    EXPECT_EQ(task->Opt.FrameRate.den, 1001);
    task->SetOption("r", "");
    EXPECT_EQ(task->Opt.FrameRate.num, 30000);
    EXPECT_EQ(RaisedBy("r", "fast"), "Incorrect frame rate");
    task->SetOption("s", "640x480");
    EXPECT_EQ(task->Opt.FrameWidth, 640);
    EXPECT_EQ(task->Opt.FrameHeight, 480);
    task->SetOption("s", "hd720");
    EXPECT_EQ(task->Opt.FrameWidth, 1280);
    EXPECT_EQ(RaisedBy("s", "big"), "Incorrect frame size");
    EXPECT_EQ(task->Opt.FrameHeight, 720);
}

TEST_F(OptionVideoTest, AspectRatios) {
    task->SetOption("aspect", "16:9");
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 16.0f / 9.0f);
    task->SetOption("aspect", "1.5");
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 1.5f);
    const std::string incorrect = "Incorrect aspect ratio specification.";
    EXPECT_EQ(RaisedBy("aspect", "4:0"), incorrect);
    EXPECT_EQ(RaisedBy("aspect", "4:-3"), incorrect);
    EXPECT_EQ(RaisedBy("aspect", "wide"), incorrect);
    EXPECT_EQ(RaisedBy("aspect", "x:3"), incorrect);
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 1.5f);
}

TEST_F(OptionVideoTest, PixelFormats) {
    task->SetOption("pix_fmt", "yuv422p");
    EXPECT_EQ(task->Opt.FramePixFmt, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(RaisedBy("pix_fmt", "yuv999"), "Unknown pixel format requested: yuv999");
    CapturedLog log(llInfo);
    task->SetOption("pix_fmt", "list");
    const auto lines = log.Lines();
    ASSERT_GT(lines.size(), 60u);
    EXPECT_EQ(lines[0].rfind("name", 0), 0u) << lines[0];
    EXPECT_TRUE(Logged(log, "yuv420p"));
    for (const std::string& line : lines) EXPECT_EQ(line, TrimText(line));
    EXPECT_EQ(task->Opt.FramePixFmt, AV_PIX_FMT_YUV422P);
}

TEST_F(OptionVideoTest, SampleFormats) {
    task->SetOption("sample_fmt", "s16");
    EXPECT_EQ(task->Opt.AudioSampleFmt, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(RaisedBy("sample_fmt", "s17"), "Invalid sample format \"s17\"");
    CapturedLog log(llInfo);
    task->SetOption("sample_fmt", "list");
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(AV_SAMPLE_FMT_NB) + 1);
    EXPECT_EQ(lines[0].rfind("name", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("u8", 0), 0u) << lines[1];
}

TEST_F(OptionVideoTest, CropAndPadWereRemoved) {
    for (const char* name : {"croptop", "cropbottom", "cropleft", "cropright"})
        EXPECT_EQ(RaisedBy(name, "8"), "Removed, use the crop filter instead") << name;
    for (const char* name : {"padtop", "padbottom", "padleft", "padright", "padcolor"})
        EXPECT_EQ(RaisedBy(name, "8"), "Removed, use the pad filter instead") << name;
}

TEST_F(OptionVideoTest, QscaleBounds) {
    const std::string bounds = "qscale must be > 0.0 and <= 255";
    EXPECT_EQ(RaisedBy("qscale", "0"), bounds);
    EXPECT_EQ(RaisedBy("qscale", "256"), bounds);
    EXPECT_EQ(RaisedBy("qscale", "-3"), bounds);
    EXPECT_EQ(RaisedBy("qscale", "high"), "'high' is not a valid floating point value");
    task->SetOption("qscale", "255");
    EXPECT_FLOAT_EQ(task->Opt.VideoQscale, 255.0f);
    task->SetOption("qscale", "2.5");
    EXPECT_FLOAT_EQ(task->Opt.VideoQscale, 2.5f);
    task->SetOption("rc_override", "0,100,-2");
    EXPECT_EQ(task->Opt.VideoRcOverride, "0,100,-2");
}

TEST_F(OptionVideoTest, MatricesNeedSixtyFourCoefficients) {
    std::string value;
    for (int i = 1; i <= 64; ++i) value += (i > 1 ? "," : "") + std::to_string(i * 2);
    task->SetOption("intra_matrix", value);
    ASSERT_NE(task->Opt.IntraMatrix, nullptr);
    EXPECT_EQ((*task->Opt.IntraMatrix)[0], 2);
    EXPECT_EQ((*task->Opt.IntraMatrix)[63], 128);
    EXPECT_EQ(task->Opt.InterMatrix, nullptr);

    const std::string short63 = value.substr(0, value.rfind(','));
    EXPECT_EQ(RaisedBy("inter_matrix", short63), Format("Syntax error in matrix \"%s\" at coeff 62", short63));
    // Extra items after the 64th are not read.
    task->SetOption("inter_matrix", value + ",999,x");
    EXPECT_EQ((*task->Opt.InterMatrix)[63], 128);
    // Each use starts from zeros.
    EXPECT_EQ(RaisedBy("intra_matrix", "5,6"), "Syntax error in matrix \"5,6\" at coeff 1");
    EXPECT_EQ((*task->Opt.IntraMatrix)[0], 5);
    EXPECT_EQ((*task->Opt.IntraMatrix)[2], 0);
}

TEST_F(OptionVideoTest, CodecTagsAreNumbersOrFourCharacters) {
    task->SetOption("atag", "mp4a");
    EXPECT_EQ(task->Opt.AudioCodecTag & 0xFF, 'm');
    EXPECT_EQ((task->Opt.AudioCodecTag >> 8) & 0xFF, 'p');
    EXPECT_EQ((task->Opt.AudioCodecTag >> 16) & 0xFF, '4');
    EXPECT_EQ((task->Opt.AudioCodecTag >> 24) & 0xFF, 'a');
    task->SetOption("atag", "255");
    EXPECT_EQ(task->Opt.AudioCodecTag, 255);
    task->SetOption("atag", "");
    EXPECT_EQ(task->Opt.AudioCodecTag, 255);
    EXPECT_EQ(RaisedBy("atag", "mp3"), "tag parameter must be 4 chars or int value");
    task->SetOption("vtag", "XVID");
    EXPECT_EQ(task->Opt.VideoCodecTag, MKTAG('X', 'V', 'I', 'D'));
    try {
        task->SetTag("xtag", "1");
        FAIL() << "no exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), "Invalid tag parmeter xtag");
    }
}

TEST_F(OptionVideoTest, VideoFiltersKeepTheLastNonEmptyChain) {
    task->SetOption("vf", "scale=320:240");
    task->SetOption("vfilters", "");
    EXPECT_EQ(task->Opt.VideoFilters, "scale=320:240");
    task->SetOption("vfilters", "hflip");
    EXPECT_EQ(task->Opt.VideoFilters, "hflip");
}
