// Cue sheets as lists of tracks: their encodings, their pregaps, the files
// they name, and the names and tags their tracks are given.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "CueSheet.h"
#include "FileNameEncoding.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Lines end in CR LF, as the ripping programs of one system write them.
const std::string AlbumSheet =
    "REM GENRE \"Art Rock\"\r\n"
    "REM DATE 1994\r\n"
    "REM DISCNUMBER 2\r\n"
    "REM TOTALDISCS 3\r\n"
    "REM COMMENT \"ripped twice\"\r\n"
    "PERFORMER \"Motörhead Ensemble\"\r\n"
    "TITLE \"Café del Mar\"\r\n"
    "FILE \"Album.wav\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n"
    "    TITLE \"Première\"\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n"
    "    TITLE \"Für 5 €/Stück\"\r\n"
    "    PERFORMER \"Señor Gast\"\r\n"
    "    INDEX 00 00:02:00\r\n"
    "    INDEX 01 00:04:00\r\n"
    "  TRACK 03 AUDIO\r\n"
    "    TITLE \"Trois\"\r\n"
    "    INDEX 01 00:06:37\r\n";

// The UTF-8 text as Windows-1252: every character of it is in that code page.
std::string ToCp1252(const std::string& utf8) {
    std::string out;
    for (const wchar_t c : Utf8ToWide(utf8)) out += c == L'€' ? '\x80' : static_cast<char>(c);
    return out;
}

std::string ToUtf16(const std::string& utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t c : Utf8ToWide(utf8)) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
}

void Touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

// The same sheet in a legacy code page, in UTF-16 of either byte order and
// in UTF-8 with its mark reads alike: the pregap of track 2 (INDEX 00) stays
// at the end of track 1, and the last track runs to the end of the file.
TEST(CueSheetTest, EveryEncodingReadsAlikeWithThePregapAtTheEndOfTheTrackBefore) {
    TempDir dir;
    Touch(dir.File("Album.wav"));
    const std::pair<const char*, std::string> encodings[] = {
        {"cp1252.cue", ToCp1252(AlbumSheet)},
        {"utf16le.cue", ToUtf16(AlbumSheet, false)},
        {"utf16be.cue", ToUtf16(AlbumSheet, true)},
        {"utf8.cue", "\xEF\xBB\xBF" + AlbumSheet},
    };
    for (const auto& [name, bytes] : encodings) {
        SCOPED_TRACE(name);
        WriteBytes(dir.File(name), bytes);
        const TCueSheet sheet = ReadCueSheet(dir.File(name));
        EXPECT_EQ(sheet.Error, "");
        ASSERT_EQ(sheet.Tracks.size(), 3u);
        EXPECT_EQ(sheet.Images, std::vector<std::string>{dir.File("Album.wav")});
        const TSourceTrack& one = sheet.Tracks[0].Track;
        const TSourceTrack& two = sheet.Tracks[1].Track;
        const TSourceTrack& three = sheet.Tracks[2].Track;
        EXPECT_EQ(sheet.Tracks[1].Image, dir.File("Album.wav"));
        // CD frames: 75 a second.
        EXPECT_EQ(one.Cut.TimeBaseDen, 75);
        EXPECT_EQ(one.Cut.Start, 0);
        EXPECT_EQ(one.Cut.Length, 4 * 75);
        EXPECT_EQ(two.Cut.Start, 4 * 75);
        EXPECT_EQ(two.Cut.Length, 6 * 75 + 37 - 4 * 75);
        EXPECT_EQ(three.Cut.Start, 6 * 75 + 37);
        EXPECT_EQ(three.Cut.Length, -1);
        EXPECT_EQ(two.Title, "Für 5 €/Stück");
        EXPECT_EQ(one.Performer, "Motörhead Ensemble");
        EXPECT_EQ(two.Performer, "Señor Gast");
        EXPECT_EQ(TrackOutputStem(two), "02 - Für 5 €-Stück");
        const std::vector<std::pair<std::string, std::string>> tags = {
            {"title", "Für 5 €/Stück"}, {"artist", "Señor Gast"},       {"album", "Café del Mar"},
            {"album_artist", "Motörhead Ensemble"}, {"track", "2"},     {"track_total", "3"},
            {"disc", "2"},              {"disc_total", "3"},            {"date", "1994"},
            {"genre", "Art Rock"},      {"comment", "ripped twice"}};
        EXPECT_EQ(TrackTags(two), tags);
    }
}

// Rippers compress "album.wav" into "Album.FLAC" and keep the sheet: the
// file is found by its name in any case, else by its stem with another
// media extension.
TEST(CueSheetTest, TheFileIsFoundWhenOnlyItsCaseOrExtensionDiffers) {
    TempDir dir;
    Touch(dir.File("disc/Album.FLAC"));
    Touch(dir.File("disc/album.log"));
    WriteBytes(dir.File("disc/renamed.cue"), "FILE \"ALBUM.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    WriteBytes(dir.File("disc/Album.cue"), "FILE \"album.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    for (const char* sheet : {"disc/renamed.cue", "disc/Album.cue"}) {
        const TCueSheet read = ReadCueSheet(dir.File(sheet));
        ASSERT_EQ(read.Tracks.size(), 1u) << sheet << ": " << read.Error;
        EXPECT_EQ(read.Tracks[0].Image, dir.File("disc/Album.FLAC")) << sheet;
    }
}

// Each FILE's tracks are cut from that file, and the last track of a file
// runs to its end, even when the next track's pregap is written in it. A
// file that is not there gives no tracks and says so; the others still do.
TEST(CueSheetTest, EachFileOfASheetGivesItsOwnTracks) {
    TempDir dir;
    Touch(dir.File("side a.wav"));
    Touch(dir.File("side b.wav"));
    const std::string sheet = "TITLE \"Two Sides\"\n"
                              "FILE \"side a.wav\" WAVE\n"
                              "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 01:00:00\n"
                              "  TRACK 03 AUDIO\n    INDEX 00 02:00:00\n"
                              "FILE \"side b.wav\" WAVE\n"
                              "    INDEX 01 00:00:00\n"
                              "  TRACK 04 AUDIO\n    INDEX 01 03:00:00\n"
                              "FILE \"side c.wav\" WAVE\n"
                              "  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n";
    WriteBytes(dir.File("sides.cue"), sheet);
    const TCueSheet read = ReadCueSheet(dir.File("sides.cue"));
    ASSERT_EQ(read.Tracks.size(), 4u);
    EXPECT_EQ(read.Images, (std::vector<std::string>{dir.File("side a.wav"), dir.File("side b.wav")}));
    const std::pair<std::string, TSourceCut> expected[] = {
        {"side a.wav", {0, 60 * 75}}, {"side a.wav", {60 * 75, -1}},
        {"side b.wav", {0, 180 * 75}}, {"side b.wav", {180 * 75, -1}}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(read.Tracks[i].Image, dir.File(expected[i].first)) << i;
        EXPECT_EQ(read.Tracks[i].Track.Cut.Start, expected[i].second.Start) << i;
        EXPECT_EQ(read.Tracks[i].Track.Cut.Length, expected[i].second.Length) << i;
        EXPECT_EQ(read.Tracks[i].Track.Number, static_cast<int>(i + 1));
        EXPECT_EQ(read.Tracks[i].Track.Total, 5);
    }
    EXPECT_EQ(read.Error, "The cue sheet names a file that is not there: side c.wav");

    WriteBytes(dir.File("nothing.cue"), "REM only a remark\n");
    EXPECT_EQ(ReadCueSheet(dir.File("nothing.cue")).Error,
              "The cue sheet cannot be read: " + dir.File("nothing.cue") + ": it describes no tracks");
    EXPECT_TRUE(ReadCueSheet(dir.File("absent.cue")).Tracks.empty());
    EXPECT_NE(ReadCueSheet(dir.File("absent.cue")).Error, "");
}

// Sheets written by hand: keywords in any case, titles without quotes,
// lines of no keyword, no FILE type, a track left unfinished.
TEST(CueSheetTest, ASheetWrittenByHandIsReadInSpirit) {
    const TCueSheet sheet = ReadEmbeddedCueSheet("performer The Band\n"
                                                 "this line means nothing\n"
                                                 "file image.wav\n"
                                                 "  track 01 audio\n"
                                                 "    title A Song With Spaces\n"
                                                 "    index 01 00:00:00\n"
                                                 "  Track 02 Audio\n"
                                                 "    Index 01 00:30:00\n",
                                                 "/music/image.flac");
    ASSERT_EQ(sheet.Tracks.size(), 2u) << sheet.Error;
    EXPECT_EQ(sheet.Tracks[0].Image, "/music/image.flac");
    EXPECT_EQ(sheet.Tracks[0].Track.Title, "A Song With Spaces");
    EXPECT_EQ(sheet.Tracks[1].Track.Performer, "The Band");
    EXPECT_EQ(sheet.Tracks[0].Track.Cut.Length, 30 * 75);

    // libcue refuses a track of no index at all (and leaks what it read so
    // far): the program names the track instead.
    const TCueSheet unfinished = ReadEmbeddedCueSheet("FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                                      "  TRACK 02 AUDIO\n",
                                                      "/music/image.flac");
    EXPECT_TRUE(unfinished.Tracks.empty());
    EXPECT_EQ(unfinished.Error, "The cue sheet in /music/image.flac cannot be read: its track 2 has no INDEX 01");
}

// libcue's parser keeps its state in globals; sheets read on several threads
// at once must still each come out whole.
TEST(CueSheetTest, SheetsReadOnSeveralThreadsAtOnceComeOutWhole) {
    std::string text = "FILE \"x.wav\" WAVE\n";
    for (int i = 1; i <= 40; ++i)
        text += "  TRACK " + std::to_string(i) + " AUDIO\n    TITLE \"Track " + std::to_string(i) +
                "\"\n    INDEX 01 " + std::to_string(i) + ":00:00\n";
    std::atomic<int> whole{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 50; ++n) {
                const TCueSheet sheet = ReadEmbeddedCueSheet(text, "x.flac");
                whole += sheet.Tracks.size() == 40 && sheet.Tracks[39].Track.Title == "Track 40" &&
                         sheet.Tracks[39].Track.Cut.Start == 40 * 60 * 75;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(whole, 200);
}

// Output names from titles: no separator or control character gets into a
// name, the number takes as many digits as the total needs, and a long
// title is shortened to leave room for the extension and a counter.
TEST(CueSheetTest, TrackNamesAreSafeForTheFileSystem) {
    TSourceTrack track;
    track.Number = 7;
    track.Total = 12;
    track.Title = "  AC/DC\tlive\n\x01 ";
    EXPECT_EQ(TrackOutputStem(track), "07 - AC-DC live");
    track.Title = "..";
    EXPECT_EQ(TrackOutputStem(track), "07 - ..");
    track.Title = "\n";
    EXPECT_EQ(TrackOutputStem(track), "07");
    track.Total = 120;
    track.Title = std::string(400, 'x');
    const std::string stem = TrackOutputStem(track);
    EXPECT_EQ(stem.rfind("007 - xxx", 0), 0u);
    EXPECT_LE(stem.size(), 230u);
    // A last track runs to the end of its source.
    track.Cut = {75 * 60, -1};
    EXPECT_EQ(TrackDuration(track, 100'000'000), 40'000'000);
    EXPECT_EQ(TrackDuration(track, -1), -1);
    track.Cut = {0, 75 * 3 + 1};
    EXPECT_EQ(TrackDuration(track, -1), 3'013'333);
}
