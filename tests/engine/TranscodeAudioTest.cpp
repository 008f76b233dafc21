// The audio output path on known samples: exact copies, resampling, channel
// changes, format changes, the volume change and the sync methods.
#include <cmath>
#include <cstring>
#include <fstream>

#include "CapturedLog.h"
#include "FFPtr.h"
#include "TranscodeTestSupport.h"

namespace {

// A WAV file with exactly these sample bytes (format tag 1 integer PCM, 3 float).
void WriteRawWav(const std::string& path, int tag, int bits, int channels, int rate, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + static_cast<uint32_t>(data.size()));
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(tag);
    u16(channels);
    u32(rate);
    u32(rate * channels * bits / 8);
    u16(channels * bits / 8);
    u16(bits);
    out.write("data", 4);
    u32(static_cast<uint32_t>(data.size()));
    out.write(reinterpret_cast<const char*>(data.data()), data.size());
}

template <typename T>
std::vector<uint8_t> Repeat(const std::vector<T>& pattern, int times) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < times; ++i)
        for (T v : pattern) {
            const auto* p = reinterpret_cast<const uint8_t*>(&v);
            bytes.insert(bytes.end(), p, p + sizeof v);
        }
    return bytes;
}

TOutputOptions Pcm16(int rate, int channels) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = "pcm_s16le";
    o.AudioSampleRate = rate;
    o.AudioChannels = channels;
    o.DisableVideo = o.DisableSubtitle = true;
    return o;
}

// Matroska with 16-bit mono PCM whose time stamps jump forward by `gap`
// seconds after `before` seconds; every sample has the value 1000.
void WriteGapFile(const std::string& path, double before, double gap, double after) {
    const int first = static_cast<int>(before * 44100 / 1024);
    const int64_t jump = static_cast<int64_t>(gap * 44100);
    WritePcmMatroska(
        path, first + static_cast<int>(after * 44100 / 1024),
        [&](int i) { return static_cast<int64_t>(i) * 1024 + (i >= first ? jump : 0); },
        [](int64_t) { return int16_t{1000}; });
}

} // namespace

using TranscodeAudioTest = TranscodeTest;

TEST_F(TranscodeAudioTest, LosslessPathsKeepEverySample) {
    const std::string src = ToneWav("src.wav", 2.0, 44100, 2);
    const TDecoded source = DecodeFile(src, AV_SAMPLE_FMT_S16);
    ASSERT_EQ(source.Samples(), 88200);

    Open({src}, Pcm16(44100, 2), "same.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(DecodeFile(Out("same.wav"), AV_SAMPLE_FMT_S16).Bytes, source.Bytes);

    TOutputOptions flac = Pcm16(-1, -1);
    flac.AudioCodec = "flac";
    Open({src}, flac, "lossless.flac");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(DecodeFile(Out("lossless.flac"), AV_SAMPLE_FMT_S16).Bytes, source.Bytes);
}

TEST_F(TranscodeAudioTest, ResamplesAndRemixes) {
    const std::string src48 = ToneWav("src48.wav", 2.0, 48000, 2);
    Open({src48}, Pcm16(44100, 2), "44k.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    const TDecoded resampled = DecodeFile(Out("44k.wav"), AV_SAMPLE_FMT_S16);
    EXPECT_EQ(resampled.SampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(resampled.Samples()), 88200.0, 32.0);

    const std::string mono = ToneWav("mono.wav", 1.0, 44100, 1);
    Open({mono}, Pcm16(44100, 2), "stereo.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    const TDecoded stereo = DecodeFile(Out("stereo.wav"), AV_SAMPLE_FMT_S16);
    ASSERT_EQ(stereo.Channels, 2);
    EXPECT_NEAR(static_cast<double>(stereo.Samples()), 44100.0, 32.0);
    const std::vector<int16_t> s = stereo.S16();
    int16_t peak = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        ASSERT_EQ(s[i], s[i + 1]) << "left and right differ at " << i / 2;
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s[i])));
    }
    EXPECT_GT(peak, 1000);

    const std::string two = ToneWav("two.wav", 1.0, 44100, 2);
    Open({two}, Pcm16(44100, 1), "one.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    const TDecoded down = DecodeFile(Out("one.wav"), AV_SAMPLE_FMT_S16);
    EXPECT_EQ(down.Channels, 1);
    EXPECT_NEAR(static_cast<double>(down.Samples()), 44100.0, 32.0);
}

TEST_F(TranscodeAudioTest, FloatToS16IsOneExactReformat) {
    const std::vector<float> pattern = {0.25f, -0.5f, 0.0f, 0.125f};
    WriteRawWav(Out("float.wav"), 3, 32, 2, 44100, Repeat(pattern, 22050));
    CapturedLog log(llDebug);
    Open({Out("float.wav")}, Pcm16(44100, 2), "s16.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    const std::vector<int16_t> s = DecodeFile(Out("s16.wav"), AV_SAMPLE_FMT_S16).S16();
    ASSERT_EQ(s.size(), 88200u);
    for (size_t i = 0; i < s.size(); i += 4) {
        ASSERT_EQ(s[i], 8192);
        ASSERT_EQ(s[i + 1], -16384);
        ASSERT_EQ(s[i + 2], 0);
        ASSERT_EQ(s[i + 3], 4096);
    }
    // No resampler was needed, so its warning never came.
    for (const std::string& line : log.Lines())
        EXPECT_EQ(line.find("intermediate sample format"), std::string::npos) << line;
}

TEST_F(TranscodeAudioTest, SampleRateChangeMidwayIsFollowed) {
    WriteTone(WidePath(Out("a.mp2")), "mp2", 48000, 2, 1.0);
    WriteTone(WidePath(Out("b.mp2")), "mp2", 32000, 2, 1.0);
    {
        std::ofstream joined(Out("ab.mp2"), std::ios::binary);
        joined << std::ifstream(Out("a.mp2"), std::ios::binary).rdbuf();
        joined << std::ifstream(Out("b.mp2"), std::ios::binary).rdbuf();
    }
    CapturedLog log(llInfo);
    Open({Out("ab.mp2")}, Pcm16(44100, 2), "ab.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    int changes = 0;
    for (const std::string& line : log.Lines())
        if (line.rfind("Input stream #0.0 frame changed from rate:48000 fmt:", 0) == 0) ++changes;
    EXPECT_EQ(changes, 1);
    const TDecoded out = DecodeFile(Out("ab.wav"), AV_SAMPLE_FMT_S16);
    EXPECT_NEAR(static_cast<double>(out.Samples()) / 44100, 2.0, 0.1);
}

TEST_F(TranscodeAudioTest, VolumeOnS16Samples) {
    WriteRawWav(Out("known.wav"), 1, 16, 1, 44100, Repeat(std::vector<int16_t>{20000, -20000, 1001, -1001}, 4410));
    TOutputOptions louder = Pcm16(44100, 1);
    louder.AudioVolume = 512;
    Open({Out("known.wav")}, louder, "louder.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    std::vector<int16_t> s = DecodeFile(Out("louder.wav"), AV_SAMPLE_FMT_S16).S16();
    ASSERT_EQ(s.size(), 17640u);
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 2002);
    EXPECT_EQ(s[3], -2002);

    TOutputOptions quieter = Pcm16(44100, 1);
    quieter.AudioVolume = 128;
    Open({Out("known.wav")}, quieter, "quieter.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    s = DecodeFile(Out("quieter.wav"), AV_SAMPLE_FMT_S16).S16();
    ASSERT_EQ(s.size(), 17640u);
    EXPECT_EQ(s[0], 10000);
    EXPECT_EQ(s[2], 501);
    EXPECT_EQ(s[3], -500);
}

TEST_F(TranscodeAudioTest, VolumeOnFloatSamplesKeepsTheirFormat) {
    // A float source is scaled as float: doubled and clipped to full scale,
    // not reinterpreted as 16-bit integers.
    WriteRawWav(Out("float.wav"), 3, 32, 1, 44100, Repeat(std::vector<float>{0.25f, -0.6f, 0.9f, -0.1f}, 4410));
    TOutputOptions louder = Pcm16(44100, 1);
    louder.AudioVolume = 512;
    Open({Out("float.wav")}, louder, "louder.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    const std::vector<int16_t> s = DecodeFile(Out("louder.wav"), AV_SAMPLE_FMT_S16).S16();
    ASSERT_EQ(s.size(), 17640u);
    for (size_t i = 0; i < s.size(); i += 4) {
        ASSERT_EQ(s[i], 16384);
        ASSERT_EQ(s[i + 1], -32768);
        ASSERT_EQ(s[i + 2], 32767);
        ASSERT_NEAR(s[i + 3], -6554, 1);
    }
}

TEST_F(TranscodeAudioTest, SyncMethodOneFillsGapsWithSilence) {
    WriteGapFile(Out("gap.mkv"), 1.0, 0.5, 1.0);
    TOutputOptions o = Pcm16(44100, 1);
    o.AudioSync = 1;
    Open({Out("gap.mkv")}, o, "filled.wav");
    ASSERT_EQ(task->Opt.AudioSyncMethod, 1);
    ASSERT_EQ(Run(), "");
    task.reset();
    const std::vector<int16_t> s = DecodeFile(Out("filled.wav"), AV_SAMPLE_FMT_S16).S16();
    EXPECT_NEAR(static_cast<double>(s.size()) / 44100, 2.5, 0.05);
    // Silence sits where the input had no samples, the signal around it.
    ASSERT_GT(s.size(), 90000u);
    EXPECT_EQ(s[44100 + 11025], 0);
    EXPECT_EQ(s[22050], 1000);
    EXPECT_EQ(s[s.size() - 100], 1000);

    // Without sync the gap closes up.
    Open({Out("gap.mkv")}, Pcm16(44100, 1), "closed.wav");
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_NEAR(static_cast<double>(DecodeFile(Out("closed.wav"), AV_SAMPLE_FMT_S16).Samples()) / 44100, 2.0, 0.05);
}
