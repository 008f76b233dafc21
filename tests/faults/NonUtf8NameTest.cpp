// A file whose name is not valid UTF-8 (bytes from an old Latin-1 system, a
// camera, an archive): it converts under its own bytes, its output carries the
// same bytes, and the messages show the byte escaped.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class NonUtf8NameTest : public LibrariesTest {
protected:
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(NonUtf8NameTest, ANameWithAByteThatIsNotUtf8ConvertsUnderTheSameBytes) {
    // "café" in Latin-1: 0xE9 alone is no UTF-8.
    const std::string source = src_.File("caf\xE9.wav");
    WriteToneWav(WidePath(src_.File("tone.wav")), 44100, 2, 0.5);
    fs::rename(src_.File("tone.wav"), source);
    const std::string original = ReadTextFile(source);

    CliResult r = RunConvert({"-f", "flac", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Finish: caf\\xE9.wav -> " + out_.Path() + "/caf\\xE9.flac\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(out_.File("caf\xE9.flac")));
    EXPECT_GT(fs::file_size(out_.File("caf\xE9.flac")), 0u);
    EXPECT_EQ(ReadTextFile(source), original);

    CliResult info = RunConvert({"--info", source}, scratch_);
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("File: " + src_.Path() + "/caf\\xE9.wav\nStartTime: "), std::string::npos) << info.out;
}
