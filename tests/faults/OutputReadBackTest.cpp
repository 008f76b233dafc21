// Every output is read back before its conversion counts as finished, and is
// judged by what it really holds: a container that only estimates its length
// must not fail a complete file, and a file without a sample of audio must
// never pass, whatever its format.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class OutputReadBackTest : public LibrariesTest {
protected:
    CliResult Convert(const std::string& source, std::vector<std::string> args) {
        args.insert(args.end(), {"-j", "1", "-o", out_.Path(), source});
        return RunConvert(args, scratch_);
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(OutputReadBackTest, AProgramStreamThatEstimatesItselfShortIsKept) {
    // MP2 in an MPEG program stream: the library estimates the stream's
    // duration from the time stamps near its end, and comes out a frame or
    // two short of the packets, which hold every sample.
    TFixtureMedia clip;
    clip.Seconds = 2.0;
    clip.Video.push_back(TFixtureVideo{});
    clip.Audio.push_back({"aac", 44100, 2});
    WriteMedia(WidePath(src_.File("clip.mp4")), clip);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-f", "mpg"}, std::vector<std::string>{"-f", "mpg", "-x", "target=pal-vcd"}}) {
        fs::remove_all(out_.Path());
        fs::create_directory(out_.Path());
        const CliResult r = Convert(src_.File("clip.mp4"), args);
        EXPECT_EQ(r.exitCode, 0) << args.back() << "\n" << r.out << r.err;
        EXPECT_TRUE(fs::exists(out_.File("clip.mpg"))) << args.back();
    }
}

TEST_F(OutputReadBackTest, AFlacOfHeadersOnlyFailsAsFlacAndAsWavAndLeavesNothing) {
    // A real FLAC stream cut right after its metadata blocks: a stream header
    // promising two seconds, and not one frame.
    WriteTone(WidePath(src_.File("whole.flac")), "flac", 44100, 2, 2.0);
    std::string data = ReadTextFile(src_.File("whole.flac"));
    size_t end = 4;
    for (bool last = false; !last && end + 4 <= data.size();) {
        last = (static_cast<unsigned char>(data[end]) & 0x80) != 0;
        end += 4 + ((static_cast<unsigned char>(data[end + 1]) << 16) |
                    (static_cast<unsigned char>(data[end + 2]) << 8) | static_cast<unsigned char>(data[end + 3]));
    }
    ASSERT_LT(end, data.size());
    data.resize(end);
    WriteTextFile(src_.File("empty.flac"), data);

    CliResult r = Convert(src_.File("empty.flac"), {"-f", "flac"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Output holds no audio (" + out_.File("empty.flac") + ")"), std::string::npos) << r.err;
    // PCM gets no packet at all: the run itself finds nothing converted.
    r = Convert(src_.File("empty.flac"), {"-f", "wav"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("No audio could be converted"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(out_.Path()));
}
