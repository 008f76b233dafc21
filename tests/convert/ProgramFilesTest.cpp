// Where the programs find their own files: beside the executable as in the
// build folder, else in the installed layout relative to it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProgramFiles.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

} // namespace

TEST(ProgramFilesTest, InstalledLayoutBesideTheBuildLayout) {
    TempDir dir;
    const std::string prefix = dir.Path();
    const std::string bin = prefix + "/bin/";
    fs::create_directories(bin);
    // Nothing anywhere: the libraries come from the system, a data file is named beside the program.
    EXPECT_EQ(ProgramLibraryFolder(bin), "");
    EXPECT_EQ(ProgramDataFile(bin, "sounds/done.wav"), bin + "sounds/done.wav");

    fs::create_directories(prefix + "/lib/tembrio");
    Touch(prefix + "/share/tembrio/sounds/done.wav");
    EXPECT_EQ(ProgramLibraryFolder(bin), prefix + "/lib/tembrio");
    EXPECT_EQ(ProgramDataFile(bin, "sounds/done.wav"), prefix + "/share/tembrio/sounds/done.wav");
    EXPECT_EQ(ProgramDataFile(bin, "splash.png"), bin + "splash.png");

    // What lies beside the program wins.
    fs::create_directories(bin + "lib");
    Touch(bin + "sounds/done.wav");
    EXPECT_EQ(ProgramLibraryFolder(bin), bin + "lib");
    EXPECT_EQ(ProgramDataFile(bin, "sounds/done.wav"), bin + "sounds/done.wav");
}
