// Files the probe cannot open, names outside the locale's charset, and missing libraries.
#include <sys/stat.h>

#include <clocale>

#include "Exception.h"
#include "FFDecode.h"
#include "FFLoad.h"
#include "ProbeTestSupport.h"

namespace {

void ExpectNothingOpen(const TFFDecoder& probe) {
    EXPECT_EQ(probe.FormatContext(), nullptr);
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.FileSize(), -1);
    EXPECT_EQ(probe.FirstAudioStream(), -1);
    EXPECT_EQ(probe.FirstVideoStream(), -1);
}

}  // namespace

class ProbeBadFile : public ProbeTest, public ::testing::WithParamInterface<const wchar_t*> {};

// The library's own wording follows "<file name>: "; the message is logged at error level.
TEST_P(ProbeBadFile, FailsWithTheFileNameAndLeavesNothingOpen) {
    std::wstring param = GetParam();
    std::wstring name = param == L"missing.wav" ? WidePath(dir_.Path()) + L"/" + param : Fixture(param);
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone.mp3")));
    EXPECT_FALSE(probe.LoadFile(name));
    std::string prefix = Narrow(name) + ": ";
    EXPECT_EQ(probe.LastErrMsg().rfind(prefix, 0), 0u) << probe.LastErrMsg();
    EXPECT_GT(probe.LastErrMsg().size(), prefix.size());
    EXPECT_TRUE(Logged(llError, probe.LastErrMsg()));
    ExpectNothingOpen(probe);
    TFileStreamInfo f;
    EXPECT_FALSE(probe.GetFileStreamInfo(f));
    EXPECT_FALSE(probe.DecodeVideoFrame());
    EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeBadFile,
                         ::testing::Values(L"empty.mp3", L"text.mp3", L"truncated.mp4", L"missing.wav"),
                         [](const auto& info) {
                             std::string n = Utf8Path(info.param);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// ffprobe fails on the same files, so the probe is not hiding a readable one.
TEST_F(ProbeTest, FFprobeAgreesTheBadFilesAreUnreadable) {
    for (const wchar_t* n : {L"empty.mp3", L"text.mp3", L"truncated.mp4"}) {
        auto values = FFprobe(Narrow(Fixture(n)), "format=format_name");
        EXPECT_TRUE(values.empty()) << Utf8Path(n);
    }
}

class ProbeLocale : public ProbeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProbeLocale, NonAsciiNameOpensAndComesBack) {
    std::wstring name = Fixture(L"t\u00f6n\u00eb \u2013 \u65e5\u672c.wav");
    if (!std::setlocale(LC_ALL, GetParam())) GTEST_SKIP() << "locale " << GetParam() << " missing";
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(name)) << probe.LastErrMsg();
    EXPECT_EQ(probe.GetFileName(), name);
    struct stat st {};
    ASSERT_EQ(stat(Narrow(name).c_str(), &st), 0);
    EXPECT_EQ(probe.FileSize(), st.st_size);
    TAudioStreamInfo a;
    ASSERT_TRUE(probe.GetAudioStreamInfo(-1, a));
    EXPECT_EQ(a.SampleRate, 22050);
    EXPECT_EQ(a.Channels, 1);
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    EXPECT_EQ(f.Duration, 1000000);
    probe.CloseFile();
    std::setlocale(LC_ALL, "C");
}

INSTANTIATE_TEST_SUITE_P(Locales, ProbeLocale, ::testing::Values("C", "C.UTF-8"),
                         [](const auto& info) {
                             return std::string(info.param) == "C" ? "C" : "Utf8";
                         });

// Without the binding every library counts as missing; codec first.
TEST(ProbeLibraries, MissingLibrariesRaise) {
    TFFDecoder probe;
    try {
        probe.LoadFile(L"/nonexistent.wav");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    EXPECT_THROW(probe.AttachFormatContext(reinterpret_cast<AVFormatContext*>(&probe)), Exception);
    EXPECT_EQ(probe.FormatContext(), nullptr);
}

TEST(ProbeLibraries, FormatLibraryMissing) {
    FFBindStartup();
    FFLoader()->SetLibraryPath(LibDir());
    ASSERT_TRUE(FFLoader()->Load({LibAVCodec, LibSwResample, LibAVUtil, LibSwScale}))
        << FFLoader()->LastError();
    {
        TFFDecoder probe;
        try {
            probe.LoadFile(L"/nonexistent.wav");
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "LibAVFormat not loaded.");
        }
    }
    FFBindShutdown();
}
