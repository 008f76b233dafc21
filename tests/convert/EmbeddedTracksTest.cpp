// The tracks a probed file holds in itself: a FLAC image's embedded sheet
// (its "cuesheet" tag or its CUESHEET block) and the chapters of an
// audiobook.
#include <gtest/gtest.h>

#include "EmbeddedTracks.h"
#include "FFDecode.h"
#include "Fixtures.h"
#include "TestSupport.h"

namespace {

// Ten seconds of stereo at 44.1 kHz; track 2 has a second of pregap.
const std::string ImageSheet = "TITLE \"Sheet Album\"\n"
                               "FILE \"whatever.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n    TITLE \"Middle\"\n    INDEX 00 00:03:00\n"
                               "    INDEX 01 00:04:00\n"
                               "  TRACK 03 AUDIO\n    TITLE \"Closing\"\n    INDEX 01 00:07:30\n";

class EmbeddedTracksTest : public LibrariesTest {
protected:
    std::string Flac(const std::map<std::string, std::string>& tags) {
        TFixtureMedia media;
        media.Seconds = 10;
        media.Audio.push_back({"flac"});
        media.Tags = tags;
        const std::string path = dir_.File("image.flac");
        WriteMedia(WidePath(path), media);
        return path;
    }

    std::vector<TSourceTrack> Tracks(const std::string& path, bool splitChapters, std::string* problem = nullptr) {
        EXPECT_TRUE(probe_.LoadFile(WidePath(path))) << probe_.LastErrMsg();
        std::vector<TSourceTrack> tracks = EmbeddedTracks(path, probe_, splitChapters, problem);
        probe_.CloseFile();
        return tracks;
    }

    TempDir dir_;
    TFFDecoder probe_;
};

} // namespace

// The sheet in the image's tags names its tracks, whatever file its FILE
// line names; what it leaves out of the album comes from the image's tags.
TEST_F(EmbeddedTracksTest, AnImagesCuesheetTagGivesItsTracks) {
    const std::string path = Flac({{"cuesheet", ImageSheet}, {"artist", "Tag Artist"}, {"genre", "Tag Genre"}});
    const std::vector<TSourceTrack> tracks = Tracks(path, false);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].Title, "Opening");
    EXPECT_EQ(tracks[2].Title, "Closing");
    EXPECT_EQ(tracks[1].Cut.Start, 4 * 75);
    EXPECT_EQ(tracks[1].Cut.Length, 7 * 75 + 30 - 4 * 75);
    EXPECT_EQ(tracks[2].Cut.Length, -1);
    EXPECT_EQ(tracks[1].Album, "Sheet Album");
    EXPECT_EQ(tracks[1].Performer, "Tag Artist");
    EXPECT_EQ(tracks[1].Genre, "Tag Genre");

    std::string problem;
    const std::string broken = Flac({{"cuesheet", "nothing a sheet would say"}});
    EXPECT_TRUE(Tracks(broken, false, &problem).empty());
    EXPECT_EQ(problem, "The cue sheet in " + broken + " cannot be read: it describes no tracks");
}

// A CUESHEET block (as the FLAC tools write it) gives one track per audio
// track, cut at each INDEX 01 in samples: the pregap stays at the end of the
// track before, where the media library's chapters would move it.
TEST_F(EmbeddedTracksTest, AFlacCuesheetBlockGivesItsTracksWithThePregapBefore) {
    const std::string path = Flac({{"album", "Tag Album"}});
    WriteTextFile(dir_.File("image.cue"), ImageSheet);
    const std::string command = "metaflac --import-cuesheet-from=" + ShellQuote(dir_.File("image.cue")) + " " +
                                ShellQuote(path) + " 2>&1 && echo imported";
    ASSERT_EQ(CommandOutput(command), "imported\n");

    ASSERT_TRUE(probe_.LoadFile(WidePath(path)));
    EXPECT_EQ(probe_.Chapters().size(), 3u);
    probe_.CloseFile();
    const std::vector<TSourceTrack> tracks = Tracks(path, false);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].Cut.TimeBaseDen, 44100);
    EXPECT_EQ(tracks[0].Cut.Start, 0);
    EXPECT_EQ(tracks[0].Cut.Length, 4 * 44100);
    EXPECT_EQ(tracks[1].Cut.Start, 4 * 44100);
    EXPECT_EQ(tracks[1].Cut.Length, (7 * 75 + 30) * 588 - 4 * 44100);
    EXPECT_EQ(tracks[2].Cut.Start, (7 * 75 + 30) * 588);
    EXPECT_EQ(tracks[2].Cut.Length, -1);
    EXPECT_EQ(tracks[2].Number, 3);
    EXPECT_EQ(tracks[2].Total, 3);
    EXPECT_EQ(tracks[2].Album, "Tag Album");
    EXPECT_EQ(TrackOutputStem(tracks[2]), "03");
}

// An audiobook's chapters split it only when the user asks for it: one
// track each, titled and numbered from its chapters.
TEST_F(EmbeddedTracksTest, AnAudiobooksChaptersSplitItOnlyWhenAsked) {
    TFixtureMedia media;
    media.Seconds = 6;
    media.Audio.push_back({"aac"});
    media.Tags = {{"title", "The Book"}, {"artist", "The Reader"}};
    media.Chapters = {{0, 2, "Prologue"}, {2, 4.5, "The Middle"}, {4.5, 6, "Epilogue"}};
    const std::string path = dir_.File("book.m4b");
    WriteMedia(WidePath(path), media);

    EXPECT_TRUE(Tracks(path, false).empty());
    const std::vector<TSourceTrack> tracks = Tracks(path, true);
    ASSERT_EQ(tracks.size(), 3u);
    const double starts[] = {0, 2, 4.5};
    for (size_t i = 0; i < 3; ++i) {
        const TSourceCut& cut = tracks[i].Cut;
        EXPECT_NEAR(static_cast<double>(cut.Start) * cut.TimeBaseNum / cut.TimeBaseDen, starts[i], 0.05) << i;
        EXPECT_EQ(tracks[i].Number, static_cast<int>(i + 1));
        EXPECT_EQ(tracks[i].Album, "The Book");
        EXPECT_EQ(tracks[i].Performer, "The Reader");
    }
    EXPECT_NEAR(static_cast<double>(tracks[1].Cut.Length) * tracks[1].Cut.TimeBaseNum / tracks[1].Cut.TimeBaseDen,
                2.5, 0.05);
    EXPECT_EQ(tracks[2].Cut.Length, -1);
    EXPECT_EQ(TrackOutputStem(tracks[1]), "02 - The Middle");
}
