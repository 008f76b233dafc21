// Sources that cannot be read as far as they promise: cut short on disk, or
// cut after they were queued. What could be read converts, and the user is
// told so; a whole file, or a conversion limited on purpose, is never called
// damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "FFEncoder.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "MediaWriter.h"
#include "TestSupport.h"

namespace {

class DamagedSourceTest : public LibrariesTest {
protected:
    // Ten seconds of tone, written by `encoder` into `name`'s container.
    std::string Tone(const std::string& name, const std::string& encoder) {
        const std::string path = src_.File(name);
        WriteTone(WidePath(path), encoder, 44100, 2, 10.0);
        return path;
    }
    // `path` keeps only its first `part` of bytes.
    static void Cut(const std::string& path, double part) {
        std::filesystem::resize_file(path, static_cast<uintmax_t>(std::filesystem::file_size(path) * part));
    }
    CliResult Convert(std::vector<std::string> args, const std::string& out) {
        args.insert(args.begin(), {"-f", "mp3", "-o", out});
        return RunConvert(args, scratch_);
    }
    TempDir src_, out_, scratch_;
};

// What a warning says, with what could be read and what was promised.
const std::regex Damaged("source damaged: only ([0-9]+\\.[0-9]) s of ([0-9]+\\.[0-9]) s could be read");

} // namespace

// Its header says ten seconds, its frames stop at about five: those convert,
// and both the line and the program's event say how much was missing.
TEST_F(DamagedSourceTest, AFlacCutInHalfConvertsAndSaysWhatCouldBeRead) {
    const std::string cut = Tone("cut.flac", "flac");
    Cut(cut, 0.5);
    const CliResult r = Convert({cut}, out_.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Finish: cut\\.flac -> .*cut\\.mp3: (.*)\n"))) << r.out;
    const std::string line = m[1];
    ASSERT_TRUE(std::regex_match(line, m, Damaged)) << line;
    EXPECT_EQ(m[2], "10.0");
    const double read = std::stod(m[1]);
    EXPECT_GT(read, 3.0);
    EXPECT_LT(read, 7.0);
    EXPECT_TRUE(std::filesystem::exists(out_.File("cut.mp3")));

    TempDir jsonOut;
    const CliResult json = Convert({"--progress=jsonl", cut}, jsonOut.Path());
    EXPECT_EQ(json.exitCode, 0) << json.err;
    ASSERT_TRUE(std::regex_search(json.out, m, std::regex("\\{\"event\":\"finished\".*\n"))) << json.out;
    const std::string finished = m[0];
    EXPECT_NE(finished.find("\"status\":\"converted\""), std::string::npos) << finished;
    EXPECT_NE(finished.find("\"warning\":\"" + line + "\""), std::string::npos) << finished;
}

// A whole file; a video whose audio ends three seconds before its pictures
// (its container states only the length of the whole); and a cut file of
// which only a part within what it still holds is asked for.
TEST_F(DamagedSourceTest, WholeFilesAndLimitedConversionsAreNotCalledDamaged) {
    const std::string whole = Tone("whole.flac", "flac");
    const std::string video = src_.File("short-audio.mkv");
    {
        TMediaWriter writer(WidePath(video), "");
        writer.AddVideo(TFixtureVideo{}, 10.0);
        writer.AddAudio(TFixtureAudio{"aac", 44100, 2}, 7.0);
        writer.Write();
    }
    const CliResult r = Convert({whole, video}, out_.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Finish: whole.flac -> " + out_.File("whole.mp3") + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Finish: short-audio.mkv -> " + out_.File("short-audio.mp3") + "\n"), std::string::npos)
        << r.out;

    const std::string cut = Tone("cut.flac", "flac");
    Cut(cut, 0.5);
    TempDir limitedOut;
    const CliResult limited = Convert({"-x", "ss=1", "-x", "t=2", cut}, limitedOut.Path());
    EXPECT_EQ(limited.exitCode, 0) << limited.err;
    EXPECT_NE(limited.out.find("Finish: cut.flac -> " + limitedOut.File("cut.mp3") + "\n"), std::string::npos)
        << limited.out;
}

// Raw AAC only estimates its length from its bit rate, which is no promise;
// but a file that lost part of itself after it was queued was damaged all
// the same.
TEST_F(DamagedSourceTest, ASourceCutAfterItWasQueuedIsCalledDamaged) {
    InitMainThread();
    const std::string source = Tone("tone.aac", "aac");
    TFFEncoder encoder;
    std::vector<TTerminateInfo> ends;
    encoder.OnTerminate = [&](void*, const TTerminateInfo& info) { ends.push_back(info); };
    ASSERT_EQ(encoder.AddTask(WidePath(source)), 0) << encoder.LastErrorMessage;
    ASSERT_TRUE(encoder.SetOutputFile(0, WidePath(out_.File("tone.mp3")))) << encoder.LastErrorMessage;
    Cut(source, 0.4);
    encoder.StartTask(0);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].Completed);
    EXPECT_FALSE(ends[0].Failed) << ends[0].ErrorMessage;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(ends[0].Warning, m, Damaged)) << ends[0].Warning;
    EXPECT_LT(std::stod(m[1]), 5.0);
    EXPECT_GT(std::stod(m[2]), 9.5);
    EXPECT_TRUE(ends[1].Warning.empty());
    encoder.ClearTasks();
}
