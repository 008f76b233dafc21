// Output names under pressure: two batches racing for one folder, a folder
// where every numbered name is taken, a dangling link in place of an output,
// and a name another program takes between queueing and converting.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "FFEncoder.h"
#include "Fixtures.h"
#include "QueueFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class OutputNamesTest : public LibrariesTest {
protected:
    // `count` short tones s000.wav … in the source folder.
    std::vector<std::string> Sources(int count) {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "s%03d.wav", i);
            files.push_back(src_.File(name));
            WriteToneWav(WidePath(files.back()), 44100, 2, 0.3);
        }
        return files;
    }
    static std::set<std::string> NamesIn(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
        return names;
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(OutputNamesTest, TwoBatchesIntoOneFolderKeepEveryFile) {
    const std::vector<std::string> files = Sources(30);
    std::vector<std::string> args = {"-f", "wav", "-j", "2", "-o", out_.Path()};
    args.insert(args.end(), files.begin(), files.end());
    std::string command;
    for (int run = 0; run < 2; ++run) {
        command += std::string(run ? " & " : "") + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert");
        for (const std::string& a : args) command += " " + ShellQuote(a);
        command += " >/dev/null 2>" + ShellQuote(scratch_.File("err" + std::to_string(run)));
    }
    command += "; wait";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadTextFile(scratch_.File("err0")) + ReadTextFile(scratch_.File("err1")), "");

    // Sixty conversions, sixty files: none written over another.
    const std::set<std::string> names = NamesIn(out_.Path());
    ASSERT_EQ(names.size(), 60u);
    // Each holds one whole conversion of one source: all the same size.
    const auto size = fs::file_size(out_.File(*names.begin()));
    EXPECT_GT(size, 1000u);
    for (const std::string& name : names) EXPECT_EQ(fs::file_size(out_.File(name)), size) << name;
}

TEST_F(OutputNamesTest, WhenEveryNumberedNameIsTakenTheFileFailsAndNothingIsOverwritten) {
    const std::string source = Sources(1).front();
    WriteTextFile(out_.File("s000.mp3"), "mine");
    for (int i = 1; i <= 32767; ++i) std::ofstream(out_.File("s000(" + std::to_string(i) + ").mp3"));
    const CliResult r = RunConvert({"-f", "mp3", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No free name for " + out_.File("s000.mp3")), std::string::npos) << r.err;
    EXPECT_EQ(ReadTextFile(out_.File("s000.mp3")), "mine");
    EXPECT_EQ(fs::file_size(out_.File("s000(32767).mp3")), 0u);
    EXPECT_EQ(NamesIn(out_.Path()).size(), 32768u);
}

TEST_F(OutputNamesTest, ADanglingLinkIsNeitherFollowedNorReplaced) {
    const std::string source = Sources(1).front();
    const std::string target = scratch_.File("elsewhere.mp3");
    ASSERT_EQ(symlink(target.c_str(), out_.File("s000.mp3").c_str()), 0);
    const CliResult r = RunConvert({"-f", "mp3", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(out_.File("s000.mp3")));
    EXPECT_GT(fs::file_size(out_.File("s000(1).mp3")), 1000u);
}

// The name is the queue's until the conversion starts; a file that appears
// under it meanwhile is kept, and the conversion takes the next number.
TEST_F(OutputNamesTest, ANameTakenBetweenQueueingAndConvertingGetsTheNextNumber) {
    const std::string source = Sources(1).front();
    TFFEncoder encoder;
    TFFDecoder probe;
    TNameReservations reserved;
    const TOutputTarget target{out_.Path(), 1, 0, &reserved};
    TProbedFile file = ProbeFile(probe, WidePath(source), target);
    probe.CloseFile();
    ASSERT_TRUE(QueueProbedFile(encoder, file, target).Queued());
    EXPECT_FALSE(fs::exists(out_.File("s000.mp3")));  // nothing is created while queued
    EXPECT_EQ(encoder.TaskStatus(0).State, tsQueued);
    EXPECT_EQ(encoder.TaskStatus(0).OutputFile, WidePath(out_.File("s000.mp3")));

    WriteTextFile(out_.File("s000.mp3"), "another program's");
    std::vector<TTerminateInfo> ends;
    encoder.OnTerminate = [&](void*, const TTerminateInfo& info) { ends.push_back(info); };
    encoder.StartTask(0);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].Completed) << ends[0].ErrorMessage;
    EXPECT_EQ(ReadTextFile(out_.File("s000.mp3")), "another program's");
    EXPECT_GT(fs::file_size(out_.File("s000(1).mp3")), 1000u);
    // Once it has ended, the task names the file it wrote.
    EXPECT_EQ(encoder.TaskStatus(0).State, tsEnded);
    EXPECT_EQ(encoder.TaskStatus(0).OutputFile, WidePath(out_.File("s000(1).mp3")));
}

// Names near the file system's limit of 255 bytes: the hidden temporary name
// of --update and a numbered name are longer than the name itself, and are
// shortened to fit instead of failing.
TEST_F(OutputNamesTest, ANameNearTheLimitIsShortenedWhereItMustGrow) {
    std::string stem;
    while (stem.size() < 240) stem += "\xC3\xA9";  // é, two bytes each
    const std::string source = src_.File(stem + ".wav");
    WriteToneWav(WidePath(source), 8000, 1, 0.3);
    CliResult r = RunConvert({"--update", "-f", "mp3", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(fs::file_size(out_.File(stem + ".mp3")), 1000u);

    // 251 bytes and ".mp3": taken, so the next name needs "(1)" too.
    const std::string longer = stem + std::string(11, 'x');
    const std::string other = src_.File(longer + ".wav");
    fs::copy_file(source, other);
    WriteTextFile(out_.File(longer + ".mp3"), "mine");
    r = RunConvert({"-f", "mp3", "-o", out_.Path(), other}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadTextFile(out_.File(longer + ".mp3")), "mine");
    std::set<std::string> numbered;
    for (const std::string& name : NamesIn(out_.Path()))
        if (name.size() > 7 && name.compare(name.size() - 7, 7, "(1).mp3") == 0) numbered.insert(name);
    ASSERT_EQ(numbered.size(), 1u);
    EXPECT_LE(numbered.begin()->size(), 255u);
    EXPECT_GT(fs::file_size(out_.File(*numbered.begin())), 1000u);
}
