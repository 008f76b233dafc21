// Loading the media libraries from the program's folder, and what happens when
// that folder is incomplete or damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <unistd.h>

#include "AVCodecStubs.h"
#include "CapturedLog.h"
#include "UnicodeProtocol.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "FFLoad.h"
#include "MyUtilStubs.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Every media library mapped into this process, with the folders it came from.
std::map<std::string, std::set<std::string>> MappedMediaLibraries() {
    std::map<std::string, std::set<std::string>> found;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        fs::path p = line.substr(slash);
        std::string name = p.filename().string();
        // the system's copies are mapped under their full version (libx.so.6.7.100)
        auto so = name.find(".so.");
        if (so != std::string::npos) name = name.substr(0, name.find('.', so + 4));
        if (name.rfind("libav", 0) == 0 || name.rfind("libsw", 0) == 0 || name.rfind("libpostproc", 0) == 0)
            found[name].insert(fs::weakly_canonical(p.parent_path()).string());
    }
    return found;
}

void CopyLibraries(const std::string& to) {
    for (const auto& entry : fs::directory_iterator(LibDir())) fs::copy_file(entry.path(), fs::path(to) / entry.path().filename());
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { FFBindStartup(); }
    void TearDown() override { FFBindShutdown(); }
    TFFLoader& Loader() { return *FFLoader(); }
};

} // namespace

TEST_F(LoaderTest, LoadsTheEngineLibrariesOnlyFromTheLibraryFolder) {
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries)) << Loader().LastError();
    EXPECT_TRUE(Loader().AllLoaded(EngineLibraries));
    EXPECT_FALSE(Loader().IsLoaded(LibAVDevice));
    EXPECT_FALSE(Loader().AllLoaded(AllLibraries));
    EXPECT_NE(ff::avcodec_open2, nullptr);
    EXPECT_NE(ff::fopen, nullptr);

    auto mapped = MappedMediaLibraries();
    const std::string folder = fs::weakly_canonical(LibDir()).string();
    for (const char* name : {"libavcodec.so.59", "libavformat.so.59", "libavutil.so.57", "libswresample.so.4",
                             "libswscale.so.6", "libavfilter.so.8", "libpostproc.so.56"}) {
        ASSERT_EQ(mapped.count(name), 1u) << name << " is not mapped";
        EXPECT_EQ(mapped[name], std::set<std::string>{folder}) << name;
    }
    EXPECT_EQ(mapped.count("libavdevice.so.59"), 0u);
    for (const auto& [name, folders] : mapped) EXPECT_EQ(folders.size(), 1u) << name << " mapped from two places";
}

TEST_F(LoaderTest, FolderWithOrWithoutTrailingSeparatorLoadsTheSameFiles) {
    Loader().SetLibraryPath(LibDir() + "/");
    ASSERT_TRUE(Loader().Load(EngineLibraries)) << Loader().LastError();
    auto withSlash = MappedMediaLibraries();
    Loader().Unload(AllLibraries);
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries)) << Loader().LastError();
    EXPECT_EQ(MappedMediaLibraries(), withSlash);
}

TEST_F(LoaderTest, UnloadClearsEveryEntryPoint) {
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    Loader().Unload(EngineLibraries);
    EXPECT_FALSE(Loader().IsLoaded(LibAVCodec));
    EXPECT_EQ(ff::avcodec_open2, nullptr);
    EXPECT_EQ(ff::avformat_open_input, nullptr);
    EXPECT_EQ(ff::strtod, nullptr);
}

TEST_F(LoaderTest, RuntimeLibraryIsLoadedByBareNameEvenWithALibraryFolder) {
    TempDir dir;
    WriteTextFile(dir.File("libc.so.6"), "not a library");
    Loader().SetLibraryPath(dir.Path());
    ASSERT_TRUE(Loader().Load({LibC})) << Loader().LastError();
    EXPECT_TRUE(Loader().IsLoaded(LibC));
    EXPECT_NE(ff::snprintf, nullptr);
}

TEST_F(LoaderTest, AFileMissingFromTheFolderComesFromTheSystemSearch) {
    TempDir dir;
    CopyLibraries(dir.Path());
    fs::remove(dir.File("libswscale.so.6"));
    Loader().SetLibraryPath(dir.Path());
    ASSERT_TRUE(Loader().Load(EngineLibraries)) << Loader().LastError();
    auto mapped = MappedMediaLibraries();
    ASSERT_EQ(mapped["libswscale.so.6"].size(), 1u);
    EXPECT_NE(*mapped["libswscale.so.6"].begin(), fs::weakly_canonical(dir.Path()).string());
    EXPECT_EQ(*mapped["libavcodec.so.59"].begin(), fs::weakly_canonical(dir.Path()).string());
}

TEST_F(LoaderTest, AFailedSystemSearchStillNamesFolderAndFile) {
    std::vector<TLibraryItem> table = LibraryTable();
    table[LibAVDevice].Name = "tembrio-nowhere";
    table[LibAVDevice].MajorVersion = 3;
    TFFLoader loader(table);
    TempDir dir;
    loader.SetLibraryPath(dir.Path());
    EXPECT_FALSE(loader.Load({LibAVDevice}));
    const std::string expected = "Load library " + dir.Path() + "/libtembrio-nowhere.so.3 error: ";
    EXPECT_EQ(loader.LastError().substr(0, expected.size()), expected) << loader.LastError();
    EXPECT_NE(loader.LastError().find("No such file or directory"), std::string::npos) << loader.LastError();
    EXPECT_NE(loader.LastError().back(), '.');
}

TEST_F(LoaderTest, PathGainsTheFolderOnceAtTheFront) {
    setenv("PATH", "/usr/bin:/bin", 1);
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    std::string path = getenv("PATH");
    const std::string folder = LibDir() + "/";
    EXPECT_EQ(path, folder + ":/usr/bin:/bin");
}

TEST_F(LoaderTest, AFolderAlreadyOnThePathInAnotherCaseIsNotAdded) {
    TempDir dir;
    CopyLibraries(dir.Path());
    std::string upper = dir.Path() + "/";
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::string before = "/usr/bin:" + upper;
    setenv("PATH", before.c_str(), 1);
    Loader().SetLibraryPath(dir.Path());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    EXPECT_EQ(std::string(getenv("PATH")), before);
}

TEST_F(LoaderTest, CurrentDirectoryIsRestoredAfterSuccessAndFailure) {
    TempDir work;
    ASSERT_EQ(chdir(work.Path().c_str()), 0);
    const std::string before = fs::current_path().string();
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    EXPECT_EQ(fs::current_path().string(), before);

    TempDir broken;
    CopyLibraries(broken.Path());
    WriteTextFile(broken.File("libavformat.so.59"), "garbage");
    TFFLoader other;
    other.SetLibraryPath(broken.Path());
    EXPECT_FALSE(other.Load({LibAVFormat}));
    EXPECT_EQ(fs::current_path().string(), before);
}

TEST_F(LoaderTest, LoadingAnAlreadyLoadedSetSucceedsAgainAndRerunsThePostLoadSteps) {
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    auto before = MappedMediaLibraries();
    CapturedLog log(llDebug);
    EXPECT_TRUE(Loader().Load(EngineLibraries));
    EXPECT_TRUE(Loader().AllLoaded(EngineLibraries));
    EXPECT_EQ(MappedMediaLibraries(), before);
    // The lock manager was registered again: the old mutex goes, a new one comes.
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("destory codec mutex [", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("create codec mutex [", 0), 0u) << lines[1];
    // The protocol is not registered twice.
    const auto names = ProtocolNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "unicode"), 1);
}

// A file's header must not be able to make the libraries take gigabytes.
TEST_F(LoaderTest, TheLibrariesRefuseAnAllocationBeyondTheCap) {
    Loader().SetLibraryPath(LibDir());
    ASSERT_TRUE(Loader().Load(EngineLibraries));
    void* huge = ff::av_malloc(MaxLibraryAllocation + 1);
    EXPECT_EQ(huge, nullptr);
    ff::av_free(huge);
    void* fits = ff::av_malloc(1 << 20);
    EXPECT_NE(fits, nullptr);
    ff::av_free(fits);
}

TEST_F(LoaderTest, AnInvalidFourthLibraryLeavesNoneOfTheSetLoaded) {
    TempDir dir;
    CopyLibraries(dir.Path());
    WriteTextFile(dir.File("libavformat.so.59"), "this is not an ELF file");
    Loader().SetLibraryPath(dir.Path());
    ASSERT_TRUE(Loader().Load({LibAVCodec}));  // an earlier successful call
    EXPECT_FALSE(Loader().Load(EngineLibraries));
    const std::string expected = "Load library " + dir.Path() + "/libavformat.so.59 error: ";
    EXPECT_EQ(Loader().LastError().substr(0, expected.size()), expected) << Loader().LastError();
    for (TLibraryId id : {LibAVCodec, LibSwResample, LibAVFilter, LibAVFormat, LibAVUtil, LibSwScale, LibC})
        EXPECT_FALSE(Loader().IsLoaded(id)) << id;
    EXPECT_EQ(ff::avcodec_open2, nullptr);
}

TEST_F(LoaderTest, ALibraryWithoutARequiredEntryPointIsRefused) {
    TempDir dir;
    CopyLibraries(dir.Path());
    fs::remove(dir.File("libavfilter.so.8"));
    fs::copy_file(TEMBRIO_EMPTY_LIB, dir.File("libavfilter.so.8"));
    Loader().SetLibraryPath(dir.Path());
    EXPECT_FALSE(Loader().Load(EngineLibraries));
    const std::string expected = "Load function av_filter_iterate@libavfilter.so.8 error: ";
    EXPECT_EQ(Loader().LastError().substr(0, expected.size()), expected) << Loader().LastError();
    EXPECT_FALSE(Loader().IsLoaded(LibAVFilter));
    EXPECT_FALSE(Loader().IsLoaded(LibAVCodec));
}
