// Turning the names a batch is given into its source files: folder trees
// searched in path order, cue sheets turned into their tracks, and where each
// file's output goes when the tree is mirrored.
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

// A sheet stands for its tracks, in its place: found in a folder, its image
// is taken once, as the first sheet's tracks, never again whole or as the
// tracks of a second sheet naming it; an image named by itself stays whole,
// a sheet named by itself gives its tracks, and one whose FILE is not there
// an entry that says so.
TEST(SourceFilesTest, SheetsBecomeTheTracksOfTheirImages) {
    TempDir dir;
    const fs::path root = dir.Path() + "/music";
    auto sheet = [](const fs::path& path, const std::string& image) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "TITLE \"Album\"\nFILE \"" << image << "\" WAVE\n"
                            << "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                            << "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n";
    };
    for (const char* name : {"cd/album.flac", "cd/other.mp3", "loose.wav"}) Touch(root / name);
    sheet(root / "cd/album.cue", "album.flac");
    sheet(root / "cd/copy.cue", "album.flac");
    sheet(root / "cd/broken.cue", "gone.wav");
    sheet(root / "loose.cue", "loose.wav");
    const std::string r = root.string();

    const std::vector<TSourceFile> found = ExpandSources({r + "/cd", r + "/loose.wav", r + "/loose.cue"}, true);
    ASSERT_EQ(found.size(), 7u) << ::testing::PrintToString(Paths(found));
    const std::string image = r + "/cd/album.flac";
    for (size_t i : {0u, 1u}) {
        EXPECT_EQ(found[i].Path, image);
        EXPECT_EQ(found[i].Root, r + "/cd");
        ASSERT_TRUE(found[i].Track);
        EXPECT_EQ(found[i].Track->Number, static_cast<int>(i + 1));
    }
    EXPECT_EQ(found[1].Track->Title, "Two");
    EXPECT_EQ(found[2].Path, r + "/cd/broken.cue");
    EXPECT_FALSE(found[2].Track);
    EXPECT_NE(found[2].Problem, "");
    EXPECT_EQ(found[3].Path, r + "/cd/other.mp3");
    EXPECT_FALSE(found[3].Track);
    EXPECT_EQ(found[3].Problem, "");
    EXPECT_EQ(found[4].Path, r + "/loose.wav");
    EXPECT_FALSE(found[4].Track);
    for (size_t i : {5u, 6u}) {
        EXPECT_EQ(found[i].Path, r + "/loose.wav");
        EXPECT_EQ(found[i].Root, "");
        EXPECT_TRUE(found[i].Track);
    }
    // Without a folder search a named sheet is still its tracks.
    EXPECT_EQ(ExpandSources({r + "/loose.cue"}, false).size(), 2u);
}
