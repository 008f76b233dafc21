// Cover art: the picture of the source reaches every output format that holds
// one, byte for byte, as the front cover; read back with the libraries'
// readers, which is how players find it.
#include "StreamList.h"
#include "TranscodeTestSupport.h"

namespace {

struct TCover {
    bool Found = false;
    std::string Codec;
    std::string Type;  // the reader's name of the picture type
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bytes;
    int MovingVideoStreams = 0;
};

TCover CoverOf(const std::string& path) {
    TCover cover;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, path, nullptr, nullptr) < 0) return cover;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return cover;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(raw->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            ++cover.MovingVideoStreams;
    const int index = CoverStreamIndex(raw);
    if (index < 0) return cover;
    const AVStream* st = raw->streams[index];
    const AVDictionaryEntry* type = ff::av_dict_get(st->metadata, "comment", nullptr, 0);
    cover.Found = true;
    cover.Codec = ff::avcodec_get_name(st->codecpar->codec_id);
    cover.Type = type ? type->value : "";
    cover.Width = st->codecpar->width;
    cover.Height = st->codecpar->height;
    cover.Bytes.assign(st->attached_pic.data, st->attached_pic.data + st->attached_pic.size);
    return cover;
}

struct TCoverCase {
    const char* Extension;
    const char* Codec;  // "" lets the container choose
    bool Holds;         // the format holds a cover
    bool Typed;         // its reader names the picture's type
};

const TCoverCase Cases[] = {
    {"mp3", "libmp3lame", true, true}, {"mp2", "mp2", true, true},     {"m4a", "", true, false},
    {"flac", "flac", true, true},      {"ogg", "libvorbis", true, true}, {"wma", "wmav2", true, true},
    {"wav", "pcm_s16le", false, false}, {"aac", "aac", false, false},
};

TOutputOptions Record(const char* codec) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = codec;
    o.AudioSampleRate = 44100;
    o.AudioChannels = 2;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    return o;
}

class TranscodeCoverTest : public TranscodeTest {
protected:
    std::string Source(const std::string& name, const std::string& audio, const TFixturePicture& picture,
                       bool withVideo = false) {
        TFixtureMedia m;
        m.Seconds = 1.0;
        m.Audio.push_back({audio, 44100, 2});
        if (withVideo) m.Video.push_back({"mpeg4", 160, 120, 25});
        m.Pictures.push_back(picture);
        m.Tags = {{"title", "Cover test"}};
        const std::string path = dir.File(name);
        WriteMedia(WidePath(path), m);
        return path;
    }

    TCover Convert(const std::string& source, const char* codec, const std::string& output) {
        Open({source}, Record(codec), output, "vn=1");
        EXPECT_EQ(Run(), "") << output;
        task.reset();
        return CoverOf(Out(output));
    }
};

} // namespace

TEST_F(TranscodeCoverTest, TheSourcesCoverReachesEveryFormatThatHoldsOne) {
    // A JPEG cover in ID3v2 and a PNG one in a FLAC PICTURE block.
    const std::string mp3 = Source("src.mp3", "libmp3lame", {"mjpeg", 64, 48, "Cover (front)"});
    const std::string flac = Source("src.flac", "flac", {"png", 64, 48, "Cover (front)"});
    int n = 0;
    for (const std::string& source : {mp3, flac}) {
        const TCover original = CoverOf(source);
        ASSERT_TRUE(original.Found) << source;
        for (const TCoverCase& c : Cases) {
            SCOPED_TRACE(source + " -> " + c.Extension);
            const TCover cover = Convert(source, c.Codec, "out" + std::to_string(n++) + "." + c.Extension);
            EXPECT_EQ(cover.MovingVideoStreams, 0);
            EXPECT_EQ(cover.Found, c.Holds);
            if (!c.Holds) continue;
            EXPECT_EQ(cover.Codec, original.Codec);
            EXPECT_TRUE(cover.Bytes == original.Bytes) << cover.Bytes.size() << " bytes, not " << original.Bytes.size();
            if (c.Typed) {
                EXPECT_EQ(cover.Type, "Cover (front)");
            }
            if (std::string(c.Extension) == "mp2") {
                // One tag before the frames, with the title and the cover:
                // many readers never look past the first tag.
                const std::string bytes = ReadTextFile(Out("out" + std::to_string(n - 1) + ".mp2"));
                ASSERT_EQ(bytes.compare(0, 3, "ID3"), 0);
                size_t size = 0;
                for (int i = 6; i < 10; ++i) size = size << 7 | (static_cast<unsigned char>(bytes[i]) & 0x7f);
                EXPECT_LT(bytes.find("APIC"), 10 + size);
                EXPECT_LT(bytes.find("TIT2"), 10 + size);
                EXPECT_NE(bytes.compare(10 + size, 3, "ID3"), 0);
            }
        }
    }
}

TEST_F(TranscodeCoverTest, ACoverTooLargeForAnAsfAttributeStillGoesIntoTheHeader) {
    // Over 64 KiB: it goes into the header's metadata library, which the
    // libraries' default ASF reader does not look into, so the file is checked
    // for the picture's bytes ahead of the audio and for all of its audio.
    const std::string flac = Source("src.flac", "flac", {"bmp", 160, 140, "Cover (front)"});
    const TCover original = CoverOf(flac);
    ASSERT_GT(original.Bytes.size(), 65535u);
    Convert(flac, "wmav2", "out.wma");
    const std::string bytes = ReadTextFile(Out("out.wma"));
    const size_t at = bytes.find(std::string(original.Bytes.begin(), original.Bytes.end()));
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(at, bytes.size() / 2);
    const TDecoded decoded = DecodeFile(Out("out.wma"), AV_SAMPLE_FMT_FLT);
    EXPECT_NEAR(static_cast<double>(decoded.Samples()) / 44100, 1.0, 0.1);
}

TEST_F(TranscodeCoverTest, APictureTheContainerCannotTakeIsCodedAsPng) {
    const std::string mp3 = Source("src.mp3", "libmp3lame", {"tiff", 64, 48, "Cover (front)"});
    const TCover cover = Convert(mp3, "", "out.m4a");
    ASSERT_TRUE(cover.Found);
    EXPECT_EQ(cover.Codec, "png");
    EXPECT_EQ(cover.Width, 64);
    EXPECT_EQ(cover.Height, 48);
}

TEST_F(TranscodeCoverTest, NoVideoDropsMovingPicturesButKeepsTheCover) {
    const std::string mp4 = Source("src.mp4", "aac", {"mjpeg", 64, 48, "Cover (front)"}, true);
    const TCover original = CoverOf(mp4);
    ASSERT_TRUE(original.Found);
    ASSERT_EQ(original.MovingVideoStreams, 1);
    const TCover cover = Convert(mp4, "libmp3lame", "out.mp3");
    EXPECT_EQ(cover.MovingVideoStreams, 0);
    EXPECT_TRUE(cover.Found && cover.Bytes == original.Bytes);
}
