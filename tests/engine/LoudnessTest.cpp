// The loudness of what the encoder is given: the reference signals of EBU
// Tech 3341 measure at their level, after resampling too, and a gain is given
// to the samples before their conversion into the encoder's format.
#include <cmath>

#include "LoudnessMeter.h"
#include "TranscodeTestSupport.h"

namespace {

// A measured stereo audio output.
TOutputOptions Record(const char* codec, int rate) {
    TOutputOptions o = AudioRecord(codec, rate);
    o.MeasureLoudness = true;
    return o;
}

class LoudnessTest : public TranscodeTest {
protected:
    // A 1 kHz sine in both channels at `dbfs`, at 48 kHz.
    std::string Sine(const std::string& name, double dbfs, double seconds) {
        const std::string path = dir.File(name);
        WriteSignalWav(path, 48000, 2, seconds, SineAt(dbfs, 1000, 48000));
        return path;
    }
};

} // namespace

// Stereo 1 kHz sines of 20 s at -23 and -33 dBFS are -23.0 and -33.0 LUFS, and
// their true peak is their level: measured at 48 kHz, and at 44.1 kHz after
// the resampler.
TEST_F(LoudnessTest, TheReferenceSinesMeasureAtTheirLevel) {
    struct TCase {
        double Level;
        const char* Codec;
        int Rate;
        const char* Output;
    };
    for (const TCase& c : {TCase{-23, "flac", 48000, "a.flac"}, TCase{-33, "libmp3lame", 44100, "b.mp3"}}) {
        SCOPED_TRACE(c.Output);
        Open({Sine("sine.wav", c.Level, 20)}, Record(c.Codec, c.Rate), c.Output);
        ASSERT_EQ(RunTask(), "");
        const TLoudness& measured = task->Loudness;
        ASSERT_TRUE(measured.Measured);
        EXPECT_NEAR(measured.Integrated, c.Level, 0.1);
        EXPECT_NEAR(DecibelsOf(measured.TruePeak), c.Level, 0.1);
        EXPECT_EQ(measured.Gain, 0);
        ASSERT_TRUE(measured.Meter);
        // The meter kept for an album holds the same programme.
        EXPECT_DOUBLE_EQ(TLoudnessMeter::Integrated({measured.Meter.get()}), measured.Integrated);
        task.reset();
    }
}

// The gain comes before the samples are converted into the encoder's format:
// a float source above full scale brought down by 6 dB keeps its waveform in
// 16-bit samples (not clipped first), and the loudness measured is the
// output's, with the gain.
TEST_F(LoudnessTest, TheGainIsGivenBeforeTheConversionAndMeasuredWithIt) {
    const std::string source = Sine("loud.wav", 20 * std::log10(1.5), 2);
    TOutputOptions record = Record("pcm_s16le", 48000);
    record.AudioGain = 20 * std::log10(0.5);
    Open({source}, record, "out.wav");
    ASSERT_EQ(RunTask(), "");
    EXPECT_NEAR(DecibelsOf(task->Loudness.TruePeak), 20 * std::log10(0.75), 0.1);
    EXPECT_DOUBLE_EQ(task->Loudness.Gain, record.AudioGain);
    const TDecoded decoded = DecodeFile(Out("out.wav"), AV_SAMPLE_FMT_FLT);
    const std::vector<float> samples = decoded.Float();
    ASSERT_FALSE(samples.empty());
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 0.75, 0.001);

    task.reset();
    Open({Sine("quiet.wav", -23, 10)}, [] {
        TOutputOptions gained = Record("flac", 44100);
        gained.AudioGain = 7;
        return gained;
    }(), "out.flac");
    ASSERT_EQ(RunTask(), "");
    EXPECT_NEAR(task->Loudness.Integrated, -16, 0.1);
}

// The true peak lies between the samples: a quarter-rate sine sampled 45
// degrees off its crests peaks 3 dB above its samples. It is found also after
// a louder stretch of samples, behind which a meter might think nothing
// higher could come.
TEST(TruePeakTest, ThePeakBetweenTheSamplesIsFound) {
    std::vector<float> samples;
    const auto append = [&](double amplitude, double phase) {
        for (int n = 0; n < 48000; ++n) {
            const auto value = static_cast<float>(amplitude * std::sin(M_PI / 2 * n + phase));
            samples.insert(samples.end(), {value, value});
        }
    };
    append(0.6, M_PI / 2);  // samples on the crests: 0.6
    append(0.8, M_PI / 4);  // samples at 0.566, crests at 0.8 between them
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    TLoudnessMeter meter(stereo, 48000);
    for (size_t at = 0; at < samples.size(); at += 2 * 1000)
        meter.Add(reinterpret_cast<const uint8_t*>(samples.data() + at), 1000, AV_SAMPLE_FMT_FLT);
    // Four points per sample and a filter of twelve samples: within 0.2 dB.
    EXPECT_GT(meter.TruePeak(), 0.79);
    EXPECT_LT(meter.TruePeak(), 0.82);
}
