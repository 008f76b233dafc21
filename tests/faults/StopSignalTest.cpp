// SIGTERM and SIGHUP in the middle of a batch (a logout, a service manager, a
// kill): handled like Ctrl-C, so the running files are finalised, files that
// never started leave nothing behind, and the totals are printed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class StopSignalTest : public LibrariesTest {
protected:
    // Runs a batch of `count` M4A conversions and sends `signal` once the
    // first file has finished. Returns the wait status; `out` gets stdout.
    int RunAndSignal(int signal, int count, std::string& out) {
        WriteToneWav(WidePath(src_.File("0.wav")), 44100, 2, 2.0);
        std::string command = "exec " + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert") +
                              " -f m4a -j 2 -o " + ShellQuote(out_.Path());
        for (int i = 0; i < count; ++i) {
            const std::string name = src_.File(std::to_string(i) + ".wav");
            if (i > 0) fs::copy_file(src_.File("0.wav"), name);
            command += " " + ShellQuote(name);
        }
        bool signalled = false;
        return RunAndSignalAfterFirstFile(command, signal, out, signalled);
    }

    // ffprobe opens the file and finds its AAC stream: an M4A whose end was
    // never written has no index and fails here.
    bool Playable(const std::string& file) {
        const std::string command = "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 " +
                                    ShellQuote(file) + " >" + ShellQuote(scratch_.File("probe")) + " 2>&1";
        return std::system(command.c_str()) == 0 && ReadTextFile(scratch_.File("probe")) == "aac\n";
    }

    TempDir src_, out_, scratch_;
};

int CountLines(const std::string& text, const std::string& start) {
    int n = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) n += line.rfind(start, 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

TEST_F(StopSignalTest, TermAndHangUpStopTheBatchAndFinaliseTheRunningFiles) {
    const int count = 60;
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGHUP");
        for (const auto& entry : fs::directory_iterator(out_.Path())) fs::remove(entry.path());
        for (const auto& entry : fs::directory_iterator(src_.Path())) fs::remove(entry.path());
        std::string out;
        const int status = RunAndSignal(signal, count, out);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << "\n"
                                       << out;
        EXPECT_EQ(WEXITSTATUS(status), 1) << out;

        const int finished = CountLines(out, "Finish: ");
        EXPECT_NE(out.find("Total files: " + std::to_string(count) + "\nSuccessed: " + std::to_string(finished) +
                           "\nFailed: 0\nStopped: " + std::to_string(count - finished) + "\n"),
                  std::string::npos)
            << out;
        EXPECT_LT(finished, count);
        // What ran is finalised; what never started left no file. Two jobs:
        // at most two files were running when the signal came.
        int files = 0;
        for (const auto& entry : fs::directory_iterator(out_.Path())) {
            ++files;
            EXPECT_TRUE(Playable(entry.path())) << entry.path() << ": " << ReadTextFile(scratch_.File("probe"));
        }
        EXPECT_GE(files, finished);
        EXPECT_LE(files, finished + 2);
    }
}
