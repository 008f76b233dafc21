// Tags as players read them: a fully tagged M4A converted into each of the
// eight formats keeps every common tag, read back with ffprobe and found in
// the file under the field name of that format's players; the M4A's own
// container keys stay behind, and the encoder is this program.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "Fixtures.h"
#include "TestSupport.h"

namespace {

const std::map<std::string, std::string> SourceTags = {
    {"title", "A Title"},   {"artist", "An Artist"}, {"album", "An Album"},       {"album_artist", "Album Artists"},
    {"track", "3/12"},      {"disc", "1/2"},         {"date", "2021"},            {"genre", "Jazz"},
    {"comment", "Remark"},  {"composer", "Writer"},  {"lyrics", "La la la"},
};

// ffprobe's tags of the file and of its first audio stream, keys in lower case.
std::map<std::string, std::string> ProbedTags(const std::string& path) {
    std::map<std::string, std::string> tags;
    std::istringstream in(CommandOutput("ffprobe -v error -select_streams a:0 -show_entries format_tags:stream_tags "
                                        "-of default=nw=1 " + ShellQuote(path)));
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (line.rfind("TAG:", 0) != 0 || eq == std::string::npos) continue;
        std::string key = line.substr(4, eq - 4);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        tags[key] = line.substr(eq + 1);
    }
    return tags;
}

// The frame ids of the ID3v2 tag at `pos` of `bytes`.
std::set<std::string> Id3Frames(const std::string& bytes, size_t pos) {
    std::set<std::string> ids;
    if (bytes.compare(pos, 3, "ID3") != 0) return ids;
    auto syncsafe = [&](size_t at) {
        size_t n = 0;
        for (size_t i = at; i < at + 4; ++i) n = (n << 7) | (static_cast<unsigned char>(bytes[i]) & 0x7F);
        return n;
    };
    const size_t end = pos + 10 + syncsafe(pos + 6);
    for (size_t at = pos + 10; at + 10 <= end && bytes[at] != '\0'; at += 10 + syncsafe(at + 4))
        ids.insert(bytes.substr(at, 4));
    return ids;
}

std::string Utf16(const std::string& ascii) {
    std::string wide;
    for (char c : ascii) wide += std::string(1, c) + '\0';
    return wide;
}

class TagsTest : public LibrariesTest {
protected:
    TempDir dir_, src_, out_;
};

} // namespace

TEST_F(TagsTest, EveryFormatKeepsTheCommonTagsUnderThePlayersNames) {
    TFixtureMedia media;
    media.Seconds = 1.0;
    media.Audio = {TFixtureAudio{"aac", 44100, 2}};
    media.Tags = SourceTags;
    const std::string source = src_.File("song.m4a");
    WriteMedia(WidePath(source), media);

    const std::set<std::string> id3 = {"TIT2", "TPE1", "TALB", "TPE2", "TRCK", "TPOS", "TDRC",
                                       "TCON", "COMM", "TCOM", "USLT", "TSSE"};
    const std::vector<std::string> vorbis = {"TITLE=", "ARTIST=", "ALBUM=", "ALBUMARTIST=Album Artists",
                                             "TRACKNUMBER=3", "TRACKTOTAL=12", "DISCNUMBER=1", "DISCTOTAL=2",
                                             "DATE=", "GENRE=", "COMPOSER=", "LYRICS=La la la"};
    struct TCase {
        std::string Format;
        std::vector<std::string> Fields;  // the players' field names, as the file holds them
        bool Id3 = false;                 // an ID3v2 tag: at the start, or in the WAV's "id3 " chunk
    };
    const std::vector<TCase> cases = {
        {"wav", {"INAM", "IART", "IPRD", "IGNR", "ICMT"}, true},
        {"mp3", {}, true},
        {"wma", {Utf16("WM/AlbumTitle"), Utf16("WM/AlbumArtist"), Utf16("WM/TrackNumber"), Utf16("WM/PartOfSet"),
                 Utf16("WM/Year"), Utf16("WM/Genre"), Utf16("WM/Composer"), Utf16("WM/Lyrics")}},
        {"ogg", vorbis},
        {"aac", {}, true},
        {"m4a", {"\xA9nam", "\xA9" "ART", "aART", "\xA9" "alb", "trkn", "disk", "\xA9" "day", "\xA9gen", "\xA9" "cmt",
                 "\xA9wrt", "\xA9lyr", "\xA9too"}},
        {"flac", vorbis},
        {"mp2", {}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        const CliResult r = RunConvert({"-f", c.Format, "-o", out_.Path(), source}, dir_);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        const std::string output = out_.File("song." + c.Format);
        const std::string bytes = ReadTextFile(output);
        for (const std::string& field : c.Fields) EXPECT_NE(bytes.find(field), std::string::npos) << field;
        if (c.Id3) {
            const size_t chunk = std::min(bytes.rfind("id3 "), bytes.rfind("ID3 "));
            const std::set<std::string> frames = Id3Frames(bytes, c.Format == "wav" ? chunk + 8 : 0);
            for (const std::string& id : id3) EXPECT_TRUE(frames.count(id)) << id;
            // The comment is no user-defined text frame, which players do not show.
            EXPECT_FALSE(frames.count("TXXX"));
        }

        // The library reads some fields under their own names (ASF's WM/Year);
        // of a WAV it reads the RIFF INFO only, whose fields are fewer.
        std::map<std::string, std::string> tags = ProbedTags(output);
        auto read = [&](std::initializer_list<const char*> names) {
            for (const char* name : names)
                if (tags.count(name)) return tags[name];
            return std::string("<none>");
        };
        for (const char* key : {"title", "artist", "album", "genre", "comment"})
            EXPECT_EQ(tags[key], SourceTags.at(key)) << key;
        EXPECT_EQ(read({"date", "wm/year"}), "2021");
        EXPECT_EQ(tags["track"].substr(0, 1), "3");
        EXPECT_EQ(tags["encoder"].rfind("Tembrio Audio Converter ", 0), 0u) << tags["encoder"];
        if (c.Format != "wav") {
            EXPECT_EQ(tags["album_artist"], "Album Artists");
            EXPECT_EQ(tags["composer"], "Writer");
            EXPECT_EQ(read({"lyrics", "lyrics-eng", "wm/lyrics"}), "La la la");
        }
        // An M4A output has keys of its own container under these names.
        if (c.Format == "m4a") continue;
        for (const char* key : {"major_brand", "minor_version", "compatible_brands", "handler_name"})
            EXPECT_EQ(tags.count(key), 0u) << key << "=" << tags[key];
    }
}
