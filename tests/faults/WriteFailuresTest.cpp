// A write that fails (a full disk, a file-size limit) fails that file alone,
// says why in plain words, and leaves no partial file under the real name.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

class WriteFailuresTest : public LibrariesTest {};

TEST_F(WriteFailuresTest, AFileOverTheSizeLimitFailsAloneAndLeavesNothing) {
    TempDir src, out, scratch;
    const std::string big = src.File("big.wav"), small = src.File("small.wav");
    WriteToneWav(WidePath(big), 44100, 2, 4.0);    // 700 KB as WAV
    WriteToneWav(WidePath(small), 8000, 1, 0.2);  // 3 KB
    // The limit is 50 KB (100 blocks of 512 bytes); big.wav converts to about
    // 90 KB. An ignored SIGXFSZ is inherited, so the write fails with EFBIG
    // instead of ending the process, as on a full disk.
    const CliResult r =
        RunConvert({"-f", "wav", "-o", out.Path(), big, small}, scratch, "trap '' XFSZ; ulimit -f 100;");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("File too large while writing " + out.File("big.wav")), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out.File("big.wav")));
    EXPECT_GT(fs::file_size(out.File("small.wav")), 3000u);
    EXPECT_GT(fs::file_size(big), 700000u);  // the source is untouched
}
