// A file-size limit in the user's shell (ulimit -f): the write that reaches it
// must fail that one file, as a full disk does, instead of SIGXFSZ ending the
// whole batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class FileSizeLimitTest : public LibrariesTest {
protected:
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(FileSizeLimitTest, OnlyTheFileThatReachesTheLimitFails) {
    // WAV preset 0 writes 11025 Hz mono, 16 bits: about 22 kB a second. The
    // limit (at least 100 kB) lets the short files through, not the long one.
    WriteToneWav(WidePath(src_.File("short1.wav")), 44100, 2, 1.0);
    WriteToneWav(WidePath(src_.File("long.wav")), 44100, 2, 10.0);
    WriteToneWav(WidePath(src_.File("short2.wav")), 44100, 2, 1.0);
    CliResult r = RunConvert({"-f", "wav", "-p", "0", "-j", "1", "-o", out_.Path(), src_.File("short1.wav"),
                              src_.File("long.wav"), src_.File("short2.wav")},
                             scratch_, "ulimit -f 200;");
    EXPECT_EQ(r.signal, 0) << "ended by signal " << r.signal;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 3\nSuccessed: 2\nFailed: 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Failed: long.wav -> "), std::string::npos) << r.err;
    for (const char* name : {"short1.wav", "short2.wav"}) {
        ASSERT_TRUE(fs::exists(out_.File(name))) << name;
        EXPECT_GT(fs::file_size(out_.File(name)), 20000u) << name;
    }
}
