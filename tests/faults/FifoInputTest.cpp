// A named pipe given as a file: the probe must not wait for ever on it (nobody
// writes), nor read it dry before the conversion opens it again. It is refused
// at once with a message that says what it is.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

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
