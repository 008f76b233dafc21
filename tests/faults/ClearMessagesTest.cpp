// Errors the user can act on: an output folder that cannot be used and an
// unknown log level say what is wrong, not only that something is.
#include <gtest/gtest.h>

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
