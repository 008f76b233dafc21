// The resampler as a listener hears it: the treble between 44.1 and 48 kHz,
// what lies above the lower rate's band, and the drift compensation that
// stretches the audio through it.
#include <cmath>

#include "FFPtr.h"
#include "TranscodeTestSupport.h"

namespace {

// RMS of the decoded samples, 0.25 s in from either end, where the filter's
// start and end do not count.
double InnerRms(const TDecoded& decoded) {
    const std::vector<float> s = decoded.Float();
    const size_t edge = static_cast<size_t>(decoded.SampleRate / 4) * decoded.Channels;
    double sum = 0;
    size_t n = 0;
    for (size_t i = edge; i + edge < s.size(); ++i, ++n) sum += static_cast<double>(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0;
}

double Decibels(double rms, double reference) { return 20 * std::log10(std::max(rms, 1e-9) / reference); }

TOutputOptions Pcm16(int rate) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = "pcm_s16le";
    o.AudioSampleRate = rate;
    o.AudioChannels = 1;
    o.DisableVideo = o.DisableSubtitle = true;
    return o;
}

// Matroska with 16-bit mono PCM at 44.1 kHz whose time stamps run 1 % ahead of
// its samples, as from a recorder whose clock drifts.
void WriteDriftingFile(const std::string& path, double seconds) {
    WritePcmMatroska(
        path, static_cast<int>(seconds * 44100 / 1024), [](int i) { return static_cast<int64_t>(i) * 1024 * 101 / 100; },
        [](int64_t n) { return static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * n / 44100)); });
}

} // namespace

using TranscodeResampleTest = TranscodeTest;

TEST_F(TranscodeResampleTest, TheTrebleStaysAndWhatTheLowerRateCannotHoldIsGone) {
    const struct {
        int From, To;
        double Frequency;
        double Low, High;  // the output's level against the source's, in dB
    } rows[] = {
        {44100, 48000, 18000, -1, 1},
        {44100, 48000, 20000, -1, 1},
        {48000, 44100, 18000, -1, 1},
        {48000, 44100, 20000, -1, 1},
        // Above 22.05 kHz: it would fold back into the band as 21.6 kHz.
        {48000, 44100, 22500, -200, -40},
    };
    for (const auto& row : rows) {
        const std::string name = std::to_string(row.From) + "-" + std::to_string(static_cast<int>(row.Frequency));
        SCOPED_TRACE(name + " to " + std::to_string(row.To));
        TFixtureMedia tone;
        tone.FormatName = "wav";
        tone.Seconds = 2.0;
        tone.Audio.push_back({"pcm_s16le", row.From, 1, AV_SAMPLE_FMT_S16, row.Frequency});
        WriteMedia(WidePath(Out(name + ".wav")), tone);
        Open({Out(name + ".wav")}, Pcm16(row.To), name + "-out.wav");
        ASSERT_EQ(Run(), "");
        task.reset();
        const TDecoded source = DecodeFile(Out(name + ".wav"), AV_SAMPLE_FMT_FLT);
        const TDecoded output = DecodeFile(Out(name + "-out.wav"), AV_SAMPLE_FMT_FLT);
        ASSERT_EQ(output.SampleRate, row.To);
        EXPECT_NEAR(static_cast<double>(output.Samples()) / row.To, 2.0, 0.01);
        const double level = Decibels(InnerRms(output), InnerRms(source));
        EXPECT_GE(level, row.Low);
        EXPECT_LE(level, row.High);
    }
}

TEST_F(TranscodeResampleTest, DriftIsCompensatedThroughTheResampler) {
    WriteDriftingFile(Out("drift.mkv"), 4.0);
    const TDecoded source = DecodeFile(Out("drift.mkv"), AV_SAMPLE_FMT_FLT);
    TOutputOptions o = Pcm16(44100);
    o.AudioSync = 1000;
    Open({Out("drift.mkv")}, o, "kept.wav");
    ASSERT_EQ(task->Opt.AudioSyncMethod, 1000);
    ASSERT_EQ(Run(), "");
    task.reset();
    const TDecoded kept = DecodeFile(Out("kept.wav"), AV_SAMPLE_FMT_FLT);
    // The samples stretch towards the clock, 40 ms ahead of them at the end,
    // less the lag the compensation runs with; the tone stays as loud.
    EXPECT_GT(kept.Samples() - source.Samples(), 441 * 2);
    EXPECT_LT(kept.Samples() - source.Samples(), 441 * 4);
    EXPECT_NEAR(Decibels(InnerRms(kept), InnerRms(source)), 0.0, 0.5);
}
