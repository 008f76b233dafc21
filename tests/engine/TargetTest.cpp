// Target presets: norms, the settings of each disc type, norm detection.
#include "OptionTestSupport.h"

class TargetTest : public TaskTest {
protected:
    AVCodecContext* Video() { return task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO].get(); }
    AVCodecContext* Audio() { return task->Options->CodecDefaults[AVMEDIA_TYPE_AUDIO].get(); }
};

TEST_F(TargetTest, PalVcdNeedsNoFrameRate) {
    CapturedLog log(llInfo);
    task->SetOption("target", " pal-vcd ");
    EXPECT_EQ(task->Opt.VideoCodecName, "mpeg1video");
    EXPECT_EQ(task->Opt.AudioCodecName, "mp2");
    EXPECT_EQ(task->Opt.ForcedFormat, "vcd");
    EXPECT_EQ(task->Opt.FrameWidth, 352);
    EXPECT_EQ(task->Opt.FrameHeight, 288);
    EXPECT_EQ(task->Opt.FrameRate.num, 25);
    EXPECT_EQ(task->Opt.FrameRate.den, 1);
    EXPECT_EQ(Video()->gop_size, 15);
    EXPECT_EQ(Video()->bit_rate, 1150000);
    EXPECT_EQ(Video()->rc_max_rate, 1150000);
    EXPECT_EQ(Video()->rc_buffer_size, 327680);
    EXPECT_EQ(Audio()->bit_rate, 224000);
    EXPECT_EQ(task->Opt.AudioSampleRate, 44100);
    EXPECT_EQ(task->Opt.AudioChannels, 2);
    EXPECT_FLOAT_EQ(task->Opt.MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_EQ(log.Count("Assuming 4:3 for aspect ratio"), 1u);
    EXPECT_FALSE(Logged(log, "for target"));
}

TEST_F(TargetTest, AutoNormNeedsAFrameRate) {
    EXPECT_EQ(RaisedBy("target", "vcd"), "frame_rate is invalid.");
    EXPECT_EQ(task->Opt.VideoCodecName, "");
}

TEST_F(TargetTest, AutoNormFromTheFrameRate) {
    CapturedLog log(llVerbose);
    task->SetOption("r", "25");
    task->SetOption("aspect", "16:9");
    task->SetOption("target", "svcd");
    EXPECT_EQ(log.Count("Assuming PAL for target."), 1u);
    EXPECT_EQ(task->Opt.FrameHeight, 576);
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 16.0f / 9.0f);
    EXPECT_FALSE(Logged(log, "for aspect ratio"));

    log.Clear();
    task->SetOption("r", "ntsc");
    task->SetOption("target", "dvd");
    EXPECT_EQ(log.Count("Assuming NTSC for target."), 1u);
    EXPECT_EQ(task->Opt.FrameHeight, 480);
    EXPECT_EQ(task->Opt.FrameRate.num, 30000);
    EXPECT_EQ(task->Opt.FrameRate.den, 1001);
}

TEST_F(TargetTest, AutoNormFallsBackToNtsc) {
    CapturedLog log(llVerbose);
    task->SetOption("r", "10");
    task->SetOption("target", "dv");
    EXPECT_EQ(log.Count("Assuming NTSC for target."), 1u);
    EXPECT_EQ(task->Opt.FramePixFmt, AV_PIX_FMT_YUV411P);
    EXPECT_EQ(task->Opt.ForcedFormat, "dv");
}

TEST_F(TargetTest, AutoNormFromAnOpenedInput) {
    // An input whose only video stream runs at 25 frames per second.
    AVFormatContext* input = ff::avformat_alloc_context();
    ASSERT_NE(input, nullptr);
    AVStream* audio = ff::avformat_new_stream(input, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    AVStream* video = ff::avformat_new_stream(input, nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->avg_frame_rate = AVRational{25, 1};
    task->InputFiles[0].reset(input);
    task->InputFileCount = 1;

    task->SetOption("r", "10");
    task->SetOption("target", "dv");
    EXPECT_EQ(task->Opt.FrameHeight, 576);
    EXPECT_EQ(task->Opt.FramePixFmt, AV_PIX_FMT_YUV420P);

    task->InputFiles[0].release();  // the test frees its own context
    task->InputFileCount = 0;
    ff::avformat_free_context(input);
}

TEST_F(TargetTest, DiscTypesByNorm) {
    task->SetOption("ac", "1");
    task->SetOption("target", "ntsc-dvd");
    EXPECT_EQ(task->Opt.AudioCodecName, "ac3");
    EXPECT_EQ(task->Opt.FrameWidth, 720);
    EXPECT_EQ(task->Opt.FrameHeight, 480);
    EXPECT_EQ(Video()->gop_size, 18);
    EXPECT_EQ(Video()->rc_max_rate, 9000000);
    EXPECT_EQ(Audio()->bit_rate, 448000);
    EXPECT_EQ(task->Opt.AudioSampleRate, 48000);
    EXPECT_EQ(task->Opt.AudioChannels, 2);
    EXPECT_FLOAT_EQ(task->Opt.FrameAspectRatio, 16.0f / 9.0f);

    task->SetOption("target", "film-dv50");
    EXPECT_EQ(task->Opt.FrameRate.num, 24000);
    EXPECT_EQ(task->Opt.FrameRate.den, 1001);
    EXPECT_EQ(task->Opt.FrameHeight, 480);
    EXPECT_EQ(task->Opt.FramePixFmt, AV_PIX_FMT_YUV422P);

    EXPECT_EQ(RaisedBy("target", "pal-laserdisc"), "Unknown target type");
}
