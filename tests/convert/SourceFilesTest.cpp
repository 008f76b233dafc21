// Turning the names a batch is given into its source files: folder trees
// searched in path order, and where each file's output goes when the tree is
// mirrored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "SourceFiles.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

std::vector<std::string> Paths(const std::vector<TSourceFile>& sources) {
    std::vector<std::string> paths;
    for (const TSourceFile& s : sources) paths.push_back(s.Path);
    return paths;
}

} // namespace

// A tree is searched at every depth and in path order; files the converter
// does not read are left out, files and folders named directly keep their
// place in the order given.
TEST(SourceFilesTest, FolderTreesInPathOrder) {
    TempDir dir;
    const fs::path root = dir.Path() + "/music";
    for (const char* name : {"b/2.MP3", "b/1.flac", "a.ogg", "a/z/deep.opus", "notes.txt", "cover.jpg", "b/c/"})
        Touch(root / name);
    Touch(dir.Path() + "/single.txt");
    const std::vector<TSourceFile> sources =
        ExpandSources({dir.Path() + "/single.txt", root.string() + "/", dir.Path() + "/missing.mp3"}, true);
    const std::string r = root.string();
    EXPECT_EQ(Paths(sources), (std::vector<std::string>{dir.Path() + "/single.txt", r + "/a.ogg", r + "/a/z/deep.opus",
                                                        r + "/b/1.flac", r + "/b/2.MP3", dir.Path() + "/missing.mp3"}));
    EXPECT_EQ(sources[1].Root, r);
    EXPECT_EQ(RelativeFolder(sources[0]), "");
    EXPECT_EQ(RelativeFolder(sources[1]), "");
    EXPECT_EQ(RelativeFolder(sources[2]), "a/z/");
    EXPECT_EQ(MirroredFolder(sources[2], "/out"), "/out/a/z/");
    EXPECT_EQ(MirroredFolder(sources[0], "/out/"), "/out/");
    // Without searching, a folder stays a name like any other.
    EXPECT_EQ(Paths(ExpandSources({r}, false)), std::vector<std::string>{r});
}

// Links back up the tree or across to a searched folder are searched once,
// and a file is found where it really lies.
TEST(SourceFilesTest, LinkLoopsEnd) {
    TempDir dir;
    const fs::path root = dir.Path() + "/lib";
    Touch(root / "x/song.wav");
    fs::create_directory_symlink("..", root / "x/up");
    fs::create_directory_symlink(root / "x", root / "again");
    std::atomic<bool> stop{false};
    const std::vector<TSourceFile> sources = ExpandSources({root.string()}, true, &stop);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].Path, (root / "x/song.wav").string());
    stop = true;
    EXPECT_TRUE(ExpandSources({root.string()}, true, &stop).empty());
}
