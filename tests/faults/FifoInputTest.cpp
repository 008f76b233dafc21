// A named pipe given as a file: the probe must not wait for ever on it (nobody
// writes), nor read it dry before the conversion opens it again. It is refused
// at once with a message that says what it is. One found in a folder is
// left out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Fixtures.h"
#include "TestSupport.h"

namespace {

class FifoInputTest : public LibrariesTest {
protected:
    TempDir dir_, scratch_;
};

} // namespace

TEST_F(FifoInputTest, InfoRefusesANamedPipeAtOnce) {
    const std::string fifo = dir_.File("song.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CliResult r = RunConvert({"--info", fifo}, scratch_, "exec timeout -s KILL 20");
    EXPECT_EQ(r.signal, 0) << "ended by signal " << r.signal;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(fifo + " is a pipe, not a file: only files can be converted"), std::string::npos) << r.err;
}

// Below a folder that is searched, a pipe, a socket or a dangling link with a
// media file's name is no media file and no failure: a library in a home
// folder converts with status 0. A link to a file is taken.
TEST_F(FifoInputTest, AFolderSearchLeavesWhatIsNoFileOut) {
    const std::string tree = dir_.File("music");
    ASSERT_TRUE(std::filesystem::create_directory(tree));
    const std::string tone = tree + "/tone.wav";
    WriteToneWav(WidePath(tone), 8000, 1, 0.3);
    ASSERT_EQ(mkfifo((tree + "/pipe.mp3").c_str(), 0600), 0);
    ASSERT_EQ(symlink((tree + "/gone.flac").c_str(), (tree + "/dangling.flac").c_str()), 0);
    ASSERT_EQ(symlink(tone.c_str(), (tree + "/linked.wav").c_str()), 0);
    const std::string out = dir_.File("out");
    CliResult r = RunConvert({"-r", "-f", "flac", "-o", out, tree}, scratch_, "exec timeout -s KILL 60");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 2\nSuccessed: 2\nFailed: 0\nSkipped: 2 that are not media files\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(std::filesystem::exists(out + "/tone.flac"));
    EXPECT_TRUE(std::filesystem::exists(out + "/linked.flac"));
}
