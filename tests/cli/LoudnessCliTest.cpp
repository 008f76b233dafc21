// tembrio-convert's loudness options as a user runs them: the measured
// loudness on each file's line, the ReplayGain in --info, the album gain of
// --normalize-album, and the targets --normalize takes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "TestSupport.h"

namespace {

class LoudnessCliTest : public LibrariesTest {
protected:
    TempDir dir_, src_, out_;
};

} // namespace

// Of an MP3, and of a WAV, whose ID3 chunk the media libraries do not read.
TEST_F(LoudnessCliTest, ReplayGainIsShownWhenConvertingAndInTheInfo) {
    const std::string source = src_.File("sine.wav");
    WriteSignalWav(source, 48000, 2, 10, SineAt(-23, 1000, 48000));
    for (const std::string format : {"mp3", "wav"}) {
        SCOPED_TRACE(format);
        const std::string output = "sine." + format;
        const CliResult r = RunConvert({"--replaygain", "-f", format, "-o", out_.Path(), source}, dir_);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        // "Finish: … sine.mp3 (-23.0 LUFS, peak -23.0 dBTP)"
        double lufs = 0, peak = 0;
        const size_t line = r.out.find(output + " (");
        ASSERT_NE(line, std::string::npos) << r.out;
        ASSERT_EQ(std::sscanf(r.out.c_str() + line + output.size(), " (%lf LUFS, peak %lf dBTP)\n", &lufs, &peak), 2)
            << r.out;
        // Within the meter's 0.1 LU and the line's rounding.
        EXPECT_NEAR(lufs, -23, 0.15);
        EXPECT_NEAR(peak, -23, 0.15);

        const CliResult info = RunConvert({"--info", out_.File(output)}, dir_);
        ASSERT_EQ(info.exitCode, 0) << info.err;
        double gain = 0, linear = 0;
        const size_t tags = info.out.find("ReplayGain.TrackGain: ");
        ASSERT_NE(tags, std::string::npos) << info.out;
        ASSERT_EQ(std::sscanf(info.out.c_str() + tags, "ReplayGain.TrackGain: %lf dB\nReplayGain.TrackPeak: %lf\n",
                              &gain, &linear), 2)
            << info.out;
        EXPECT_NEAR(gain, 5, 0.1);
        EXPECT_NEAR(linear, std::pow(10.0, -23.0 / 20), 0.001);
        EXPECT_EQ(info.out.find("ReplayGain.AlbumGain"), std::string::npos) << info.out;
    }
}

TEST_F(LoudnessCliTest, NormalizeTakesOnlyItsFourTargetsAndReplayGainOnlyAudioFormats) {
    for (const char* target : {"-12", "-16.5", "loud", ""}) {
        const CliResult r = RunConvert({std::string("--normalize=") + target, "a.wav"}, dir_);
        EXPECT_EQ(r.exitCode, 2) << target;
        EXPECT_NE(r.err.find(std::string("--normalize takes -23, -18, -16 or -14 (LUFS), not '") + target + "'"),
                  std::string::npos)
            << r.err;
    }
    const CliResult album = RunConvert({"--normalize-album=-12", "a.wav"}, dir_);
    EXPECT_EQ(album.exitCode, 2);
    EXPECT_NE(album.err.find("--normalize-album takes -23, -18, -16 or -14 (LUFS), not '-12'"), std::string::npos)
        << album.err;
    const CliResult both = RunConvert({"--normalize=-16", "--normalize-album=-16", "a.wav"}, dir_);
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("--normalize and --normalize-album exclude each other"), std::string::npos) << both.err;
    const CliResult video = RunConvert({"--replaygain", "-f", "mkv", "a.wav"}, dir_);
    EXPECT_EQ(video.exitCode, 2);
    EXPECT_NE(video.err.find("--replaygain needs an audio format: the tags of mkv are written before its sound "
                             "is measured"),
              std::string::npos)
        << video.err;
}

// The two files of an album each say the one gain they were given.
TEST_F(LoudnessCliTest, NormalizeAlbumShowsTheAlbumGainOnEachLine) {
    std::vector<std::string> sources;
    for (const double dbfs : {-23.0, -33.0}) {
        sources.push_back(src_.File("song" + std::to_string(sources.size()) + ".wav"));
        WriteSignalWav(sources.back(), 48000, 2, 3, SineAt(dbfs, 1000, 48000), {{"IPRD", "Album"}});
    }
    const CliResult r = RunConvert({"--normalize-album=-16", "-f", "flac", "-o", out_.Path(), sources[0], sources[1]},
                                   dir_);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // Equal lengths at -23 and -33 LUFS: -25.6 LUFS as one programme.
    const double album = 10 * std::log10((std::pow(10.0, -2.3) + std::pow(10.0, -3.3)) / 2);
    for (const char* output : {"song0.flac", "song1.flac"}) {
        const size_t line = r.out.find(std::string(output) + " (");
        ASSERT_NE(line, std::string::npos) << r.out;
        const size_t gain = r.out.find(", album gain ", line);
        ASSERT_LT(gain, r.out.find('\n', line)) << r.out;
        double db = 0;
        ASSERT_EQ(std::sscanf(r.out.c_str() + gain, ", album gain %lf dB)", &db), 1) << r.out;
        EXPECT_NEAR(db, -16 - album, 0.1) << output;
    }
}
