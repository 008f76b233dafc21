// tembrio-convert on a library: folder trees searched and mirrored, runs that
// convert only what changed, batches shared out between machines, names read
// from another program and progress written for one.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class LibraryTest : public LibrariesTest {
protected:
    CliResult Run(const std::vector<std::string>& args) { return RunConvert(args, scratch_); }
    // A short tone at `relative` below the source folder, its folders made;
    // the name may hold any bytes.
    std::string Tone(const std::string& relative) {
        const std::string path = src_.File(relative);
        fs::create_directories(fs::path(path).parent_path());
        WriteToneWav(WidePath(scratch_.File("tone.wav")), 8000, 1, 0.2);
        fs::rename(scratch_.File("tone.wav"), path);
        return path;
    }
    // Every file below `folder`, by its path relative to it, with its inode
    // and modification time.
    static std::map<std::string, std::pair<ino_t, int64_t>> FilesBelow(const std::string& folder) {
        std::map<std::string, std::pair<ino_t, int64_t>> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            struct stat st {};
            ::stat(entry.path().c_str(), &st);
            const int64_t time = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
            files[fs::relative(entry.path(), folder).string()] = {st.st_ino, time};
        }
        return files;
    }
    static std::set<std::string> Names(const std::map<std::string, std::pair<ino_t, int64_t>>& files) {
        std::set<std::string> names;
        for (const auto& file : files) names.insert(file.first);
        return names;
    }
    TempDir src_, out_, scratch_;
};

} // namespace

TEST_F(LibraryTest, AMirroredTreeIsConvertedOnceAndThenSkipped) {
    for (const char* name : {"top.wav", "a/one.wav", "a/b/two.wav", "a/b/c/three.wav"}) Tone(name);
    WriteTextFile(src_.File("a/notes.txt"), "not media");
    WriteTextFile(src_.File("a/b/c/cover.jpg"), "not media either");
    TempDir loose;
    WriteToneWav(WidePath(loose.File("loose.wav")), 8000, 1, 0.2);
    const std::vector<std::string> args = {"-f", "flac", "-r", "--keep-tree", "--update", "-o", out_.Path(),
                                           src_.Path(), loose.File("loose.wav")};

    CliResult r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 5\nSuccessed: 5\nFailed: 0\nSkipped: 0\n"), std::string::npos) << r.out;
    const auto first = FilesBelow(out_.Path());
    // Files found in the tree keep their folders; a file named by itself goes
    // to the output folder.
    EXPECT_EQ(Names(first),
              (std::set<std::string>{"top.flac", "a/one.flac", "a/b/two.flac", "a/b/c/three.flac", "loose.flac"}));

    r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Total files: 5\nSuccessed: 0\nFailed: 0\nSkipped: 5\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Skipped: three.wav -> " + out_.File("a/b/c/three.flac") + "\n"), std::string::npos)
        << r.out;
    // Not one file touched.
    EXPECT_EQ(FilesBelow(out_.Path()), first);
}

TEST_F(LibraryTest, ShardsAreDisjointAndTogetherComplete) {
    std::set<std::string> all;
    for (int i = 0; i < 12; ++i) {
        const std::string name = (i % 3 ? "disc" + std::to_string(i % 3) + "/" : "") + "t" + std::to_string(i) + ".wav";
        Tone(name);
        all.insert(name);
    }
    std::set<std::string> shards[2];
    for (int k = 0; k < 2; ++k) {
        const std::string out = out_.File(std::to_string(k + 1));
        const CliResult r = Run({"-f", "wav", "-r", "--keep-tree", "--shard", std::to_string(k + 1) + "/2", "-o", out,
                                 src_.Path()});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        shards[k] = Names(FilesBelow(out));
        EXPECT_FALSE(shards[k].empty());
    }
    std::set<std::string> both;
    for (const auto& shard : shards) both.insert(shard.begin(), shard.end());
    EXPECT_EQ(both.size(), shards[0].size() + shards[1].size()) << "a file in both shards";
    EXPECT_EQ(both, all);

    // A machine that finds more files still takes the same part of the
    // others.
    for (int i = 12; i < 20; ++i) Tone("disc9/t" + std::to_string(i) + ".wav");
    const CliResult info = Run({"--info", "-r", "--shard", "1/2", src_.Path()});
    std::set<std::string> first;
    std::istringstream lines(info.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "File: " + src_.Path() + "/";
        if (line.rfind(prefix, 0) == 0 && line.find("disc9/") == std::string::npos)
            first.insert(line.substr(prefix.size()));
    }
    EXPECT_EQ(first, shards[0]);
}

TEST_F(LibraryTest, NamesFromStandardInputAndProgressAsJsonLines) {
    // A name with a line end and a byte that is not UTF-8.
    const std::string odd = Tone("a\nb\xff.wav");
    const std::string plain = Tone("plain.wav");
    const std::string missing = src_.File("missing.wav");
    WriteTextFile(scratch_.File("list"), odd + '\0' + plain + '\0' + missing + '\0');
    const std::string command = ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert") +
                                " -f flac -j 1 -o " + ShellQuote(out_.Path()) +
                                " --files-from - -0 --progress=jsonl <" + ShellQuote(scratch_.File("list")) + " >" +
                                ShellQuote(scratch_.File("out")) + " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    EXPECT_TRUE(fs::exists(out_.File("a\nb\xff.flac")));
    EXPECT_TRUE(fs::exists(out_.File("plain.flac")));

    const std::string out = ReadTextFile(scratch_.File("out"));
    std::istringstream lines(out);
    std::set<std::string> objects;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.rfind("{\"event\":\"", 0), 0u) << line;
        EXPECT_EQ(line.back(), '}') << line;
        objects.insert(line);
    }
    const std::string oddJson = src_.Path() + "/a\\nb\\udcff.wav";
    const std::string oddOutput = out_.Path() + "/a\\nb\\udcff.flac";
    EXPECT_EQ(objects.count("{\"event\":\"started\",\"index\":0,\"source\":\"" + oddJson + "\",\"output\":\"" +
                            oddOutput + "\"}"),
              1u)
        << out;
    EXPECT_EQ(objects.count("{\"event\":\"finished\",\"index\":0,\"source\":\"" + oddJson +
                            "\",\"status\":\"converted\",\"output\":\"" + oddOutput + "\"}"),
              1u)
        << out;
    EXPECT_NE(out.find("{\"event\":\"finished\",\"index\":2,\"source\":\"" + missing +
                       "\",\"status\":\"failed\",\"error\":\"File load error: "),
              std::string::npos)
        << out;
    const std::string summary =
        "{\"event\":\"summary\",\"total\":3,\"converted\":2,\"failed\":1,\"skipped\":0,\"stopped\":0}\n";
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), summary.size())), summary) << out;
}
