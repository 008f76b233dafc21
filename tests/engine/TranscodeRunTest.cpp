// The run as a whole: limits, stop requests, joined inputs, sources with
// video, stream copy, and damaged inputs.
#include <cstdio>
#include <fstream>
#include <thread>

#include "TranscodeTestSupport.h"

namespace {

TOutputOptions Audio(const std::string& codec, int rate = 44100, int channels = 2) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = codec;
    o.AudioSampleRate = rate;
    o.AudioChannels = channels;
    o.DisableVideo = o.DisableSubtitle = true;
    return o;
}

double DecodedSeconds(const std::string& path) {
    const TDecoded d = DecodeFile(path, AV_SAMPLE_FMT_S16);
    return d.SampleRate ? static_cast<double>(d.Samples()) / d.SampleRate : 0.0;
}

} // namespace

using TranscodeRunTest = TranscodeTest;

TEST_F(TranscodeRunTest, StopInTheMiddleStillFinalisesTheOutput) {
    const std::string src = ToneWav("long.wav", 20.0);
    Open({src}, Audio("libmp3lame"), "stopped.mp3");
    task->ProgressIntervalUs = 0;
    task->ProgressRelay = [](TCustomFFmpeg* sender, int, int, int, float, float, int64_t, int64_t current, int64_t) {
        if (current >= 2000000 && current < 1000000000000) sender->StopRequested = true;
    };
    ASSERT_EQ(Run(), "");
    EXPECT_FALSE(task->Completed);
    EXPECT_FALSE(task->Failed);
    task.reset();
    const double seconds = DecodedSeconds(Out("stopped.mp3"));
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 10.0);
    EXPECT_NEAR(Probe(Out("stopped.mp3")).Number("duration"), seconds, 0.2);
}

TEST_F(TranscodeRunTest, StopFromAnotherThreadEndsTheRun) {
    const std::string src = ToneWav("long.wav", 30.0);
    Open({src}, Audio("flac"), "stopped.flac");
    task->StopRequested = true;  // asked before the loop starts: nothing is read
    std::thread worker([&] { EXPECT_EQ(Run(), ""); });
    worker.join();
    EXPECT_FALSE(task->Completed);
    task.reset();
    EXPECT_EQ(DecodedSeconds(Out("stopped.flac")), 0.0);
    EXPECT_EQ(Probe(Out("stopped.flac")).Get("codec_name"), "flac");
}

TEST_F(TranscodeRunTest, RecordingAndStartTimesCutTheOutput) {
    const std::string src = ToneWav("five.wav", 5.0);
    TOutputOptions o = Audio("pcm_s16le");
    o.StartTime = 1000000;
    o.RecordingTime = 2000000;
    Open({src}, o, "cut.wav");
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    EXPECT_NEAR(DecodedSeconds(Out("cut.wav")), 2.0, 0.05);
}

TEST_F(TranscodeRunTest, FileSizeLimitEndsNormally) {
    const std::string src = ToneWav("ten.wav", 10.0);
    TOutputOptions o = Audio("pcm_s16le");
    o.ExtOptions = "fs=200000";
    Open({src}, o, "limited.wav");
    ASSERT_EQ(task->Opt.LimitFileSize, 200000u);
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    std::ifstream f(Out("limited.wav"), std::ios::binary | std::ios::ate);
    const auto size = static_cast<int64_t>(f.tellg());
    EXPECT_GE(size, 200000);
    EXPECT_LT(size, 400000);
    EXPECT_NEAR(DecodedSeconds(Out("limited.wav")), (size - 44) / 176400.0, 0.05);
}

TEST_F(TranscodeRunTest, JoinedInputsContinueInOneFile) {
    const std::string a = ToneWav("a.wav", 1.0);
    const std::string b = ToneWav("b.wav", 2.0);
    TOutputOptions o = Audio("pcm_s16le");
    o.Join = true;
    Open({a, b}, o, "joined.wav");
    ASSERT_TRUE(task->JoinMode);
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    EXPECT_EQ(DecodeFile(Out("joined.wav"), AV_SAMPLE_FMT_S16).Samples(), 3 * 44100);

    o.AudioCodec = "libmp3lame";
    Open({a, b}, o, "joined.mp3");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_NEAR(DecodedSeconds(Out("joined.mp3")), 3.0, 0.2);
    EXPECT_NEAR(Probe(Out("joined.mp3")).Number("duration"), 3.0, 0.2);
    EXPECT_EQ(ProbeStreamCount(Out("joined.mp3"), "audio"), 1);
}

TEST_F(TranscodeRunTest, VideoSourceToMp3TakesTheAudioOnly) {
    TFixtureMedia m;
    m.FormatName = "matroska";
    m.Seconds = 2.0;
    m.Audio.push_back(TFixtureAudio{});
    m.Video.push_back(TFixtureVideo{});
    WriteMedia(WidePath(Out("clip.mkv")), m);
    TOutputOptions o = Audio("libmp3lame");
    o.DisableVideo = false;
    Open({Out("clip.mkv")}, o, "clip.mp3", "vn=1");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(ProbeStreamCount(Out("clip.mp3"), "video"), 0);
    EXPECT_EQ(ProbeStreamCount(Out("clip.mp3"), "audio"), 1);
    EXPECT_NEAR(DecodedSeconds(Out("clip.mp3")), 2.0, 0.15);
}

TEST_F(TranscodeRunTest, VideoIsCopiedOrEncodedBesideTheAudio) {
    TFixtureMedia m;
    m.FormatName = "matroska";
    m.Seconds = 2.0;
    m.Audio.push_back(TFixtureAudio{});
    m.Video.push_back(TFixtureVideo{});
    WriteMedia(WidePath(Out("clip.mkv")), m);

    for (const char* codec : {"copy", "mpeg4"}) {
        SCOPED_TRACE(codec);
        TOutputOptions o = Audio("libvorbis");
        o.DisableVideo = false;
        o.VideoCodec = codec;
        const std::string name = std::string(codec) + ".mkv";
        Open({Out("clip.mkv")}, o, name);
        ASSERT_EQ(Run(), "");
        EXPECT_TRUE(task->Completed);
        task.reset();
        EXPECT_EQ(ProbeStreamCount(Out(name), "video"), 1);
        EXPECT_EQ(ProbeStreamCount(Out(name), "audio"), 1);
        EXPECT_NEAR(DecodedSeconds(Out(name)), 2.0, 0.1);
    }
}

TEST_F(TranscodeRunTest, DamagedInputsEndWithoutCrashOrHang) {
    const std::string mp3 = Out("src.mp3");
    WriteTone(WidePath(mp3), "libmp3lame", 44100, 2, 4.0);
    std::string bytes;
    {
        std::ifstream in(mp3, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    // Truncated in the middle.
    std::ofstream(Out("truncated.mp3"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    // Garbage over a stretch in the middle.
    std::string corrupt = bytes;
    for (size_t i = corrupt.size() / 3; i < corrupt.size() / 3 + 4000 && i < corrupt.size(); ++i)
        corrupt[i] = static_cast<char>((i * 7919) & 0xFF);
    std::ofstream(Out("corrupt.mp3"), std::ios::binary) << corrupt;

    for (const char* name : {"truncated.mp3", "corrupt.mp3"}) {
        SCOPED_TRACE(name);
        Open({Out(name)}, Audio("pcm_s16le"), std::string(name) + ".wav");
        const std::string text = Run();
        if (!text.empty()) {
            EXPECT_TRUE(task->Failed);
            continue;
        }
        EXPECT_TRUE(task->Completed);
        task.reset();
        const double seconds = DecodedSeconds(Out(std::string(name) + ".wav"));
        EXPECT_GT(seconds, 1.0);
        EXPECT_LT(seconds, 4.2);
    }
}

TEST_F(TranscodeRunTest, AudioStreamCopyKeepsThePackets) {
    WriteTone(WidePath(Out("src.mp3")), "libmp3lame", 44100, 2, 2.0);
    TOutputOptions o = Audio("copy", -1, -1);
    Open({Out("src.mp3")}, o, "copy.mka");
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    EXPECT_EQ(Probe(Out("copy.mka")).Get("codec_name"), "mp3");
    EXPECT_EQ(ProbePacketCount(Out("copy.mka")), ProbePacketCount(Out("src.mp3")));
    // The MP3 container trims the encoder's priming; Matroska keeps it (one frame).
    EXPECT_NEAR(DecodedSeconds(Out("copy.mka")), DecodedSeconds(Out("src.mp3")), 1152.0 / 44100);

    o.AudioVolume = 512;
    Open({Out("src.mp3")}, o, "copyvol.mka");
    EXPECT_EQ(Run(), "-acodec copy and -vol are incompatible (frames are not decoded)");
    EXPECT_TRUE(task->Failed);
}
