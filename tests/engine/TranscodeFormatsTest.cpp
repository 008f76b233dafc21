// Every output format of the converter from generated sources: the output
// decodes, has the codec, rate and channels asked for, and lasts as long as
// the source (within one encoder frame plus the encoder's priming).
#include "TranscodeTestSupport.h"

namespace {

struct TFormatCase {
    const char* Extension;
    const char* Codec;           // "" lets the container choose
    const char* ExpectedCodec;   // as ffprobe names it
    int Rate;
    int Channels;
    int BitRate;
    const char* ExtOptions;
    double Tolerance;            // seconds: one encoder frame plus priming
};

const TFormatCase Cases[] = {
    {"wav", "pcm_s16le", "pcm_s16le", 44100, 2, -1, "", 0.001},
    {"wav", "pcm_s24le", "pcm_s24le", 48000, 2, -1, "", 0.001},
    {"wav", "pcm_s32le", "pcm_s32le", 44100, 1, -1, "", 0.001},
    {"mp3", "libmp3lame", "mp3", 44100, 2, 112000, "", 0.08},
    {"wma", "wmav2", "wmav2", 44100, 2, 128000, "", 0.1},
    {"ogg", "libvorbis", "vorbis", 44100, 2, -1, "aq=4.97", 0.08},
    {"aac", "aac", "aac", 44100, 2, 256000, "", 0.08},
    {"m4a", "", "aac", 48000, 2, 128000, "", 0.08},
    {"flac", "flac", "flac", 44100, 2, -1, "compression_level=8", 0.001},
    {"mp2", "mp2", "mp2", 44100, 2, 192000, "", 0.08},
};

class TranscodeFormatsTest : public TranscodeTest, public ::testing::WithParamInterface<TFormatCase> {};

TOutputOptions Record(const TFormatCase& c) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = c.Codec;
    o.AudioSampleRate = c.Rate;
    o.AudioChannels = c.Channels;
    o.AudioBitrate = c.BitRate;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    o.ExtOptions = c.ExtOptions;
    return o;
}

} // namespace

TEST_P(TranscodeFormatsTest, ConvertsWavMp3AndFlacSources) {
    const TFormatCase& c = GetParam();
    const std::string wav = ToneWav("src.wav", 3.0, 44100, 2);
    const std::string mp3 = dir.File("src.mp3");
    WriteTone(WidePath(mp3), "libmp3lame", 44100, 2, 3.0);
    const std::string flac = dir.File("src.flac");
    WriteTone(WidePath(flac), "flac", 48000, 1, 3.0);
    int n = 0;
    for (const std::string& source : {wav, mp3, flac}) {
        SCOPED_TRACE(source);
        const std::string name = "out" + std::to_string(n++) + "." + c.Extension;
        Open({source}, Record(c), name, "vn=1");
        ASSERT_EQ(Run(), "");
        EXPECT_TRUE(task->Completed);
        EXPECT_FALSE(task->Failed);
        task.reset();

        const TProbed p = Probe(Out(name));
        EXPECT_EQ(p.Get("codec_name"), c.ExpectedCodec);
        EXPECT_EQ(p.Int("sample_rate"), c.Rate);
        EXPECT_EQ(p.Int("channels"), c.Channels);
        const TDecoded decoded = DecodeFile(Out(name), AV_SAMPLE_FMT_FLT);
        ASSERT_EQ(decoded.SampleRate, c.Rate);
        const double seconds = static_cast<double>(decoded.Samples()) / decoded.SampleRate;
        EXPECT_NEAR(seconds, 3.0, c.Tolerance + 0.06) << "decoded samples " << decoded.Samples();
        // A tone, not silence: the decoded signal carries energy.
        double energy = 0;
        for (float s : decoded.Float()) energy += s * s;
        EXPECT_GT(energy / std::max<size_t>(1, decoded.Float().size()), 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(EightFormats, TranscodeFormatsTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) {
                             return std::string(info.param.Extension) + "_" +
                                    (info.param.Codec[0] ? info.param.Codec : "default");
                         });
