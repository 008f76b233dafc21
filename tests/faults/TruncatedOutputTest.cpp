// An output cut short on a disk that reports nothing (a full network disk, a
// dying drive): every write seems to succeed, but the file keeps only its
// first bytes. The converter reads each output back, so the file fails its
// conversion with both durations named (or as unreadable, when what was lost
// is the index it is read by), never ends as finished, and leaves nothing
// under its name; an older version kept by --update stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class TruncatedOutputTest : public LibrariesTest {
protected:
    // The converter on a disk that keeps `limit` bytes of each file in the output folder.
    CliResult ConvertOnLyingDisk(std::vector<std::string> args, long limit, const std::string& format = "wav") {
        const std::string prefix = "export LD_PRELOAD=" + ShellQuote(LYING_DISK_LIBRARY) +
                                   " TEMBRIO_LYING_DISK_FOLDER=" + ShellQuote(fs::canonical(out_.Path()).string()) +
                                   " TEMBRIO_LYING_DISK_LIMIT=" + std::to_string(limit) +
                                   " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\";";
        args.insert(args.begin(), {"-f", format, "-p", "0", "-j", "1", "-o", out_.Path()});
        return RunConvert(args, scratch_, prefix);
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(TruncatedOutputTest, AnOutputCutShortFailsWithBothDurationsAndIsNotLeft) {
    // WAV preset 0 writes 11025 Hz mono, 16 bits: about 22 kB a second. The
    // disk keeps 60 kB: all of the short file, under 3 s of the long one.
    WriteToneWav(WidePath(src_.File("long.wav")), 44100, 2, 10.0);
    WriteToneWav(WidePath(src_.File("short.wav")), 44100, 2, 1.0);
    CliResult r = ConvertOnLyingDisk({src_.File("long.wav"), src_.File("short.wav")}, 60000);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 2\nSuccessed: 1\nFailed: 1\n"), std::string::npos) << r.out;
    std::smatch m;
    const std::regex text("Failed: long\\.wav -> .*: Output is ([0-9.]+) s shorter than its source "
                          "\\(.*long\\.wav lasts ([0-9.]+) s, its source 10\\.00 s\\)");
    ASSERT_TRUE(std::regex_search(r.err, m, text)) << r.err;
    EXPECT_NEAR(std::stod(m[2]), 60000.0 / 22050, 0.1);
    EXPECT_NEAR(std::stod(m[1]) + std::stod(m[2]), 10.0, 0.06);
    EXPECT_FALSE(fs::exists(out_.File("long.wav")));
    EXPECT_TRUE(fs::exists(out_.File("short.wav")));

    // A new version that comes out short does not replace the old one.
    WriteTextFile(out_.File("long.wav"), "the previous version");
    fs::last_write_time(out_.File("long.wav"), fs::last_write_time(src_.File("long.wav")) - std::chrono::hours(1));
    r = ConvertOnLyingDisk({"--update", src_.File("long.wav")}, 60000);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("shorter than its source"), std::string::npos) << r.err;
    EXPECT_EQ(ReadTextFile(out_.File("long.wav")), "the previous version");
    EXPECT_FALSE(fs::exists(out_.File(".long.wav.tembrio-part")));
}

TEST_F(TruncatedOutputTest, AnOutputThatLostItsIndexCannotBeReadBackAndFails) {
    // M4A preset 0 writes about 12 kB a second; its index (written last) is
    // beyond what the disk keeps.
    WriteTone(WidePath(src_.File("tone.flac")), "flac", 44100, 2, 4.0);
    const CliResult r = ConvertOnLyingDisk({src_.File("tone.flac")}, 20000, "m4a");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Failed: tone.flac -> " + out_.File("tone.m4a") + ": Output cannot be read back (" +
                         out_.File("tone.m4a") + ": "),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(out_.File("tone.m4a")));
}
