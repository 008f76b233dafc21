// The converter's formats and presets as option records, and output naming.
#include <gtest/gtest.h>

#include <filesystem>

#include "FFDecode.h"
#include "Fixtures.h"
#include "FormatPresets.h"
#include "OutputNaming.h"
#include "OutputUpdate.h"
#include "PresetRecords.h"
#include "TestSupport.h"
#include "UnicodeProtocol.h"

namespace {

class PresetRecordsTest : public LibrariesTest {
protected:
    // A probe with `name` (generated as a short tone, or a video clip) open.
    TFFDecoder& Open(const std::string& name, bool video = false) {
        const std::wstring path = WidePath(dir_.File(name));
        if (video) {
            TFixtureMedia media;
            media.Seconds = 1;
            media.Video.push_back({});
            media.Audio.push_back({"mp2", 44100, 2});
            WriteMedia(path, media);
        } else if (!std::filesystem::exists(dir_.File(name))) {
            WriteToneWav(path, 44100, 2, 0.5);
        }
        EXPECT_TRUE(probe_.LoadFile(path)) << probe_.LastErrMsg();
        return probe_;
    }
    TempDir dir_;
    TempDir out_;
    TFFDecoder probe_;
};

struct Expected {
    int format, preset, channels, rate, bitrate;
    const char* codec;
    const char* ext;
};

} // namespace

TEST_F(PresetRecordsTest, EveryPresetOfEveryFormatGivesItsFields) {
    const Expected rows[] = {
        {0, 0, 1, 11025, -1, "", "sample_fmt=s16"},      {0, 1, 1, 22050, -1, "", "sample_fmt=s16"},
        {0, 2, 2, 22050, -1, "pcm_s24le", ""},           {0, 3, 2, 48000, -1, "pcm_s32le", ""},
        {0, 4, 2, 44100, -1, "", "sample_fmt=s16"},      {1, 0, 2, 44100, 112000, "libmp3lame", ""},
        {1, 1, 2, 48000, 128000, "libmp3lame", ""},      {1, 2, 2, 48000, 256000, "libmp3lame", ""},
        {1, 3, 2, 48000, 320000, "libmp3lame", ""},      {2, 0, 2, 48000, 192000, "wmav2", ""},
        {2, 1, 2, 44100, 96000, "wmav2", ""},            {2, 2, 2, 44100, 128000, "wmav2", ""},
        {2, 3, 2, 44100, 128000, "wmav2", ""},           {3, 0, 1, 11025, -1, "libvorbis", "aq=4.97"},
        {3, 1, 1, 22050, -1, "libvorbis", "aq=4.97"},    {3, 2, -1, 22050, -1, "libvorbis", "aq=4.97"},
        {3, 3, -1, 44100, -1, "libvorbis", "aq=4.97"},   {3, 4, -1, 48000, -1, "libvorbis", "aq=8.05"},
        {4, 0, 1, 16000, 96000, "aac", ""},              {4, 1, 1, 22500, 112000, "aac", ""},
        {4, 2, 2, 22500, 224000, "aac", ""},             {4, 3, 2, 44100, 256000, "aac", ""},
        {4, 4, 2, 48000, 256000, "aac", ""},             {5, 0, 2, 44100, 96000, "", ""},
        {5, 1, 2, 48000, 256000, "", ""},                {7, 0, 1, 22050, 96000, "", ""},
        {7, 1, 1, 22050, 112000, "", ""},                {7, 2, 2, 22050, 128000, "", ""},
        {8, 0, 1, 48000, 48000, "libopus", ""},          {8, 2, 2, 48000, 128000, "libopus", ""},
        {8, 4, 2, 48000, 256000, "libopus", ""},         {9, 0, -1, -1, -1, "alac", "sample_fmt=s16"},
        {9, 1, 2, 44100, -1, "alac", "sample_fmt=s16"},
    };
    TFFDecoder& probe = Open("song.wav");
    for (const Expected& row : rows) {
        SCOPED_TRACE(std::to_string(row.format) + "/" + std::to_string(row.preset));
        TOutputOptions o = BuildOutputOptions(probe, out_.Path(), row.format, row.preset);
        EXPECT_EQ(o.AudioChannels, row.channels);
        EXPECT_EQ(o.AudioSampleRate, row.rate);
        EXPECT_EQ(o.AudioBitrate, row.bitrate);
        EXPECT_EQ(o.AudioCodec, row.codec);
        EXPECT_EQ(o.ExtOptions, row.ext);
        EXPECT_TRUE(o.DisableSubtitle);
        EXPECT_EQ(o.DisableVideo, row.format == 2 || row.format == 3 || row.format == 5 || row.format >= 8);
        EXPECT_EQ(o.VideoCodec, row.format == 3 ? "libtheora" : "");
    }
    for (int level = 0; level <= 8; ++level) {
        TOutputOptions o = BuildOutputOptions(probe, out_.Path(), 6, level);
        EXPECT_EQ(o.ExtOptions, "compression_level=" + std::to_string(level));
        EXPECT_EQ(o.AudioCodec, "flac");
        EXPECT_EQ(o.AudioSampleRate, -1);
    }
}

TEST_F(PresetRecordsTest, AnIndexTheFormatLacksSetsOnlyTheFormatsOwnFields) {
    TFFDecoder& probe = Open("song.wav");
    for (int preset : {-1, 99}) {
        TOutputOptions o = BuildOutputOptions(probe, out_.Path(), 2, preset);
        EXPECT_EQ(o.AudioCodec, "wmav2");
        EXPECT_TRUE(o.DisableVideo);
        EXPECT_EQ(o.AudioSampleRate, -1);
        EXPECT_EQ(o.AudioBitrate, -1);
        EXPECT_EQ(o.ExtOptions, "");
    }
    TOutputOptions none = BuildOutputOptions(probe, out_.Path(), 99, 0);
    EXPECT_EQ(none.AudioCodec, "");
    EXPECT_EQ(none.FileName, WidePath(out_.File("song")));
}

// The rate and bit rate of WMA's highest preset come from the source's audio
// (the command line's tests convert with it); without audio there are none.
TEST_F(PresetRecordsTest, HighestWmaWithoutAudioSetsNoBitRate) {
    TFFDecoder& probe = probe_;
    WriteMedia(WidePath(dir_.File("silent.mkv")), [] {
        TFixtureMedia media;
        media.Seconds = 1;
        media.Video.push_back({});
        return media;
    }());
    ASSERT_TRUE(probe.LoadFile(WidePath(dir_.File("silent.mkv"))));
    EXPECT_EQ(BuildOutputOptions(probe, out_.Path(), 2, 4).AudioBitrate, -1);
}

// Opus's stereo presets keep a surround source's channels (up to 7.1), at
// their bit rate for every two; its speech preset makes mono of it. ALAC's first preset
// keeps 16 bits of a source that has no more, and 24 of any other.
TEST_F(PresetRecordsTest, OpusAndAlacFollowTheSourcesChannelsAndBits) {
    const struct {
        const char* Name;
        const char* Encoder;
        int Channels;
        AVSampleFormat Format;
        int OpusChannels, OpusBitrate;  // of preset 2
        const char* AlacSamples;
    } rows[] = {
        {"stereo.wav", "pcm_s16le", 2, AV_SAMPLE_FMT_S16, 2, 128000, "sample_fmt=s16"},
        {"surround.wav", "pcm_s24le", 6, AV_SAMPLE_FMT_S32, -1, 384000, "sample_fmt=s32"},
        {"eight.flac", "flac", 8, AV_SAMPLE_FMT_S16, -1, 512000, "sample_fmt=s16"},
        {"ten.wav", "pcm_s16le", 10, AV_SAMPLE_FMT_S16, 2, 128000, "sample_fmt=s16"},
        {"lossy.mp3", "libmp3lame", 1, AV_SAMPLE_FMT_FLTP, 2, 128000, "sample_fmt=s32"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TFixtureMedia media;
        media.Seconds = 0.3;
        media.Audio.push_back({row.Encoder, 44100, row.Channels, row.Format});
        WriteMedia(WidePath(dir_.File(row.Name)), media);
        ASSERT_TRUE(probe_.LoadFile(WidePath(dir_.File(row.Name)))) << probe_.LastErrMsg();
        const TOutputOptions opus = BuildOutputOptions(probe_, out_.Path(), 8, 2);
        EXPECT_EQ(opus.AudioChannels, row.OpusChannels);
        EXPECT_EQ(opus.AudioBitrate, row.OpusBitrate);
        EXPECT_EQ(opus.FileName, WidePath(out_.File(StripExtension(row.Name) + ".opus")));
        const TOutputOptions speech = BuildOutputOptions(probe_, out_.Path(), 8, 0);
        EXPECT_EQ(speech.AudioChannels, 1);
        EXPECT_EQ(speech.AudioBitrate, 48000);
        const TOutputOptions alac = BuildOutputOptions(probe_, out_.Path(), 9, 0);
        EXPECT_EQ(alac.ExtOptions, row.AlacSamples);
        EXPECT_EQ(alac.FileName, WidePath(out_.File(StripExtension(row.Name) + ".m4a")));
        probe_.CloseFile();
    }
}

TEST_F(PresetRecordsTest, OutputNamesTakeTheFormatsExtensionAndNeverAnExistingName) {
    TFFDecoder& probe = Open("clip.avi", true);
    TOutputOptions flac = BuildOutputOptions(probe, out_.Path(), 6, 5);
    EXPECT_EQ(flac.FileName, WidePath(out_.File("clip.flac")));
    EXPECT_EQ(flac.ExtOptions, "compression_level=5");

    TInputOptions input = BuildInputOptions(probe, 6);
    EXPECT_EQ(input.FileName, WidePath(dir_.File("clip.avi")));
    EXPECT_EQ(input.ExtOptions, "vn=1");
    EXPECT_EQ(input.FileFormat, "");

    probe.CloseFile();
    Open("song.wav");
    WriteTextFile(out_.File("song.mp3"), "taken");
    EXPECT_EQ(BuildOutputOptions(probe_, out_.Path(), 1, 0).FileName, WidePath(out_.File("song(1).mp3")));
    WriteTextFile(out_.File("song(1).mp3"), "taken");
    EXPECT_EQ(BuildOutputOptions(probe_, out_.Path(), 1, 0).FileName, WidePath(out_.File("song(2).mp3")));
}

// The command line's video containers keep the picture, pick an encoder the
// libraries have, and keep subtitles where the container holds their kind:
// text as text, pictures as pictures.
TEST_F(PresetRecordsTest, VideoContainersKeepThePictureAndTheSubtitlesTheyHold) {
    const std::wstring text = GenerateFixture(L"video-subtitles.mkv", WidePath(dir_.Path()));
    auto pictures = [&](const char* codec) {
        TFixtureMedia media;
        media.Seconds = 1;
        media.Video.push_back({});
        media.Subtitles.push_back({codec, {{0.2, 0.6, ""}}});
        const std::wstring path = WidePath(dir_.File(std::string(codec) + ".mkv"));
        WriteMedia(path, media);
        return path;
    };
    const std::wstring dvb = pictures("dvbsub"), dvd = pictures("dvdsub");
    const struct {
        int Format;
        const char* Audio;
        const char* Subtitles[3];  // for the file with text, DVB and DVD subtitles
    } rows[] = {{10, "aac", {"", "", ""}},
                {11, "aac", {"subrip", "dvbsub", "dvdsub"}},
                {12, "libmp3lame", {"", "", ""}},
                {13, "mp2", {"", "dvdsub", "dvdsub"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Format);
        ASSERT_TRUE(probe_.LoadFile(text)) << probe_.LastErrMsg();
        const TOutputOptions o = BuildOutputOptions(probe_, out_.Path(), row.Format, 0);
        EXPECT_EQ(BuildInputOptions(probe_, row.Format).ExtOptions, "");
        EXPECT_FALSE(o.DisableVideo);
        EXPECT_EQ(o.AudioCodec, row.Audio);
        const AVCodec* video = ff::avcodec_find_encoder_by_name(o.VideoCodec.c_str());
        ASSERT_NE(video, nullptr) << o.VideoCodec;
        EXPECT_EQ(video->type, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(o.FileName, WidePath(out_.File(std::string("video-subtitles") + OutputExtension(row.Format))));
        probe_.CloseFile();
        const std::wstring sources[] = {text, dvb, dvd};
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(probe_.LoadFile(sources[i])) << probe_.LastErrMsg();
            const TOutputOptions kept = BuildOutputOptions(probe_, out_.Path(), row.Format, 0);
            EXPECT_EQ(kept.SubtitleCodec, row.Subtitles[i]) << i;
            EXPECT_EQ(kept.DisableSubtitle, std::string(row.Subtitles[i]).empty()) << i;
            probe_.CloseFile();
        }
    }
}

TEST(UniqueFileNameTest, CountsInParenthesesAndNeverInterpretsTheName) {
    TempDir dir;
    EXPECT_EQ(UniqueFileName("a%d%s.mp3", dir.Path()), "a%d%s.mp3");
    WriteTextFile(dir.File("a%d%s.mp3"), "x");
    EXPECT_EQ(UniqueFileName("a%d%s.mp3", dir.Path()), "a%d%s(1).mp3");
    WriteTextFile(dir.File("noext"), "x");
    EXPECT_EQ(UniqueFileName("noext", dir.Path()), "noext(1)");
    EXPECT_EQ(StripExtension("dir.v2/name"), "dir.v2/name");
    EXPECT_EQ(StripExtension("dir/name.tar.gz"), "dir/name.tar");
    EXPECT_EQ(OutputExtension(7), ".mp2");
    EXPECT_EQ(OutputExtension(13), ".mpg");
    EXPECT_EQ(OutputExtension(14), "");
}

// A name that would pass the file system's 255 bytes once numbered or made
// a hidden temporary name keeps its beginning, cut between characters, and a
// hash of the whole, so that long names alike at the start stay apart.
TEST(UniqueFileNameTest, NamesGrownPastTheLimitAreShortenedBetweenCharacters) {
    std::string stem;
    while (stem.size() < 252) stem += "\xE6\x97\xA5";  // 日, three bytes each
    const auto bare = [](const std::string& path) { return path.substr(path.find_last_of('/') + 1); };
    for (const std::string& name : {CounterName("out/" + stem + ".mp3", 1), CounterName("out/" + stem + ".mp3", 32767),
                                    TemporaryOutputName("out/" + stem + ".mp3"), FitName("out/" + stem + "xx.flac")}) {
        // The beginning is kept (after the dot of a hidden name).
        EXPECT_LE(bare(name).find("\xE6\x97\xA5\xE6\x97\xA5"), 1u) << name;
        EXPECT_LE(bare(name).size(), NameMax) << name;
        EXPECT_FALSE(HasEscapedBytes(Utf8ToWide(name))) << name;
    }
    EXPECT_EQ(CounterName("out/" + stem + ".mp3", 1).substr(CounterName("out/" + stem + ".mp3", 1).size() - 7),
              "(1).mp3");
    const std::string temporary = bare(TemporaryOutputName("out/" + stem + ".mp3"));
    EXPECT_EQ(temporary[0], '.');
    EXPECT_EQ(temporary.substr(temporary.size() - 13), ".tembrio-part");
    // The same output always has the same temporary name, another one another.
    EXPECT_EQ(TemporaryOutputName("out/" + stem + ".mp3"), TemporaryOutputName("out/" + stem + ".mp3"));
    EXPECT_NE(TemporaryOutputName("out/" + stem + ".mp3"), TemporaryOutputName("out/" + stem + "x.mp3"));
    EXPECT_NE(CounterName(stem + "a.mp3", 1), CounterName(stem + "b.mp3", 1));
    // Names that fit are left alone.
    EXPECT_EQ(TemporaryOutputName("out/song.mp3"), "out/.song.mp3.tembrio-part");
    EXPECT_EQ(CounterName("out/song.mp3", 12), "out/song(12).mp3");
}

TEST(OutputNamingTest, IncludeBackslashAddsOneSeparator) {
    EXPECT_EQ(IncludeBackslash("/home/u/Music"), "/home/u/Music/");
    EXPECT_EQ(IncludeBackslash("/home/u/Music/"), "/home/u/Music/");
    EXPECT_EQ(IncludeBackslash("/"), "/");
    EXPECT_EQ(IncludeBackslash(""), "");
}
