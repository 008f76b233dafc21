// Loudness in a batch: normalising to a target (a measuring pass, then the
// conversion with the gain, less where the true peak would pass -1 dBTP) and
// the album gain of the files of one album, checked with ffprobe and the
// ffmpeg tool's own R128 meter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "BatchRun.h"
#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class TRecorder : public TBatchListener {
public:
    void Started(size_t index, const std::string&) override { ++started_[index]; }
    void Finished(const TBatchFileEnd& end) override {
        ends_[end.Index] = end;
        events_.push_back("finished " + std::to_string(end.Index));
    }
    void AlbumTagged(const TBatchAlbum& album) override {
        albums_.push_back(album);
        events_.push_back("album");
    }
    // The place of `event` among the events; -1 when it did not come.
    int At(const std::string& event) const {
        const auto found = std::find(events_.begin(), events_.end(), event);
        return found == events_.end() ? -1 : static_cast<int>(found - events_.begin());
    }
    std::map<size_t, int> started_;
    std::map<size_t, TBatchFileEnd> ends_;
    std::vector<TBatchAlbum> albums_;
    std::vector<std::string> events_;
};

// What the ffmpeg tool's R128 meter finds in a file: integrated loudness and true peak.
struct TReference {
    double Integrated = NAN;
    double TruePeak = NAN;
};

// Of several files: of them played one after the other, as one programme.
TReference ReferenceLoudness(const std::vector<std::string>& paths) {
    std::string inputs, joined;
    for (size_t i = 0; i < paths.size(); ++i) {
        inputs += " -i " + ShellQuote(paths[i]);
        joined += "[" + std::to_string(i) + ":a]";
    }
    const std::string filter = joined + "concat=n=" + std::to_string(paths.size()) + ":v=0:a=1,ebur128=peak=true";
    std::istringstream lines(CommandOutput("ffmpeg -hide_banner -nostats" + inputs + " -filter_complex " +
                                           ShellQuote(filter) + " -f null - 2>&1"));
    TReference found;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word;
        words >> word;
        double value = NAN;
        if (word == "I:" && words >> value) found.Integrated = value;
        if (word == "Peak:" && words >> value) found.TruePeak = value;
    }
    return found;
}

// A tag of the file as ffprobe reads it.
std::string ProbedTag(const std::string& path, const std::string& key) {
    std::string text = CommandOutput("ffprobe -v error -show_entries format_tags=" + key + " -of csv=p=0 " +
                                     ShellQuote(path));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class BatchLoudnessTest : public LibrariesTest {
protected:
    // A 1 kHz stereo sine at `dbfs`, with `every` > 0 a click of `click` each
    // that many samples; RIFF INFO tags.
    std::string Signal(const std::string& name, double dbfs, double seconds,
                       const std::map<std::string, std::string>& info = {}, int every = 0, double click = 0) {
        const std::string path = src_.File(name);
        fs::create_directories(fs::path(path).parent_path());
        const auto sine = SineAt(dbfs, 1000, 48000);
        WriteSignalWav(path, 48000, 2, seconds, [&](int64_t n) {
            if (every > 0 && n % every == every / 2) return click;
            return sine(n);
        }, info);
        return path;
    }
    TBatchSettings Settings() {
        TBatchSettings settings;
        settings.Format = 6;  // FLAC: what the meters read is what was encoded
        settings.Preset = 5;
        settings.Jobs = 2;
        return settings;
    }
    TempDir src_, out_;
};

} // namespace

// A quiet file is brought to -16 LUFS; one whose clicks leave less room below
// -1 dBTP gets only the gain that room allows, and says so. Each is started
// once, however many passes it takes.
TEST_F(BatchLoudnessTest, NormalisingBringsEachFileToTheTargetUnderThePeakCeiling) {
    TRecorder recorder;
    TBatchSettings settings = Settings();
    settings.Loudness.NormaliseTo = -16;
    TBatchRun run(settings, recorder);
    ASSERT_TRUE(run.Append({Signal("quiet.wav", -30, 10), out_.Path()}));
    ASSERT_TRUE(run.Append({Signal("clicks.wav", -30, 10, {}, 12000, 0.5), out_.Path()}));
    const TBatchSummary summary = run.Run();
    ASSERT_EQ(summary.Converted, 2u);

    const TBatchFileEnd& quiet = recorder.ends_[0];
    EXPECT_EQ(quiet.Notice, "");
    EXPECT_NEAR(quiet.Loudness.Gain, 14, 0.1);
    EXPECT_NEAR(quiet.Loudness.Integrated, -16, 0.1);
    const TReference quietOut = ReferenceLoudness({out_.File("quiet.flac")});
    EXPECT_NEAR(quietOut.Integrated, -16, 0.5);
    EXPECT_LE(quietOut.TruePeak, -1);

    const TBatchFileEnd& clicks = recorder.ends_[1];
    EXPECT_NE(clicks.Notice.find("so that its true peak stays at -1 dBTP"), std::string::npos) << clicks.Notice;
    EXPECT_LT(clicks.Loudness.Gain, 10);
    EXPECT_NEAR(DecibelsOf(clicks.Loudness.TruePeak), -1, 0.1);
    const TReference clicksOut = ReferenceLoudness({out_.File("clicks.flac")});
    EXPECT_LE(clicksOut.TruePeak, -1);
    EXPECT_LT(clicksOut.Integrated, -20);
    for (size_t i : {0u, 1u}) EXPECT_EQ(recorder.started_[i], 1) << i;
}

// Normalising albums: the files of an album get one gain, which brings the
// album as a whole to the target and keeps their levels relative to each
// other, unless a file of the album has too little room below -1 dBTP; a file
// of no album beside them gets a gain of its own.
TEST_F(BatchLoudnessTest, NormalisingAlbumsGivesTheFilesOfAnAlbumOneGain) {
    TRecorder recorder;
    TBatchSettings settings = Settings();
    settings.Loudness.NormaliseTo = -16;
    settings.Loudness.NormaliseAlbums = true;
    TBatchRun run(settings, recorder);
    const std::map<std::string, std::string> album = {{"IPRD", "An Album"}}, loud = {{"IPRD", "Loud"}};
    // The second album's quieter file has clicks at -6 dBFS.
    const std::vector<std::string> sources = {Signal("album/a.wav", -23, 6, album), Signal("album/b.wav", -33, 6, album),
                                              Signal("album/alone.wav", -30, 6), Signal("loud/c.wav", -20, 6, loud),
                                              Signal("loud/d.wav", -30, 6, loud, 12000, 0.5)};
    for (const std::string& source : sources) ASSERT_TRUE(run.Append({source, out_.Path()}));
    ASSERT_EQ(run.Run().Converted, 5u);
    for (size_t i = 0; i < sources.size(); ++i) EXPECT_EQ(recorder.started_[i], 1) << i;

    // Each output's loudness less its source's: the gain it was given.
    std::vector<double> given;
    for (const std::string& source : sources) {
        const std::string output = out_.File(fs::path(source).stem().string() + ".flac");
        const TReference measured = ReferenceLoudness({output});
        EXPECT_LE(measured.TruePeak, -1) << output;
        given.push_back(measured.Integrated - ReferenceLoudness({source}).Integrated);
    }
    const TBatchFileEnd &a = recorder.ends_[0], &b = recorder.ends_[1], &alone = recorder.ends_[2],
                        &c = recorder.ends_[3], &d = recorder.ends_[4];
    EXPECT_EQ(a.GainOfAlbum, "An Album");
    EXPECT_EQ(b.GainOfAlbum, "An Album");
    EXPECT_EQ(a.Loudness.Gain, b.Loudness.Gain);
    EXPECT_NEAR(given[0], given[1], 0.2);
    EXPECT_NEAR(ReferenceLoudness({out_.File("a.flac"), out_.File("b.flac")}).Integrated, -16, 0.5);

    EXPECT_EQ(alone.GainOfAlbum, "");
    EXPECT_NEAR(ReferenceLoudness({out_.File("alone.flac")}).Integrated, -16, 0.5);

    EXPECT_EQ(c.GainOfAlbum, "Loud");
    EXPECT_EQ(c.Loudness.Gain, d.Loudness.Gain);
    EXPECT_NEAR(given[3], given[4], 0.2);
    EXPECT_NEAR(DecibelsOf(d.Loudness.TruePeak), -1, 0.1);
    EXPECT_LT(ReferenceLoudness({out_.File("c.flac"), out_.File("d.flac")}).Integrated, -17);
    for (const TBatchFileEnd* end : {&c, &d})
        EXPECT_NE(end->Notice.find("so that the album's true peak stays at -1 dBTP"), std::string::npos)
            << end->Notice;
}

// Two files of one album in one folder get the album's gain and peak once the
// last file of the folder is done, the loudness of both as one programme; a
// file of another album, and one of the same album in another folder, get
// track tags only.
TEST_F(BatchLoudnessTest, TheFilesOfAnAlbumGetItsGainOnceItsLastFileIsDone) {
    TRecorder recorder;
    TBatchSettings settings = Settings();
    settings.Loudness.ReplayGain = true;
    TBatchRun run(settings, recorder);
    const std::map<std::string, std::string> album = {{"IPRD", "An Album"}};
    for (const std::string& source :
         {Signal("album/a.wav", -23, 6, album), Signal("album/b.wav", -33, 6, album),
          Signal("album/c.wav", -23, 6, {{"IPRD", "Another"}}), Signal("elsewhere/d.wav", -23, 6, album)})
        ASSERT_TRUE(run.Append({source, out_.Path()}));
    ASSERT_EQ(run.Run().Converted, 4u);

    ASSERT_EQ(recorder.albums_.size(), 1u);
    const TBatchAlbum& told = recorder.albums_[0];
    EXPECT_EQ(told.Album, "An Album");
    EXPECT_EQ(told.Files, (std::vector<size_t>{0, 1}));
    EXPECT_TRUE(told.Failures.empty());
    // Equal lengths at -23 and -33 LUFS: their mean power.
    const double expected = 10 * std::log10((std::pow(10.0, -2.3) + std::pow(10.0, -3.3)) / 2);
    EXPECT_NEAR(told.Integrated, expected, 0.1);
    for (const char* file : {"finished 0", "finished 1", "finished 2"})
        EXPECT_LT(recorder.At(file), recorder.At("album")) << file;

    const std::string a = out_.File("a.flac"), b = out_.File("b.flac");
    EXPECT_NEAR(std::stod(ProbedTag(a, "REPLAYGAIN_TRACK_GAIN")), 5.0, 0.1);
    EXPECT_NEAR(std::stod(ProbedTag(b, "REPLAYGAIN_TRACK_GAIN")), 15.0, 0.1);
    for (const std::string& output : {a, b}) {
        EXPECT_NEAR(std::stod(ProbedTag(output, "REPLAYGAIN_ALBUM_GAIN")), -18 - expected, 0.1) << output;
        EXPECT_NEAR(std::stod(ProbedTag(output, "REPLAYGAIN_ALBUM_PEAK")), std::pow(10.0, -23.0 / 20), 0.002) << output;
    }
    for (const char* single : {"c.flac", "d.flac"}) {
        EXPECT_NEAR(std::stod(ProbedTag(out_.File(single), "REPLAYGAIN_TRACK_GAIN")), 5.0, 0.1) << single;
        EXPECT_EQ(ProbedTag(out_.File(single), "REPLAYGAIN_ALBUM_GAIN"), "") << single;
    }
}
