// tembrio-convert's output piped into a reader that goes away early ("| head
// -1"): the batch must go on converting every file instead of dying of SIGPIPE
// in the middle of one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class BrokenPipeTest : public LibrariesTest {
protected:
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(BrokenPipeTest, AClosedStandardOutputLetsEveryFileConvert) {
    const int count = 20;
    std::string command = "{ " + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert") + " -f mp3 -j 1 -o " +
                          ShellQuote(out_.Path());
    for (int i = 0; i < count; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        WriteToneWav(WidePath(name), 22050, 1, 0.5);
        command += " " + ShellQuote(name);
    }
    // The group's status is the converter's; head leaves after the first line.
    command += " 2>" + ShellQuote(scratch_.File("stderr")) + " </dev/null; echo $? >" +
               ShellQuote(scratch_.File("status")) + "; } | head -1 >" + ShellQuote(scratch_.File("head"));
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_EQ(ReadTextFile(scratch_.File("status")), "0\n") << ReadTextFile(scratch_.File("stderr"));
    EXPECT_EQ(ReadTextFile(scratch_.File("head")).rfind("Finish: 0.wav -> ", 0), 0u);
    for (int i = 0; i < count; ++i) {
        const std::string output = out_.File(std::to_string(i) + ".mp3");
        ASSERT_TRUE(fs::exists(output)) << output;
        EXPECT_GT(fs::file_size(output), 0u) << output;
    }
}
