// --update replacing what is there: an output older than its source is
// replaced in one step by its new version, never written over in place; a
// conversion that fails or is stopped leaves the old output as it was and no
// part of the new one anywhere. The mirror heals: outputs cut short, made
// from a source since replaced, or left half-made by a killed run are made
// again, and runs at the same time make each output once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <unistd.h>

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
    // Seconds of audio in `file` as ffprobe finds them; -1 when unreadable.
    double Seconds(const std::string& file) {
        const std::string command = "ffprobe -v error -show_entries format=duration -of csv=p=0 " + ShellQuote(file) +
                                    " >" + ShellQuote(scratch_.File("probe")) + " 2>&1";
        if (std::system(command.c_str()) != 0) return -1;
        try {
            return std::stod(ReadTextFile(scratch_.File("probe")));
        } catch (const std::exception&) {
            return -1;
        }
    }
    static void DateBack(const std::string& path) {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24));
    }
    static std::string Tool() { return ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert"); }
    static int Count(const std::string& text, const std::string& part) {
        int count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
        return count;
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
    // What runs that were killed left behind, also of a source that is gone.
    const std::string leftover = OldOutput(".good.mp3.tembrio-part", "left over");
    OldOutput(".gone.mp3.tembrio-part", "left over");
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
    // No temporary file is left: the leftovers, which no run held, went too.
    EXPECT_EQ(NamesIn(out_.Path()), (std::set<std::string>{"good.mp3", "broken.mp3"}));
    EXPECT_FALSE(fs::exists(leftover));
}

TEST_F(UpdateTest, ATemporaryFileARunHoldsIsLeftToIt) {
    const std::string source = src_.File("song.wav");
    WriteToneWav(WidePath(source), 8000, 1, 0.5);
    const std::string held = out_.File(".song.mp3.tembrio-part");
    WriteTextFile(held, "being written");
    const int fd = ::open(held.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    CliResult r = RunConvert({"--update", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("song.wav: being converted by another run\nSkipped: song.wav -> " + out_.File("song.mp3")),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadTextFile(held), "being written");
    EXPECT_EQ(NamesIn(out_.Path()), std::set<std::string>{".song.mp3.tembrio-part"});

    // Its run ends without a word: the file is a leftover now.
    ::close(fd);
    r = RunConvert({"--update", "-o", out_.Path(), source}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(NamesIn(out_.Path()), std::set<std::string>{"song.mp3"});
    EXPECT_EQ(Codec(out_.File("song.mp3")), "mp3\n");
}

// A file cut short keeps what it got, but neither under the song's name nor
// with the song's tags; --update makes the song and clears away what stopped
// runs left of it.
TEST_F(UpdateTest, AStoppedPlainBatchIsCompletedByUpdate) {
    // Long enough that the file running when the signal comes is cut short.
    std::vector<std::string> sources;
    for (int i = 0; i < 4; ++i) {
        sources.push_back(src_.File(std::to_string(i) + ".wav"));
        if (i == 0) WriteToneWav(WidePath(sources[0]), 8000, 1, 300.0);
        else fs::copy_file(sources[0], sources.back());
    }
    std::string command = "exec " + Tool() + " -f mp3 -j 1 --progress=jsonl -o " + ShellQuote(out_.Path());
    for (const std::string& source : sources) command += " " + ShellQuote(source);
    std::string out;
    bool signalled = false;
    RunAndSignalAfterFirstFile(command, SIGTERM, out, signalled, "{\"event\":\"progress\",\"index\":1,");
    ASSERT_TRUE(signalled) << out;
    // The file that was running is kept as far as it got, under a name that
    // says so; the name of the song stays free.
    const std::string stopped = out_.File("1 (stopped).mp3");
    ASSERT_NE(out.find("\"status\":\"stopped\",\"output\":\"" + stopped + "\""), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(out_.File("1.mp3")));
    const double cut = Seconds(stopped);
    ASSERT_GT(cut, 0.0);
    ASSERT_LT(cut, 299.0);
    const auto tags = [&](const std::string& file) {
        return CommandOutput("ffprobe -v error -show_entries format_tags -of default=nw=1 " + ShellQuote(file));
    };
    EXPECT_NE(tags(out_.File("0.mp3")).find("TAG:encoder="), std::string::npos);
    EXPECT_EQ(tags(stopped), "");
    // What an earlier stopped run left, and a file that only looks alike.
    fs::copy_file(stopped, out_.File("1 (stopped)(1).mp3"));
    fs::copy_file(stopped, out_.File("10 (stopped).mp3"));

    const std::vector<std::string> args = {"--update", "-f", "mp3", "-o", out_.Path()};
    std::vector<std::string> all = args;
    all.insert(all.end(), sources.begin(), sources.end());
    const CliResult r = RunConvert(all, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    // The finished one is known to be whole; the others are made now.
    EXPECT_NE(r.out.find("Skipped: 0.wav -> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Total files: 4\nSuccessed: 3\nFailed: 0\nSkipped: 1\n"), std::string::npos) << r.out;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(Seconds(out_.File(std::to_string(i) + ".mp3")), 300.0, 0.2) << i;
    EXPECT_EQ(NamesIn(out_.Path()),
              (std::set<std::string>{"0.mp3", "1.mp3", "2.mp3", "3.mp3", "10 (stopped).mp3"}));
}

TEST_F(UpdateTest, ASourceReplacedByAnOlderFileIsConvertedAgain) {
    const std::string source = src_.File("song.wav");
    WriteToneWav(WidePath(source), 8000, 1, 3.0);
    const std::vector<std::string> args = {"--update", "-f", "flac", "-o", out_.Path(), source};
    ASSERT_EQ(RunConvert(args, scratch_).exitCode, 0);
    ASSERT_NEAR(Seconds(out_.File("song.flac")), 3.0, 0.01);

    // Another recording, dated before the output was made, takes its place
    // (a file moved in from elsewhere keeps its date).
    WriteToneWav(WidePath(scratch_.File("new.wav")), 8000, 1, 1.0);
    DateBack(scratch_.File("new.wav"));
    fs::rename(scratch_.File("new.wav"), source);
    CliResult r = RunConvert(args, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Finish: song.wav"), std::string::npos) << r.out;
    EXPECT_NEAR(Seconds(out_.File("song.flac")), 1.0, 0.01);
    r = RunConvert(args, scratch_);
    EXPECT_NE(r.out.find("Skipped: song.wav"), std::string::npos) << r.out;
}

TEST_F(UpdateTest, RunsAtOnceMakeEachOutputOnce) {
    const int count = 16, runs = 4;
    std::set<std::string> expected;
    for (int i = 0; i < count; ++i) {
        const std::string name = (i % 2 ? "b/" : "a/") + std::to_string(i);
        fs::create_directories(src_.File(name.substr(0, 1)));
        WriteToneWav(WidePath(src_.File(name + ".wav")), 8000, 1, 1.0);
        expected.insert(name + ".mp3");
    }
    std::string command;
    for (int run = 0; run < runs; ++run)
        command += Tool() + " -r --keep-tree --update -j 2 -o " + ShellQuote(out_.Path()) + " " +
                   ShellQuote(src_.Path()) + " >" + ShellQuote(scratch_.File("out" + std::to_string(run))) +
                   " 2>&1 & ";
    command += "wait";
    ASSERT_EQ(std::system(command.c_str()), 0);

    int converted = 0;
    for (int run = 0; run < runs; ++run) {
        const std::string out = ReadTextFile(scratch_.File("out" + std::to_string(run)));
        EXPECT_NE(out.find("Failed: 0\n"), std::string::npos) << out;
        converted += Count(out, "Finish: ");
    }
    // One conversion per source, one file per output.
    EXPECT_EQ(converted, count);
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(out_.Path()))
        if (!entry.is_directory()) names.insert(fs::relative(entry.path(), out_.Path()).string());
    EXPECT_EQ(names, expected);
}

TEST_F(UpdateTest, WholeOutputsOfEveryFormatAreKeptAndCutOnesMadeAgain) {
    // Outputs that record nothing of their source, as an earlier version
    // left them, newer than their sources: only their length tells.
    const std::string whole = src_.File("whole.wav"), adts = src_.File("adts.aac"), cut = src_.File("cut.wav");
    WriteToneWav(WidePath(whole), 44100, 2, 3.0);
    WriteToneWav(WidePath(cut), 44100, 2, 3.0);
    // Raw AAC only estimates its length from its bit rate.
    WriteTone(WidePath(adts), "aac", 44100, 2, 3.0);
    WriteToneWav(WidePath(scratch_.File("cut.wav")), 44100, 2, 1.0);
    for (const std::string& source : {whole, adts, cut}) DateBack(source);
    for (const char* format : {"wav", "mp3", "wma", "ogg", "aac", "m4a", "flac", "mp2"}) {
        TempDir out;
        const std::vector<std::string> plain = {"-f", format, "-o", out.Path(), whole, adts, scratch_.File("cut.wav")};
        ASSERT_EQ(RunConvert(plain, scratch_).exitCode, 0) << format;
        for (const auto& entry : fs::directory_iterator(out.Path()))
            ::removexattr(entry.path().c_str(), "user.tembrio.source");

        const CliResult r = RunConvert({"--update", "-f", format, "-o", out.Path(), whole, adts, cut}, scratch_);
        EXPECT_EQ(r.exitCode, 0) << format << r.out << r.err;
        EXPECT_NE(r.out.find("Skipped: whole.wav"), std::string::npos) << format << r.out;
        EXPECT_NE(r.out.find("Skipped: adts.aac"), std::string::npos) << format << r.out;
        EXPECT_NE(r.out.find("Finish: cut.wav"), std::string::npos) << format << r.out;
        EXPECT_NEAR(Seconds(out.File(std::string("cut.") + format)), 3.0, 0.15) << format;
    }
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
