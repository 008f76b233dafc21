// --update replacing what is there: an output older than its source is
// replaced in one step by its new version, never written over in place; a
// conversion that fails or is stopped leaves the old output as it was and no
// part of the new one anywhere.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class UpdateTest : public LibrariesTest {
protected:
    // `text` in out/`name`, dated long before any source.
    std::string OldOutput(const std::string& name, const std::string& text) {
        const std::string path = out_.File(name);
        WriteTextFile(path, text);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
        return path;
    }
    static ino_t Inode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }
    static std::set<std::string> NamesIn(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
        return names;
    }
    std::string Codec(const std::string& file) {
        const std::string command = "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name "
                                    "-of csv=p=0 " +
                                    ShellQuote(file) + " >" + ShellQuote(scratch_.File("probe")) + " 2>&1";
        return std::system(command.c_str()) == 0 ? ReadTextFile(scratch_.File("probe")) : "unplayable";
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(UpdateTest, AStaleOutputIsReplacedWholeAndAFailedOneIsLeftAlone) {
    const std::string good = src_.File("good.wav");
    WriteToneWav(WidePath(good), 44100, 2, 0.5);
    // A real FLAC stream header followed by frames of noise: it opens, but
    // its audio cannot be decoded.
    std::string data = ReadTextFile(Utf8Path(GenerateFixture(L"tagged-48k.flac", WidePath(scratch_.Path()))));
    const size_t frames = data.find("\xFF\xF8", 42);
    ASSERT_NE(frames, std::string::npos);
    for (size_t i = frames + 2; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 >> 3);
    const std::string broken = src_.File("broken.flac");
    WriteTextFile(broken, data);

    const std::string goodOut = OldOutput("good.mp3", "old");
    const std::string brokenOut = OldOutput("broken.mp3", "old");
    // What a run that was killed left behind.
    const std::string leftover = OldOutput(".good.mp3.tembrio-part", "left over");
    const ino_t goodInode = Inode(goodOut), brokenInode = Inode(brokenOut);
    const auto brokenTime = fs::last_write_time(brokenOut);

    const CliResult r = RunConvert({"--update", "-o", out_.Path(), good, broken}, scratch_);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 2\nSuccessed: 1\nFailed: 1\nSkipped: 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Failed: broken.flac -> " + brokenOut + ": "), std::string::npos) << r.err;

    // The new version took the old one's place: another file under the same name.
    EXPECT_EQ(Codec(goodOut), "mp3\n");
    EXPECT_NE(Inode(goodOut), goodInode);
    // The failed one left the old output as it was.
    EXPECT_EQ(ReadTextFile(brokenOut), "old");
    EXPECT_EQ(Inode(brokenOut), brokenInode);
    EXPECT_EQ(fs::last_write_time(brokenOut), brokenTime);
    // No temporary file is left, and the leftover was not in the way.
    EXPECT_EQ(NamesIn(out_.Path()), (std::set<std::string>{"good.mp3", "broken.mp3", ".good.mp3.tembrio-part"}));
    EXPECT_EQ(ReadTextFile(leftover), "left over");
}

TEST_F(UpdateTest, AStoppedRunLeavesOnlyFinishedFiles) {
    // Long enough that the files running when the signal comes have written
    // much of their audio.
    WriteToneWav(WidePath(src_.File("0.wav")), 8000, 1, 120.0);
    std::string command = "exec " + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert") +
                          " -f m4a -j 2 --update --progress=jsonl -o " + ShellQuote(out_.Path());
    const int count = 4;
    for (int i = 0; i < count; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        if (i > 0) fs::copy_file(src_.File("0.wav"), name);
        // Half of them replace an older output.
        if (i % 2) OldOutput(std::to_string(i) + ".m4a", "old");
        command += " " + ShellQuote(name);
    }
    std::string out;
    bool signalled = false;
    const int status = RunAndSignalAfterFirstFile(command, SIGTERM, out, signalled, "{\"event\":\"progress\"");
    ASSERT_TRUE(signalled) << out;
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 1) << out;

    int converted = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        converted += line.find("\"status\":\"converted\"") != std::string::npos ? 1 : 0;
    EXPECT_LT(converted, count);
    // Every file is either a whole new version or the old one untouched, and
    // nothing else is there.
    int fresh = 0;
    for (const std::string& name : NamesIn(out_.Path())) {
        ASSERT_NE(name[0], '.') << name;
        if (ReadTextFile(out_.File(name)) == "old") continue;
        EXPECT_EQ(Codec(out_.File(name)), "aac\n") << name;
        ++fresh;
    }
    EXPECT_EQ(fresh, converted);
}
