// A queued file holds nothing: no open input, no output file. Long batches
// then fit any open-file limit, and a batch that ends early leaves no empty
// outputs behind for the files that never started.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class QueuedFilesTest : public LibrariesTest {
protected:
    std::vector<std::string> Sources(int count, double seconds) {
        WriteToneWav(WidePath(src_.File("one.wav")), 22050, 1, seconds);
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            files.push_back(src_.File("s" + std::to_string(i) + ".wav"));
            fs::copy_file(src_.File("one.wav"), files.back());
        }
        return files;
    }
    int CountFiles(bool emptyOnly) {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(out_.Path()))
            if (!emptyOnly || fs::file_size(entry.path()) == 0) ++n;
        return n;
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(QueuedFilesTest, ABatchFarLongerThanTheOpenFileLimitConvertsEveryFile) {
    const std::vector<std::string> files = Sources(300, 0.05);
    std::vector<std::string> args = {"-f", "wav", "-j", "1", "-o", out_.Path()};
    args.insert(args.end(), files.begin(), files.end());
    // Far below two files per queued input; the hard limit too, so that the
    // program cannot raise it.
    const CliResult r = RunConvert(args, scratch_, "ulimit -Sn 64 && ulimit -Hn 64 &&");
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(0, 2000);
    EXPECT_EQ(CountFiles(false), 300);
    EXPECT_EQ(CountFiles(true), 0);
}

TEST_F(QueuedFilesTest, ATerminatedBatchLeavesNoEmptyFilesForTheFilesThatNeverStarted) {
    const std::vector<std::string> files = Sources(40, 2.0);
    std::vector<std::string> args = {"-f", "mp3", "-j", "1", "-o", out_.Path()};
    args.insert(args.end(), files.begin(), files.end());
    // Killed outright once the first file is under way: nothing can tidy up,
    // so only what was converting may be left.
    std::string command = ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert");
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command = "(" + command + " >/dev/null 2>&1 & pid=$!; for i in $(seq 200); do [ -n \"$(ls -A " +
              ShellQuote(out_.Path()) + ")\" ] && break; sleep 0.05; done; kill -KILL $pid; wait $pid) 2>/dev/null";
    std::system(command.c_str());
    // Finished files and the one under way, but no empty file for each file
    // still waiting.
    EXPECT_LE(CountFiles(true), 1);
}
