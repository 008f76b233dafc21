// Album images and long files as tracks, as a user converts them: a cue
// sheet named or found beside its image, a sheet embedded in a FLAC file, and
// an audiobook split by its chapters; checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Three tracks of a six-second image: the second starts 37 CD frames into its
// second second, the third has a pregap of 10 frames, which stays at the end
// of the second.
const char* const Sheet = "REM GENRE Rock\n"
                          "REM DATE 2001\n"
                          "PERFORMER \"Album Artist\"\n"
                          "TITLE \"The Album\"\n"
                          "FILE \"album.wav\" WAVE\n"
                          "  TRACK 01 AUDIO\n"
                          "    TITLE \"One\"\n"
                          "    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n"
                          "    TITLE \"Two\"\n"
                          "    PERFORMER \"Track Artist\"\n"
                          "    INDEX 01 00:02:37\n"
                          "  TRACK 03 AUDIO\n"
                          "    TITLE \"Three\"\n"
                          "    INDEX 00 00:04:00\n"
                          "    INDEX 01 00:04:10\n";
// The samples of each track at 44.1 kHz (588 to a CD frame).
const int64_t TrackSamples[] = {2 * 44100 + 37 * 588, 4 * 44100 + 10 * 588 - (2 * 44100 + 37 * 588),
                                6 * 44100 - (4 * 44100 + 10 * 588)};
const char* const TrackNames[] = {"01 - One", "02 - Two", "03 - Three"};

// The sound of `file` decoded to 16-bit samples, byte for byte.
std::string DecodedPcm(const std::string& file) {
    return CommandOutput("ffmpeg -v error -nostdin -i " + ShellQuote(file) + " -map 0:a:0 -f s16le -c:a pcm_s16le -");
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CueCliTest : public LibrariesTest {
protected:
    CliResult Run(const std::vector<std::string>& args) { return RunConvert(args, dir_); }
    // The six-second image and its sheet in `folder`; the sheet's path.
    std::string Album(const std::string& folder) {
        fs::create_directories(folder);
        WriteToneWav(WidePath(folder + "/album.wav"), 44100, 2, 6.0);
        WriteTextFile(folder + "/album.cue", Sheet);
        return folder + "/album.cue";
    }
    TempDir dir_, src_, out_;
};

} // namespace

// Each track of the sheet becomes "NN - Title" with the sheet's tags and
// exactly its samples: put together, the tracks are the image.
TEST_F(CueCliTest, ASheetConvertsToSampleExactTaggedTracks) {
    const std::string sheet = Album(src_.Path());
    const CliResult r = Run({"-f", "flac", "-j", "2", "-o", out_.Path(), sheet});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 3"), std::string::npos) << r.out;
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"01 - One.flac", "02 - Two.flac", "03 - Three.flac"}));

    std::string joined;
    for (int i = 0; i < 3; ++i) {
        const std::string output = out_.File(std::string(TrackNames[i]) + ".flac");
        TProbedAudio track = ProbeAudioFrames(output);
        EXPECT_EQ(track.Samples, TrackSamples[i]) << output;
        EXPECT_EQ(track.Tags["track"], std::to_string(i + 1)) << output;
        EXPECT_EQ(track.Tags["album"], "The Album") << output;
        EXPECT_EQ(track.Tags["date"], "2001") << output;
        EXPECT_EQ(track.Tags["genre"], "Rock") << output;
        joined += DecodedPcm(output);
    }
    TProbedAudio two = ProbeAudioFrames(out_.File("02 - Two.flac"));
    EXPECT_EQ(two.Tags["title"], "Two");
    EXPECT_EQ(two.Tags["artist"], "Track Artist");
    EXPECT_EQ(ProbeAudioFrames(out_.File("01 - One.flac")).Tags["artist"], "Album Artist");
    const std::string image = DecodedPcm(src_.File("album.wav"));
    EXPECT_EQ(joined.size(), image.size());
    EXPECT_TRUE(joined == image);
}

// A folder searched with -r: the image beside its sheet is converted once, as
// the sheet's tracks, and the other files of the folder as they are.
TEST_F(CueCliTest, AFolderWithAnImageAndItsSheetConvertsItOnceAsTracks) {
    Album(src_.File("music/cd"));
    WriteToneWav(WidePath(src_.File("music/cd/bonus.wav")), 44100, 2, 0.5);
    const CliResult r = Run({"-r", "--keep-tree", "-o", out_.Path(), src_.File("music")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 4"), std::string::npos) << r.out;
    EXPECT_EQ(FilesIn(out_.File("cd")),
              (std::vector<std::string>{"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3", "bonus.mp3"}));
}

// --info lists a sheet's tracks under their image, and the tracks of a sheet
// embedded in a FLAC file after the file's own fields; the embedded sheet
// gives tracks when converted too. A sheet whose image is missing fails.
TEST_F(CueCliTest, InfoListsTheTracksOfASheetAndOfAnEmbeddedOne) {
    const std::string sheet = Album(src_.Path());
    const CliResult info = Run({"--info", sheet});
    ASSERT_EQ(info.exitCode, 0) << info.out << info.err;
    EXPECT_NE(info.out.find("File: " + src_.File("album.wav") + "\nTracks: 3\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Track.02.Title: Two\nTrack.02.Performer: Track Artist\nTrack.02.Length: 00:00:01.640\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Track.03.Length: 00:00:01.866\n"), std::string::npos) << info.out;

    TFixtureMedia media;
    media.Seconds = 6.0;
    media.Audio = {TFixtureAudio{"flac", 44100, 2}};
    media.Tags = {{"CUESHEET", Sheet}, {"ALBUM", "Embedded"}};
    const std::string image = src_.File("embedded.flac");
    WriteMedia(WidePath(image), media);
    const CliResult embedded = Run({"--info", image});
    ASSERT_EQ(embedded.exitCode, 0) << embedded.out << embedded.err;
    EXPECT_NE(embedded.out.find("Audio.SampleRate: 44100\n"), std::string::npos) << embedded.out;
    EXPECT_NE(embedded.out.find("Tracks: 3\nTrack.01.Title: One\n"), std::string::npos) << embedded.out;
    const CliResult converted = Run({"-f", "wav", "-o", out_.Path(), image});
    ASSERT_EQ(converted.exitCode, 0) << converted.out << converted.err;
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"01 - One.wav", "02 - Two.wav", "03 - Three.wav"}));

    fs::remove(src_.File("album.wav"));
    const CliResult missing = Run({"-o", out_.Path(), sheet});
    EXPECT_EQ(missing.exitCode, 1) << missing.out << missing.err;
    EXPECT_NE(missing.err.find("album.wav"), std::string::npos) << missing.err;
    EXPECT_NE(missing.out.find("Failed: 1"), std::string::npos) << missing.out;
}

// An audiobook converts whole, and with --split-chapters into a file per
// chapter, named and tagged after it, each its chapter's length.
TEST_F(CueCliTest, SplitChaptersGivesAFilePerChapter) {
    TFixtureMedia media;
    media.Seconds = 4.5;
    media.Audio = {TFixtureAudio{"aac", 44100, 2}};
    media.Tags = {{"title", "The Book"}, {"artist", "Reader"}};
    media.Chapters = {{0, 1.5, "Opening"}, {1.5, 3.0, "Middle"}, {3.0, 4.5, "Ending"}};
    const std::string book = src_.File("book.m4b");
    WriteMedia(WidePath(book), media);

    const CliResult whole = Run({"-f", "flac", "-o", out_.File("whole"), book});
    ASSERT_EQ(whole.exitCode, 0) << whole.out << whole.err;
    EXPECT_EQ(FilesIn(out_.File("whole")), std::vector<std::string>{"book.flac"});

    const CliResult split = Run({"-f", "flac", "--split-chapters", "-o", out_.File("split"), book});
    ASSERT_EQ(split.exitCode, 0) << split.out << split.err;
    EXPECT_EQ(FilesIn(out_.File("split")),
              (std::vector<std::string>{"01 - Opening.flac", "02 - Middle.flac", "03 - Ending.flac"}));
    TProbedAudio middle = ProbeAudioFrames(out_.File("split/02 - Middle.flac"));
    EXPECT_EQ(middle.Tags["title"], "Middle");
    EXPECT_EQ(middle.Tags["track"], "2");
    EXPECT_EQ(middle.Samples, 66150);
    EXPECT_EQ(ProbeAudioFrames(out_.File("split/01 - Opening.flac")).Samples, 66150);
}
