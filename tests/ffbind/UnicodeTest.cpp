// File names that the locale's charset cannot hold: how they are handed to the
// container library, and the program's own file I/O behind "unicode:utf8:" URLs.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <memory>

#include "AVCodecStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "FFPtr.h"
#include "MediaIO.h"
#include "TestSupport.h"
#include "UnicodeProtocol.h"

namespace fs = std::filesystem;

namespace {

constexpr int ToneRate = 8000;
constexpr int ToneSamples = 1600;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Every test starts in the "C" locale, where any non-ASCII name needs the URL.
class CLocale {
public:
    CLocale() { std::setlocale(LC_ALL, "C"); }
    ~CLocale() { std::setlocale(LC_ALL, "C"); }
};

struct OutputContextDeleter {
    void operator()(AVFormatContext* oc) const {
        CloseOutputIO(oc);
        ff::avformat_free_context(oc);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

uint8_t RampByte(int i) { return static_cast<uint8_t>(i * 7 + 3); }

// Muxes a mono 16-bit WAV of ToneSamples samples into `url` through OpenOutputIO.
void WriteWav(const std::string& url) {
    AVFormatContext* made = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&made, nullptr, "wav", url.c_str()), 0);
    OutputContextPtr oc(made);
    AVStream* st = ff::avformat_new_stream(oc.get(), nullptr);
    ASSERT_NE(st, nullptr);
    st->time_base = AVRational{1, ToneRate};
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = ToneRate;
    st->codecpar->bits_per_coded_sample = 16;
    st->codecpar->block_align = 2;
    ff::av_channel_layout_default(&st->codecpar->ch_layout, 1);

    ASSERT_EQ(OpenOutputIO(oc.get(), url), 0);
    ASSERT_GE(ff::avformat_write_header(oc.get(), nullptr), 0);
    PacketPtr pkt = MakePacket();
    ASSERT_EQ(ff::av_new_packet(pkt.get(), ToneSamples * 2), 0);
    for (int i = 0; i < ToneSamples * 2; ++i) pkt->data[i] = RampByte(i);
    pkt->pts = pkt->dts = 0;
    pkt->duration = ToneSamples;
    ASSERT_GE(ff::av_write_frame(oc.get(), pkt.get()), 0);
    ASSERT_EQ(ff::av_write_trailer(oc.get()), 0);
}

// Opens `url` with OpenInputURL and checks the stream and every byte of it.
void CheckWav(const std::string& url, const std::wstring& expectedName) {
    AVFormatContext* opened = nullptr;
    ASSERT_EQ(OpenInputURL(&opened, url, nullptr, nullptr), 0);
    InputContextPtr ic(opened);
    ASSERT_GE(ff::avformat_find_stream_info(ic.get(), nullptr), 0);
    ASSERT_EQ(ic->nb_streams, 1u);
    const AVCodecParameters* par = ic->streams[0]->codecpar;
    EXPECT_EQ(par->codec_id, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(par->sample_rate, ToneRate);
    EXPECT_EQ(par->ch_layout.nb_channels, 1);
    EXPECT_EQ(URLToFileName(ic->url), expectedName);

    PacketPtr pkt = MakePacket();
    int offset = 0;
    bool bytesMatch = true;
    while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
        for (int i = 0; i < pkt->size; ++i) bytesMatch = bytesMatch && pkt->data[i] == RampByte(offset + i);
        offset += pkt->size;
        ff::av_packet_unref(pkt.get());
    }
    EXPECT_EQ(offset, ToneSamples * 2);
    EXPECT_TRUE(bytesMatch);
}

class UnicodeMediaTest : public LibrariesTest {
protected:
    CLocale locale_;
    TempDir dir_;
};

} // namespace

// ---- names --------------------------------------------------------------------------

TEST(UnicodeNames, NamesOfTheCharsetPassUnchanged) {
    CLocale locale;
    const std::wstring name = L"/music/a b (1).wav";
    EXPECT_FALSE(NeedsUnicodeURL(name));
    EXPECT_EQ(FileNameToURL(name), "/music/a b (1).wav");
    EXPECT_EQ(URLToFileName("/music/a b (1).wav"), name);
}

TEST(UnicodeNames, NameOutsideTheCharsetBecomesAUnicodeURLAndComesBack) {
    CLocale locale;
    const std::wstring name = L"/music/caf\u00e9 \U0001D11E.wav";
    EXPECT_TRUE(NeedsUnicodeURL(name));
    const std::string url = FileNameToURL(name);
    EXPECT_EQ(url, "unicode:utf8:/music/caf\xC3\xA9 \xF0\x9D\x84\x9E.wav");
    EXPECT_TRUE(IsUnicodeURL(url));
    EXPECT_EQ(URLToFileName(url), name);
    // a colon inside the name itself survives the stripping of the prefix
    EXPECT_EQ(URLToFileName(FileNameToURL(L"/a:b/\u00e9")), L"/a:b/\u00e9");
}

TEST(UnicodeNames, UnderAUtf8LocaleEveryNamePassesUnchanged) {
    CLocale restore;
    if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    const std::wstring name = L"/music/caf\u00e9.wav";
    EXPECT_FALSE(NeedsUnicodeURL(name));
    EXPECT_EQ(FileNameToURL(name), "/music/caf\xC3\xA9.wav");
    EXPECT_EQ(URLToFileName("/music/caf\xC3\xA9.wav"), name);
}

TEST(UnicodeNames, NetworkURLsAndUnicodeURLsAreNeverRewritten) {
    CLocale locale;
    EXPECT_FALSE(NeedsUnicodeURL(L"http://example.com/caf\u00e9.mp3"));
    EXPECT_EQ(FileNameToURL(L"http://example.com/caf\u00e9.mp3"), "http://example.com/caf\xC3\xA9.mp3");
    EXPECT_EQ(FileNameToURL(L"udp://239.0.0.1:1234?\u00e9"), "udp://239.0.0.1:1234?\xC3\xA9");
    EXPECT_EQ(FileNameToURL(L"unicode:utf8:/a/\u00e9.wav"), "unicode:utf8:/a/\xC3\xA9.wav");
    // only whole scheme names, in their exact case, are kept
    EXPECT_TRUE(NeedsUnicodeURL(L"HTTP://example.com/\u00e9"));
    EXPECT_TRUE(NeedsUnicodeURL(L"ht://example.com/\u00e9"));
    EXPECT_TRUE(NeedsUnicodeURL(L"C:\\music\\\u00e9.mp3"));
}

TEST(UnicodeNames, ThePrefixAloneIsNotAUnicodeURL) {
    EXPECT_FALSE(IsUnicodeURL("unicode:utf8:"));
    EXPECT_FALSE(IsUnicodeURL("unicode:utf8"));
    EXPECT_EQ(URLToFileName("unicode:utf8:"), L"unicode:utf8:");
    EXPECT_TRUE(IsUnicodeURL("unicode:utf8:x"));
    EXPECT_EQ(URLToFileName("unicode:utf8:x"), L"x");
}

TEST(UnicodeNames, NamesThatAreNotUtf8ReachTheLibraryWithTheirBytes) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
    for (const std::string& bytes : {everyByte, std::string("/music/caf\xE9 \xC3\xA9\xFF.wav")}) {
        const std::wstring name = Utf8ToWide(bytes);
        EXPECT_TRUE(NeedsUnicodeURL(name));
        EXPECT_EQ(WideToUtf8(URLToFileName(FileNameToURL(name))), bytes);
    }
}

// ---- file operations ----------------------------------------------------------------

TEST(UnicodeFileOps, OpenForReadingAMissingFileFailsWithENOENT) {
    TempDir dir;
    TUnicodeFile file;
    EXPECT_EQ(UnicodeOpen(&file, "unicode:utf8:" + dir.File("missing-\xC3\xA9.wav"), AVIO_FLAG_READ), -2);
    EXPECT_EQ(file.Handle, -1);
    EXPECT_FALSE(fs::exists(dir.File("missing-\xC3\xA9.wav")));
}

TEST(UnicodeFileOps, OpenForWritingCreatesOrEmptiesTheFile) {
    TempDir dir;
    const std::string path = dir.File("out-\xC3\xA9.bin");
    WriteTextFile(path, "old contents");
    TUnicodeFile file;
    ASSERT_EQ(UnicodeOpen(&file, "unicode:utf8:" + path, AVIO_FLAG_WRITE), 0);
    EXPECT_EQ(fs::file_size(path), 0u);
    uint8_t data[] = {'a', 'b', 'c'};
    EXPECT_EQ(UnicodeWrite(&file, data, 3), 3);
    EXPECT_NE(UnicodeClose(&file), 0);
    EXPECT_EQ(ReadTextFile(path), "abc");

    TUnicodeFile created;
    ASSERT_EQ(UnicodeOpen(&created, "unicode:utf8:" + dir.File("new-\xC3\xA9.bin"), AVIO_FLAG_READ_WRITE), 0);
    EXPECT_NE(UnicodeClose(&created), 0);
    EXPECT_TRUE(fs::exists(dir.File("new-\xC3\xA9.bin")));
}

TEST(UnicodeFileOps, SeekAndReadFollowTheLibraryContract) {
    TempDir dir;
    const std::string path = dir.File("digits-\xC3\xA9.txt");
    WriteTextFile(path, "0123456789");
    TUnicodeFile file;
    ASSERT_EQ(UnicodeOpen(&file, "unicode:utf8:" + path, AVIO_FLAG_READ), 0);
    uint8_t buf[16] = {};

    EXPECT_EQ(UnicodeSeek(&file, 0, AVSEEK_SIZE), 10);
    EXPECT_EQ(UnicodeSeek(&file, 0, AVSEEK_SIZE | AVSEEK_FORCE), 10);
    ASSERT_EQ(UnicodeRead(&file, buf, 4), 4);  // the size query did not move the position
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "0123");

    EXPECT_EQ(UnicodeSeek(&file, 2, SEEK_SET | AVSEEK_FORCE), 2);
    ASSERT_EQ(UnicodeRead(&file, buf, 16), 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), "23456789");
    EXPECT_EQ(UnicodeRead(&file, buf, 16), AVERROR_EOF);
    EXPECT_EQ(UnicodeSeek(&file, -1, SEEK_END), 9);
    EXPECT_EQ(UnicodeSeek(&file, 0, 7), -1);
    EXPECT_NE(UnicodeClose(&file), 0);
    EXPECT_EQ(UnicodeClose(&file), 0);
}

// ---- through the library ------------------------------------------------------------

TEST_F(UnicodeMediaTest, NonAsciiNameIsWrittenAndReadBackThroughTheProgramsIO) {
    const std::wstring name = Widen(dir_.Path()) + L"/tone-caf\u00e9.wav";
    const std::string url = FileNameToURL(name);
    ASSERT_TRUE(IsUnicodeURL(url));
    WriteWav(url);
    EXPECT_TRUE(fs::exists(dir_.File("tone-caf\xC3\xA9.wav")));
    CheckWav(url, name);

    AVFormatContext* ic = nullptr;
    ASSERT_EQ(OpenInputURL(&ic, url, nullptr, nullptr), 0);
    EXPECT_TRUE(ic->flags & AVFMT_FLAG_CUSTOM_IO);
    EXPECT_NE(ic->interrupt_callback.callback, nullptr);
    CloseInputURL(&ic);
    EXPECT_EQ(ic, nullptr);
    CloseInputURL(&ic);
}

TEST_F(UnicodeMediaTest, AsciiNameUsesTheLibrarysOwnIO) {
    const std::wstring name = Widen(dir_.File("tone.wav"));
    const std::string url = FileNameToURL(name);
    ASSERT_EQ(url, dir_.File("tone.wav"));
    WriteWav(url);
    CheckWav(url, name);
}

TEST_F(UnicodeMediaTest, MissingInputGivesENOENTForEveryKindOfName) {
    for (const std::wstring& name : {Widen(dir_.File("missing.wav")), Widen(dir_.Path()) + L"/missing-\u00e9.wav"}) {
        AVFormatContext* ic = reinterpret_cast<AVFormatContext*>(0x1);
        EXPECT_EQ(OpenInputURL(&ic, FileNameToURL(name), nullptr, nullptr), AVERROR(ENOENT));
        EXPECT_EQ(ic, nullptr);
    }
}

TEST_F(UnicodeMediaTest, InputThatIsNoMediaFailsAndLeavesNothingOpen) {
    WriteTextFile(dir_.File("text-\xC3\xA9.wav"), std::string(4096, 'x'));
    AVFormatContext* ic = nullptr;
    EXPECT_LT(OpenInputURL(&ic, FileNameToURL(Widen(dir_.Path()) + L"/text-\u00e9.wav"), nullptr, nullptr), 0);
    EXPECT_EQ(ic, nullptr);  // the address sanitizer build checks the I/O was freed
}

TEST_F(UnicodeMediaTest, AnOutputIsCreatedOnlyUnderAFreeName) {
    for (const std::wstring& name : {Widen(dir_.File("old.wav")), Widen(dir_.Path()) + L"/old-\u00e9.wav"}) {
        const std::string url = FileNameToURL(name);
        const std::string path = IsUnicodeURL(url) ? url.substr(13) : url;
        WriteTextFile(path, std::string(100, 'x'));
        OutputContextPtr oc(ff::avformat_alloc_context());
        EXPECT_EQ(OpenOutputIO(oc.get(), url), AVERROR(EEXIST));
        EXPECT_EQ(fs::file_size(path), 100u);
        fs::remove(path);
        ASSERT_EQ(OpenOutputIO(oc.get(), url), 0);
        EXPECT_EQ(fs::file_size(path), 0u);
        CloseOutputIO(oc.get());
        EXPECT_EQ(oc->pb, nullptr);
        CloseOutputIO(oc.get());
    }
}

TEST_F(UnicodeMediaTest, TheProtocolListHoldsUnicodeOnceBesideTheLibrarysOwn) {
    RegisterUnicodeProtocol();
    RegisterUnicodeProtocol();
    std::vector<std::string> names = ProtocolNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "unicode"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "file"), 1);
    EXPECT_TRUE(UnicodeProtocolRegistered());
}
