// Every output format of the converter from generated sources: the output
// decodes, has the codec, rate and channels asked for, and lasts as long as
// the source (within one encoder frame plus the encoder's priming; Opus and
// the lossless formats exactly).
#include <cmath>
#include <fstream>

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
    {"opus", "libopus", "opus", 48000, 2, 128000, "", 0.001},
    {"m4a", "alac", "alac", 44100, 2, -1, "", 0.001},
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

INSTANTIATE_TEST_SUITE_P(EveryFormat, TranscodeFormatsTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) {
                             return std::string(info.param.Extension) + "_" +
                                    (info.param.Codec[0] ? info.param.Codec : "default");
                         });

namespace {

// A 16-bit WAV of `samples` samples per channel with a channel mask (so the
// layout is the file's, not a guess from the count): channel `loud` carries a
// 440 Hz tone, the others silence.
void WriteMaskedWav(const std::string& path, int rate, int channels, uint32_t mask, int loud, int64_t samples) {
    std::string data;
    for (int64_t n = 0; n < samples; ++n)
        for (int c = 0; c < channels; ++c) {
            const int16_t v = c == loud ? static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * n / rate)) : 0;
            data += static_cast<char>(v & 0xFF);
            data += static_cast<char>((v >> 8) & 0xFF);
        }
    std::string out;
    auto put = [&out](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    out += "RIFF";
    put(4 + 8 + 40 + 8 + data.size(), 4);
    out += "WAVEfmt ";
    put(40, 4);
    put(0xFFFE, 2);  // WAVE_FORMAT_EXTENSIBLE
    put(channels, 2);
    put(rate, 4);
    put(static_cast<uint64_t>(rate) * channels * 2, 4);
    put(channels * 2, 2);
    put(16, 2);
    put(22, 2);
    put(16, 2);
    put(mask, 4);
    put(1, 4);  // the PCM sub-format GUID
    out += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    out += "data";
    put(data.size(), 4);
    std::ofstream(path, std::ios::binary) << out << data;
}

// The input rate an Opus header names.
uint32_t OpusHeaderInputRate(const std::string& path) {
    const std::string bytes = ReadTextFile(path);
    const size_t at = bytes.find("OpusHead");
    if (at == std::string::npos || at + 16 > bytes.size()) return 0;
    uint32_t rate = 0;
    for (int i = 3; i >= 0; --i) rate = rate << 8 | static_cast<unsigned char>(bytes[at + 12 + i]);
    return rate;
}

} // namespace

// Opus codes at 48 kHz in frames of 20 ms, and its encoder starts with a
// delay: the header's pre-skip and the end's granule position must trim them
// so that a decoder gives back exactly the source's samples, neither the
// delay nor the padding of the last frame. A surround source keeps its
// channels where Opus names them: 5.1 with side channels becomes Opus's 5.1
// with back ones, and 4.0 (a centre in front and one behind) becomes quad,
// its centres shared by the speakers beside them. The header names the
// source's rate.
TEST_F(TranscodeTest, OpusGivesBackExactlyTheSourcesSamples) {
    const struct {
        const char* Name;
        int Rate, Channels;
        uint32_t Mask;
        int Loud;             // the source's channel with the tone
        unsigned Heard;       // the output's channels with the tone, as bits
        int64_t Samples;      // at the source's rate; the last Opus frame is never full
        int64_t At48k;
    } cases[] = {
        {"mono.wav", 44100, 1, 0x4, 0, 0x1, 66591, 72480},
        {"side51.wav", 48000, 6, 0x60F, 4, 0x10, 59057, 59057},
        {"four.wav", 48000, 4, 0x107, 2, 0x3, 59057, 59057},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteMaskedWav(dir.File(c.Name), c.Rate, c.Channels, c.Mask, c.Loud, c.Samples);
        TOutputOptions o;
        ResetOutputOptions(o);
        o.AudioCodec = "libopus";
        o.AudioSampleRate = 48000;
        o.AudioBitrate = 64000 * c.Channels;
        o.DisableVideo = o.DisableSubtitle = true;
        const std::string name = std::string(c.Name) + ".opus";
        Open({dir.File(c.Name)}, o, name, "vn=1");
        ASSERT_EQ(RunTask(), "");  // the output check included
        task.reset();

        const TDecoded decoded = DecodeFile(Out(name), AV_SAMPLE_FMT_S16);
        EXPECT_EQ(decoded.SampleRate, 48000);
        ASSERT_EQ(decoded.Channels, c.Channels);
        EXPECT_EQ(decoded.Samples(), c.At48k);
        EXPECT_EQ(OpusHeaderInputRate(Out(name)), static_cast<uint32_t>(c.Rate));
        // The tone stays in its channel: in FL FR FC LFE BL BR order for 5.1.
        const std::vector<int16_t> samples = decoded.S16();
        std::vector<double> energy(c.Channels);
        for (size_t i = 0; i < samples.size(); ++i) energy[i % c.Channels] += double(samples[i]) * samples[i];
        for (int ch = 0; ch < c.Channels; ++ch) {
            const double mean = energy[ch] / decoded.Samples();
            if (c.Heard & (1u << ch)) EXPECT_GT(mean, 1e6) << ch;
            else EXPECT_LT(mean, 1e4) << ch;
        }
    }
}
