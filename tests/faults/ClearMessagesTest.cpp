// Errors the user can act on: an output folder that cannot be used, an
// unknown log level and a file that cannot be converted say what is wrong,
// not only that something is, in this program's words, not the engine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string CannotCreate = "Fail to create directory! Please check if output folder have the right format! ";

class ClearMessagesTest : public LibrariesTest {
protected:
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(ClearMessagesTest, AnUnusableOutputFolderIsNamedWithTheReason) {
    const std::string source = src_.File("tone.wav");
    WriteToneWav(WidePath(source), 22050, 1, 0.2);
    WriteTextFile(out_.File("file"), "x");
    const std::pair<std::string, std::string> cases[] = {
        {out_.File("file"), out_.File("file") + ": Not a directory\n"},
        {out_.File("file/below"), out_.File("file/below") + ": Not a directory\n"},
        {"", "The folder name is empty.\n"},
    };
    for (const auto& [folder, reason] : cases) {
        CliResult r = RunConvert({"-o", folder, source}, scratch_);
        EXPECT_EQ(r.exitCode, 1) << folder;
        EXPECT_EQ(r.err, CannotCreate + reason);
    }
    EXPECT_EQ(ReadTextFile(out_.File("file")), "x");
}

TEST_F(ClearMessagesTest, AnUnknownLogLevelListsTheLevels) {
    CliResult r = RunConvert({"--log-level", "loud", "x.wav"}, scratch_);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tembrio-convert: --log-level: 'loud' is not a log level; use quiet, panic, fatal, error, "
                     "warning, info, verbose, debug or a level number\n");
}

TEST_F(ClearMessagesTest, AFailedFileIsToldInPlainWordsUnderAnEscapedName) {
    // Pictures only, under a name with a tab and a line end.
    const std::string video = src_.File("clip\tone\n.mkv");
    TFixtureFrames frames;
    frames.Frames = {{0}, {200}, {400}};
    WriteVideoFrames(WidePath(video), frames);
    // A WAV whose format tag no decoder knows.
    const std::string unknown = src_.File("unknown.wav");
    WriteToneWav(WidePath(unknown), 8000, 1, 0.5);
    std::string data = ReadTextFile(unknown);
    const size_t format = data.find("fmt ");
    ASSERT_NE(format, std::string::npos);
    data[format + 8] = '\x12';
    data[format + 9] = '\x34';
    WriteTextFile(unknown, data);

    const CliResult r = RunConvert({"-o", out_.Path(), video, unknown}, scratch_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Failed: clip\\tone\\n.mkv -> " + out_.File("clip\\tone\\n.mp3") +
                         ": the source holds no audio to convert\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Failed: unknown.wav -> " + out_.File("unknown.mp3") +
                         ": the audio of the source is in a coding this program cannot decode\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
}
