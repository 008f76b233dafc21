// Inputs that are not what they seem: cut to their header, with audio that
// cannot be decoded, with a stream of no known kind, damaged, or not a file
// at all. Each either converts what it can or fails with a clear message, and
// a failed file leaves no output.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <fstream>
#include <limits>
#include <sys/stat.h>

#include "AVFormatStubs.h"
#include "CustomFFmpeg.h"
#include "FileSetup.h"
#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class BadInputsTest : public LibrariesTest {
protected:
    // The first `bytes` bytes of a fresh fixture.
    std::string Cut(const std::string& fixture, size_t bytes) {
        const std::string whole = Utf8Path(GenerateFixture(WidePath(fixture), WidePath(src_.Path())));
        std::string data = ReadTextFile(whole);
        data.resize(std::min(bytes, data.size()));
        const std::string path = src_.File("cut-" + fixture);
        WriteTextFile(path, data);
        return path;
    }
    CliResult Convert(const std::string& source, const std::string& format = "mp3") {
        return RunConvert({"-f", format, "-o", out_.Path(), source}, scratch_);
    }
    bool OutputFolderEmpty() { return fs::is_empty(out_.Path()); }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(BadInputsTest, AFileCutToItsHeaderFailsInsteadOfMakingAnEmptyOutput) {
    const CliResult r = Convert(Cut("tagged-48k.flac", 200));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.find("No audio could be converted") != std::string::npos ||
                r.err.find("damaged or is not a media file") != std::string::npos)
        << r.err;
    EXPECT_TRUE(OutputFolderEmpty());
    // A cut that still holds samples (44 bytes of header, then samples) converts them.
    EXPECT_EQ(Convert(Cut("tone-44k-stereo.wav", 1024)).exitCode, 0);
}

TEST_F(BadInputsTest, AudioThatCannotBeDecodedFailsTheFile) {
    // A real FLAC stream header followed by frames of noise.
    const std::string whole = Utf8Path(GenerateFixture(L"tagged-48k.flac", WidePath(src_.Path())));
    std::string data = ReadTextFile(whole);
    const size_t frames = data.find("\xFF\xF8", 42);
    ASSERT_NE(frames, std::string::npos);
    uint32_t noise = 12345;
    for (size_t i = frames + 2; i < data.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        data[i] = static_cast<char>(noise >> 24);
    }
    const std::string broken = src_.File("broken.flac");
    WriteTextFile(broken, data);
    const CliResult r = Convert(broken);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No audio could be converted"), std::string::npos) << r.err;
    EXPECT_TRUE(OutputFolderEmpty());
}

TEST_F(BadInputsTest, ADamagedFileIsCalledDamaged) {
    const std::string junk = src_.File("junk.mp3");
    std::string data(4096, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 3);
    WriteTextFile(junk, data);
    const CliResult r = Convert(junk);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(junk + ": the file is damaged or is not a media file"), std::string::npos) << r.err;
}

TEST_F(BadInputsTest, APipeIsRefusedAtOnce) {
    const std::string fifo = src_.File("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever comes: reading it would wait for ever.
    const CliResult r = RunConvert({"-f", "mp3", "-o", out_.Path(), fifo}, scratch_, "timeout -s KILL 20");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(fifo + " is a pipe, not a file"), std::string::npos) << r.err;
    EXPECT_TRUE(OutputFolderEmpty());
}

// A stream the engine knows no kind for is left out; the file's audio still
// converts.
TEST_F(BadInputsTest, AStreamOfUnknownKindIsIgnored) {
    AVFormatContext* ic = ff::avformat_alloc_context();
    ASSERT_NE(ic, nullptr);
    AVStream* audio = ff::avformat_new_stream(ic, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codecpar->sample_rate = 8000;
    AVStream* unknown = ff::avformat_new_stream(ic, nullptr);
    unknown->codecpar->codec_type = AVMEDIA_TYPE_UNKNOWN;
    TCustomFFmpeg task(1);
    EXPECT_NO_THROW(ReadInputStreams(task, ic));
    EXPECT_EQ(unknown->discard, AVDISCARD_ALL);
    EXPECT_NE(audio->discard, AVDISCARD_ALL);
    EXPECT_EQ(task.InputCodecs.size(), 2u);
    ff::avformat_free_context(ic);
}

// Float samples that are not numbers, or far out of range, from a damaged
// source: the MP3 encoder's own checks would end the whole process, and the
// AAC encoder refuses them or never ends.
TEST_F(BadInputsTest, SamplesThatAreNotNumbersConvertAsSilence) {
    const std::string path = src_.File("float.wav");
    WriteToneWav(WidePath(path), 22050, 1, 0.5, AV_SAMPLE_FMT_FLT);
    std::string data = ReadTextFile(path);
    const size_t samples = data.find("data") + 8;
    ASSERT_GT(data.size(), samples + 4 * 2000);
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e10f};
    for (int i = 0; i < 3; ++i) std::memcpy(&data[samples + 4 * (1000 + 300 * i)], &bad[i], 4);
    WriteTextFile(path, data);
    const CliResult r = Convert(path);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(fs::file_size(out_.File("float.mp3")), 1000u);
    // Measured as encoded: its loudness is known, and its peak at most full scale.
    const CliResult measured =
        RunConvert({"-f", "mp3", "--replaygain", "-o", out_.Path() + "/measured", path}, scratch_);
    EXPECT_EQ(measured.exitCode, 0) << measured.err;
    EXPECT_NE(measured.out.find("LUFS, peak"), std::string::npos) << measured.out << measured.err;
    EXPECT_EQ(measured.err.find("cannot be measured"), std::string::npos) << measured.err;
    // A whole stretch far out of range: the AAC encoder refuses it, or, at
    // some levels, never ends.
    for (size_t at = samples + 4 * 4000; at + 4 <= data.size(); at += 4) std::memcpy(&data[at], &bad[2], 4);
    WriteTextFile(path, data);
    const CliResult aac = Convert(path, "mkv");
    EXPECT_EQ(aac.exitCode, 0) << aac.err;
}
