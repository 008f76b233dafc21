// Tags and covers of every audio format, read back with TagLib the way each
// format's players read them: the fields under their names, comment and lyrics
// in their languages, other tags under their own names, the cover byte for
// byte as the front cover, the RIFF INFO of a WAV decodable as Latin-1.
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include "ReplayGainTags.h"
#include "StreamList.h"
#include "TagFiles.h"
#include "TranscodeTestSupport.h"

using namespace TagLib;

namespace {

using TFields = std::map<std::string, std::string>;

// What a reader finds: the fields under the names the file stores them, and
// the front cover.
struct TFound {
    TFields Fields;
    std::vector<uint8_t> Cover;
    std::string CoverMime;
    int Covers = 0;
};

std::string Utf8(const String& s) { return s.to8Bit(true); }

void TakeCover(TFound& found, const ByteVector& data, const String& mime) {
    ++found.Covers;
    found.Cover.assign(data.begin(), data.end());
    found.CoverMime = Utf8(mime);
}

void ReadId3(const ID3v2::Tag* tag, TFound& found) {
    ASSERT_NE(tag, nullptr);
    for (const ID3v2::Frame* frame : tag->frameList()) {
        const std::string id(frame->frameID().data(), 4);
        if (auto* c = dynamic_cast<const ID3v2::CommentsFrame*>(frame))
            found.Fields["COMM/" + std::string(c->language().data(), c->language().size())] = Utf8(c->text());
        else if (auto* l = dynamic_cast<const ID3v2::UnsynchronizedLyricsFrame*>(frame))
            found.Fields["USLT/" + std::string(l->language().data(), l->language().size())] = Utf8(l->text());
        else if (auto* u = dynamic_cast<const ID3v2::UserTextIdentificationFrame*>(frame))
            found.Fields["TXXX/" + Utf8(u->description())] = Utf8(u->fieldList()[1]);
        else if (auto* p = dynamic_cast<const ID3v2::AttachedPictureFrame*>(frame)) {
            if (p->type() == ID3v2::AttachedPictureFrame::FrontCover) TakeCover(found, p->picture(), p->mimeType());
        } else
            found.Fields[id] = Utf8(frame->toString());
    }
}

void ReadXiph(const Ogg::XiphComment* comment, TFound& found) {
    ASSERT_NE(comment, nullptr);
    for (const auto& [name, values] : comment->fieldListMap()) found.Fields[Utf8(name)] = Utf8(values.toString("|"));
    for (const FLAC::Picture* p : const_cast<Ogg::XiphComment*>(comment)->pictureList())
        if (p->type() == FLAC::Picture::FrontCover) TakeCover(found, p->data(), p->mimeType());
}

void ReadMp4(MP4::Tag* tag, TFound& found) {
    for (const auto& [key, item] : tag->itemMap()) {
        const std::string name = Utf8(key);
        if (name == "trkn" || name == "disk")
            found.Fields[name] = std::to_string(item.toIntPair().first) + "/" + std::to_string(item.toIntPair().second);
        else if (name == "covr")
            for (const MP4::CoverArt& art : item.toCoverArtList())
                TakeCover(found, art.data(), art.format() == MP4::CoverArt::JPEG ? "image/jpeg" : "other");
        else
            found.Fields[name] = Utf8(item.toStringList().toString("|"));
    }
}

void ReadAsf(ASF::Tag* tag, TFound& found) {
    // The fields of the content description, apart from the attributes of the same names.
    const std::pair<const char*, String> described[] = {{"CD/Title", tag->title()},
                                                         {"CD/Author", tag->artist()},
                                                         {"CD/Description", tag->comment()},
                                                         {"CD/Copyright", tag->copyright()}};
    for (const auto& [name, value] : described)
        if (!value.isEmpty()) found.Fields[name] = Utf8(value);
    for (const auto& [name, attributes] : tag->attributeListMap()) {
        for (const ASF::Attribute& a : attributes) {
            if (a.type() == ASF::Attribute::BytesType && name == "WM/Picture") {
                const ASF::Picture p = a.toPicture();
                if (p.type() == ASF::Picture::FrontCover) TakeCover(found, p.picture(), p.mimeType());
            } else if (a.type() == ASF::Attribute::DWordType) {
                found.Fields[Utf8(name)] = std::to_string(a.toUInt());
            } else {
                found.Fields[Utf8(name)] = Utf8(a.toString());
            }
        }
    }
}

uint32_t LittleEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// The RIFF INFO fields of a WAV file as their readers decode them: Latin-1.
void ReadInfo(const std::string& path, TFound& found) {
    const std::string bytes = ReadTextFile(path);
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = LittleEndian32(bytes, at + 4);
        if (bytes.compare(at, 4, "LIST") == 0 && bytes.compare(at + 8, 4, "INFO") == 0) {
            for (size_t field = at + 12; field + 8 <= at + 8 + size;) {
                const uint32_t length = LittleEndian32(bytes, field + 4);
                std::string value = bytes.substr(field + 8, length);
                value.erase(value.find_last_not_of('\0') + 1);
                found.Fields["INFO/" + bytes.substr(field, 4)] = Utf8(String(value, String::Latin1));
                field += 8 + length + (length & 1);
            }
        }
        at += 8 + size + (size & 1);
    }
}

// Everything the file's format holds, read as that format.
TFound ReadBack(const std::string& path, const std::string& extension) {
    TFound found;
    const char* name = path.c_str();
    if (extension == "mp3" || extension == "mp2" || extension == "aac") {
        MPEG::File file(name);
        EXPECT_TRUE(file.isValid());
        EXPECT_FALSE(file.hasID3v1Tag() || file.hasAPETag());
        ReadId3(file.ID3v2Tag(), found);
    } else if (extension == "wav") {
        RIFF::WAV::File file(name);
        EXPECT_TRUE(file.isValid());
        EXPECT_TRUE(file.hasInfoTag());
        ReadId3(file.ID3v2Tag(), found);
        ReadInfo(path, found);
    } else if (extension == "flac") {
        FLAC::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadXiph(file.xiphComment(), found);
        for (const FLAC::Picture* p : file.pictureList())
            if (p->type() == FLAC::Picture::FrontCover) TakeCover(found, p->data(), p->mimeType());
    } else if (extension == "ogg") {
        Ogg::Vorbis::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadXiph(file.tag(), found);
    } else if (extension == "opus") {
        Ogg::Opus::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadXiph(file.tag(), found);
    } else if (extension == "spx") {
        Ogg::Speex::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadXiph(file.tag(), found);
    } else if (extension == "m4a") {
        MP4::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadMp4(file.tag(), found);
    } else if (extension == "wma") {
        ASF::File file(name);
        EXPECT_TRUE(file.isValid());
        ReadAsf(file.tag(), found);
    }
    return found;
}

// The encoder field: this program, whatever its version.
void ExpectEncoder(TFields& fields, const std::string& name) {
    EXPECT_EQ(fields[name].rfind("Tembrio Audio Converter ", 0), 0u) << name << "=" << fields[name];
    fields.erase(name);
}

const char* const Title = "T\xC3\xABst \xE2\x80\x93 \xC5\x81\xC3\xB3" "d\xC5\xBA";  // "Tëst – Łódź"

const TFields Id3Expected = {
    {"TIT2", Title},          {"TPE1", "An Artist"},   {"TALB", "An Album"},         {"TPE2", "Album Artists"},
    {"TRCK", "3/12"},         {"TPOS", "1/2"},         {"TDRC", "2021"},             {"TCON", "Jazz"},
    {"COMM/eng", "Remark"},   {"USLT/deu", "La la la"}, {"TCOM", "Writer"},          {"TXXX/MyTag", "Mine"},
    {"TXXX/REPLAYGAIN_TRACK_GAIN", "-3.10 dB"},
};

const TFields XiphExpected = {
    {"TITLE", Title},        {"ARTIST", "An Artist"},  {"ALBUM", "An Album"},  {"ALBUMARTIST", "Album Artists"},
    {"TRACKNUMBER", "3"},    {"TRACKTOTAL", "12"},     {"DISCNUMBER", "1"},    {"DISCTOTAL", "2"},
    {"DATE", "2021"},        {"GENRE", "Jazz"},        {"COMMENT", "Remark"},  {"LYRICS", "La la la"},
    {"COMPOSER", "Writer"},  {"MYTAG", "Mine"},        {"REPLAYGAIN_TRACK_GAIN", "-3.10 dB"},
};

const TFields Mp4Expected = {
    {"\xC2\xA9nam", Title},    {"\xC2\xA9" "ART", "An Artist"}, {"\xC2\xA9" "alb", "An Album"}, {"aART", "Album Artists"},
    {"trkn", "3/12"},          {"disk", "1/2"},                 {"\xC2\xA9" "day", "2021"},     {"\xC2\xA9gen", "Jazz"},
    {"\xC2\xA9" "cmt", "Remark"}, {"\xC2\xA9lyr", "La la la"},  {"\xC2\xA9wrt", "Writer"},
    {"----:com.apple.iTunes:MyTag", "Mine"}, {"----:com.apple.iTunes:REPLAYGAIN_TRACK_GAIN", "-3.10 dB"},
};

const TFields AsfExpected = {
    {"CD/Title", Title},        {"CD/Author", "An Artist"},     {"WM/AlbumTitle", "An Album"}, {"WM/AlbumArtist", "Album Artists"},
    {"WM/TrackNumber", "3"},    {"TOTALTRACKS", "12"},       {"WM/PartOfSet", "1/2"},       {"WM/Year", "2021"},
    {"WM/Genre", "Jazz"},       {"CD/Description", "Remark"},   {"WM/Lyrics", "La la la"},     {"WM/Composer", "Writer"},
    {"MyTag", "Mine"},          {"REPLAYGAIN_TRACK_GAIN", "-3.10 dB"},
};

// RIFF INFO holds what Latin-1 can: "ë" and "ó" are Latin-1, "–", "Ł" and "ź" are not.
const TFields InfoExpected = {
    {"INFO/INAM", "T\xC3\xABst - L\xC3\xB3" "dz"}, {"INFO/IART", "An Artist"}, {"INFO/IPRD", "An Album"},
    {"INFO/IPRT", "3"}, {"INFO/ICRD", "2021"}, {"INFO/IGNR", "Jazz"}, {"INFO/ICMT", "Remark"},
};

struct TTagCase {
    const char* Extension;
    const char* Codec;
    int Rate;
};

const TTagCase Cases[] = {
    {"mp3", "libmp3lame", 44100}, {"mp2", "mp2", 44100},   {"aac", "aac", 44100},         {"wav", "pcm_s16le", 44100},
    {"flac", "flac", 44100},      {"ogg", "libvorbis", 44100}, {"opus", "libopus", 48000}, {"spx", "libspeex", 32000},
    {"m4a", "", 44100},           {"m4a", "alac", 44100},      {"wma", "wmav2", 44100},
};


class TranscodeTagsTest : public TranscodeTest {
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

    // An MP3 tagged as other programs tag one: its comment in English, its
    // lyrics in German, a tag of its own and a loudness tag in lower case.
    std::string TaggedMp3(const std::string& name) {
        const std::string path = Source(name, "libmp3lame", {"mjpeg", 64, 48, "Cover (front)"});
        MPEG::File file(path.c_str());
        ID3v2::Tag* tag = file.ID3v2Tag(true);
        const std::pair<const char*, const char*> texts[] = {
            {"TIT2", Title}, {"TPE1", "An Artist"}, {"TALB", "An Album"}, {"TPE2", "Album Artists"}, {"TRCK", "3/12"},
            {"TPOS", "1/2"}, {"TDRC", "2021"},      {"TCON", "Jazz"},     {"TCOM", "Writer"}};
        for (const auto& [id, text] : texts) {
            tag->removeFrames(id);
            auto* frame = new ID3v2::TextIdentificationFrame(id, String::UTF8);
            frame->setText(String(text, String::UTF8));
            tag->addFrame(frame);
        }
        auto* comment = new ID3v2::CommentsFrame(String::UTF8);
        comment->setLanguage("eng");
        comment->setText("Remark");
        tag->addFrame(comment);
        auto* lyrics = new ID3v2::UnsynchronizedLyricsFrame(String::UTF8);
        lyrics->setLanguage("deu");
        lyrics->setText("La la la");
        tag->addFrame(lyrics);
        tag->addFrame(new ID3v2::UserTextIdentificationFrame("MyTag", StringList("Mine"), String::UTF8));
        tag->addFrame(new ID3v2::UserTextIdentificationFrame("replaygain_track_gain", StringList("-3.10 dB"), String::UTF8));
        EXPECT_TRUE(file.save(MPEG::File::ID3v2, File::StripOthers, ID3v2::v4));
        return path;
    }

    // The tags are written once the output is closed, before it is checked.
    void Convert(const std::string& source, const char* codec, int rate, const std::string& output) {
        Open({source}, AudioRecord(codec, rate), output, "vn=1");
        EXPECT_EQ(RunTask(), "");
        task.reset();
    }
};

// The pictures of a file as the library's readers see them.
struct TPictures {
    int MovingVideoStreams = 0;
    std::vector<uint8_t> Cover;
};

TPictures PicturesOf(const std::string& path) {
    TPictures pictures;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, path, nullptr, nullptr) < 0) return pictures;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return pictures;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(raw->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            ++pictures.MovingVideoStreams;
    const int index = CoverStreamIndex(raw);
    if (index < 0) return pictures;
    const AVPacket& pic = raw->streams[index]->attached_pic;
    pictures.Cover.assign(pic.data, pic.data + pic.size);
    return pictures;
}

std::vector<uint8_t> SourceCover(const std::string& path) {
    MPEG::File file(path.c_str());
    TFound found;
    ReadId3(file.ID3v2Tag(), found);
    return found.Cover;
}

} // namespace

TEST_F(TranscodeTagsTest, EveryFormatCarriesTheTagsAndTheCoverAsItsPlayersReadThem) {
    const std::string source = TaggedMp3("src.mp3");
    const std::vector<uint8_t> cover = SourceCover(source);
    ASSERT_FALSE(cover.empty());
    for (const TTagCase& c : Cases) {
        SCOPED_TRACE(std::string(c.Extension) + " " + c.Codec);
        const std::string name = std::string("out-") + c.Codec + "." + c.Extension;
        const std::string output = Out(name);
        Convert(source, c.Codec, c.Rate, name);
        TFound found = ReadBack(output, c.Extension);
        const std::string format = c.Extension;
        TFields expected;
        if (format == "mp3" || format == "mp2" || format == "aac" || format == "wav") {
            ExpectEncoder(found.Fields, "TSSE");
            expected = Id3Expected;
        } else if (format == "m4a") {
            ExpectEncoder(found.Fields, "\xC2\xA9too");
            expected = Mp4Expected;
        } else if (format == "wma") {
            ExpectEncoder(found.Fields, "WM/EncodingSettings");
            expected = AsfExpected;
        } else {
            ExpectEncoder(found.Fields, "ENCODER");
            expected = XiphExpected;
        }
        if (format == "wav") {
            ExpectEncoder(found.Fields, "INFO/ISFT");
            expected.insert(InfoExpected.begin(), InfoExpected.end());
            // The program reads its own WAV back as it was meant, whichever
            // of the two tags the library takes.
            AVFormatContext* raw = nullptr;
            ASSERT_GE(OpenInputURL(&raw, output, nullptr, nullptr), 0);
            InputContextPtr input(raw);
            const std::string title = MetadataValue(raw->metadata, "title", "");
            EXPECT_EQ(title.rfind("T\xC3\xABst", 0), 0u) << title;
        }
        EXPECT_EQ(found.Fields, expected);
        if (format == "ogg" || format == "opus" || format == "spx") {
            // A reader that stops at the first comment it cannot take (the
            // picture) still finds the text.
            const std::string bytes = ReadTextFile(output);
            EXPECT_LT(bytes.find("TITLE="), bytes.find("METADATA_BLOCK_PICTURE="));
        }
        EXPECT_EQ(found.Covers, 1);
        EXPECT_TRUE(found.Cover == cover) << found.Cover.size() << " bytes, not " << cover.size();
        EXPECT_EQ(found.CoverMime, "image/jpeg");
    }
}

TEST_F(TranscodeTagsTest, APictureTheTagsCannotNameIsCodedAsPng) {
    const std::string mp3 = Source("src.mp3", "libmp3lame", {"tiff", 64, 48, "Cover (front)"});
    Convert(mp3, "", 44100, "out.m4a");
    TFound found = ReadBack(Out("out.m4a"), "m4a");
    ASSERT_EQ(found.Covers, 1);
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G'};
    EXPECT_TRUE(std::equal(png.begin(), png.end(), found.Cover.begin()));
}

TEST_F(TranscodeTagsTest, NoVideoDropsMovingPicturesButKeepsTheCover) {
    const std::string mp4 = Source("src.mp4", "aac", {"mjpeg", 64, 48, "Cover (front)"}, true);
    const TPictures original = PicturesOf(mp4);
    ASSERT_EQ(original.MovingVideoStreams, 1);
    Convert(mp4, "libmp3lame", 44100, "out.mp3");
    EXPECT_EQ(PicturesOf(Out("out.mp3")).MovingVideoStreams, 0);
    EXPECT_TRUE(ReadBack(Out("out.mp3"), "mp3").Cover == original.Cover);
}

TEST_F(TranscodeTagsTest, AFileTheTagsCannotBeWrittenIntoIsNamedWithTheReason) {
    const std::string path = dir.File("not.flac");
    WriteTextFile(path, "no audio here");
    TTagJob job;
    job.Path = path;
    job.Format = TTagFormat::Flac;
    job.Tags = {{"title", "A Title", ""}};
    try {
        WriteTagFile(job);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "the file cannot be read as its format");
    }
    EXPECT_EQ(ReadTextFile(path), "no audio here");
}

// With ReplayGain asked for, each format carries the track's gain and true
// peak under the names its players read, in place of the source's stale one;
// an album's gain and peak join them later without disturbing the others.
TEST_F(TranscodeTagsTest, EveryFormatCarriesItsReplayGainWhereItsPlayersReadIt) {
    const std::string source = TaggedMp3("src.mp3");
    for (const TTagCase& c : Cases) {
        SCOPED_TRACE(c.Extension);
        const std::string format = c.Extension;
        // Two formats write .m4a: each case has a name of its own.
        const std::string name = std::string("out-") + c.Codec + "." + format;
        const std::string output = Out(name);
        TOutputOptions record = AudioRecord(c.Codec, c.Rate);
        record.ReplayGainTags = true;
        Open({source}, record, name, "vn=1");
        ASSERT_EQ(RunTask(), "");
        const TLoudness loudness = task->Loudness;
        task.reset();
        ASSERT_TRUE(loudness.Measured);
        // The source is a 440 Hz sine at half of full scale, as its MP3 encoder left it.
        EXPECT_NEAR(loudness.Integrated, -7.1, 0.3);
        const std::string prefix = format == "m4a"                       ? "----:com.apple.iTunes:"
                                   : format == "mp3" || format == "mp2" || format == "aac" || format == "wav" ? "TXXX/"
                                                                                                              : "";
        const TFields before = ReadBack(output, format).Fields;
        ASSERT_EQ(before.count(prefix + "REPLAYGAIN_TRACK_GAIN"), 1u);
        EXPECT_EQ(before.at(prefix + "REPLAYGAIN_TRACK_GAIN"), ReplayGainText(loudness.Integrated));
        EXPECT_EQ(before.at(prefix + "REPLAYGAIN_TRACK_PEAK"), ReplayGainPeakText(loudness.TruePeak));
        EXPECT_NEAR(std::stod(before.at(prefix + "REPLAYGAIN_TRACK_PEAK")), 0.5, 0.03);

        WriteAlbumReplayGain(output, loudness.TagFormat, -20, 0.9);
        TFields after = ReadBack(output, format).Fields;
        EXPECT_EQ(after[prefix + "REPLAYGAIN_ALBUM_GAIN"], "2.00 dB");
        EXPECT_EQ(after[prefix + "REPLAYGAIN_ALBUM_PEAK"], "0.900000");
        after.erase(prefix + "REPLAYGAIN_ALBUM_GAIN");
        after.erase(prefix + "REPLAYGAIN_ALBUM_PEAK");
        EXPECT_EQ(after, before);
    }
}
