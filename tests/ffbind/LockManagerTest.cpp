// The codec lock: its operations, their log lines, and codec opening from
// several threads at once.
#include <gtest/gtest.h>

#include <thread>

#include "AVCodecStubs.h"
#include "CapturedLog.h"
#include "FFLoad.h"
#include "FFPtr.h"
#include "Format.h"
#include "LockManager.h"
#include "TestSupport.h"

namespace {

// Only the lock manager's own lines: library lines may arrive at llDebug too.
std::vector<std::string> MutexLines(CapturedLog& log) {
    std::vector<std::string> lines;
    for (const std::string& line : log.Lines())
        if (line.find("codec mutex") != std::string::npos) lines.push_back(line);
    return lines;
}

// Opens and frees one FLAC encoder through the codec lock; the open's result.
int OpenAndFreeEncoder() {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name("flac");
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    CodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx) return AVERROR(ENOMEM);
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    ctx->sample_rate = 44100;
    ctx->time_base = AVRational{1, 44100};
    ff::av_channel_layout_default(&ctx->ch_layout, 2);
    return CodecOpen(ctx.get(), codec, nullptr);
}

class LockManagerTest : public LibrariesTest {};

} // namespace

TEST_F(LockManagerTest, RegisteringAgainDestroysTheOldMutexAndLeavesOneLive) {
    const int first = CodecMutexId();
    ASSERT_NE(first, 0);  // the loader registered it
    CapturedLog log(llDebug);
    RegisterLockManager();
    const int second = CodecMutexId();
    EXPECT_NE(second, first);
    EXPECT_EQ(MutexLines(log), (std::vector<std::string>{Format("destory codec mutex [%d].", first),
                                                         Format("create codec mutex [%d].", second)}));
    EXPECT_EQ(LiveCodecMutexCount(), 1);
}

TEST_F(LockManagerTest, ObtainAndReleaseAreLoggedOnlyAtDebugLevel) {
    CapturedLog log(llInfo);
    ASSERT_EQ(OpenAndFreeEncoder(), 0);
    EXPECT_TRUE(MutexLines(log).empty());

    GlobalLogger()->SetLogLevel(llDebug);
    ASSERT_EQ(OpenAndFreeEncoder(), 0);
    const std::string obtain = Format("obtain codec mutex [%d].", CodecMutexId());
    const std::string release = Format("release codec mutex [%d].", CodecMutexId());
    // one pair for the open, one for the free
    EXPECT_EQ(MutexLines(log), (std::vector<std::string>{obtain, release, obtain, release}));
}

TEST_F(LockManagerTest, AnUnknownOperationIsAnError) {
    CapturedLog log(llInfo);
    void* none = nullptr;
    EXPECT_EQ(LockManagerCallback(&none, 4), -1);
    EXPECT_EQ(LockManagerCallback(&none, -1), -1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"error, invalid codec mutex operation 4.",
                                                     "error, invalid codec mutex operation -1."}));
    EXPECT_EQ(log.Levels(), (std::vector<TLogLevel>{llError, llError}));
}

TEST_F(LockManagerTest, OperationsWithoutAMutexFailExceptDestroy) {
    CapturedLog log(llDebug);
    void* none = nullptr;
    EXPECT_EQ(LockManagerCallback(&none, LockObtain), -1);
    EXPECT_EQ(LockManagerCallback(&none, LockRelease), -1);
    EXPECT_EQ(LockManagerCallback(&none, LockDestroy), 0);
    EXPECT_EQ(MutexLines(log),
              (std::vector<std::string>{"error, codec mutex not available.", "error, codec mutex not available."}));
}

TEST_F(LockManagerTest, CreatingOverALiveMutexIsRefusedAndAStaleOneIsReplaced) {
    CapturedLog log(llDebug);
    const int registered = CodecMutexId();
    void* mine = nullptr;
    // the slot still holds the registered mutex: it is closed with a warning
    ASSERT_EQ(LockManagerCallback(&mine, LockCreate), 0);
    const int made = CodecMutexId();
    EXPECT_EQ(LockManagerCallback(&mine, LockCreate), -1);
    EXPECT_EQ(MutexLines(log), (std::vector<std::string>{
                                   Format("warning, local codec mutex [%d] not destroyed.", registered),
                                   Format("create codec mutex [%d].", made),
                                   Format("error, codec mutex [%d] already exist.", made)}));
    EXPECT_EQ(LiveCodecMutexCount(), 1);

    // once it is destroyed, codec opening fails instead of running unlocked
    ASSERT_EQ(LockManagerCallback(&mine, LockDestroy), 0);
    EXPECT_EQ(mine, nullptr);
    EXPECT_EQ(LiveCodecMutexCount(), 0);
    log.Clear();
    EXPECT_EQ(OpenAndFreeEncoder(), -1);
    EXPECT_EQ(MutexLines(log).front(), "error, codec mutex not available.");

    RegisterLockManager();
    EXPECT_EQ(OpenAndFreeEncoder(), 0);
}

TEST_F(LockManagerTest, OnlyTheOwnerReleasesTheMutexAndItsObtainNests) {
    CapturedLog log(llInfo);
    void* mine = nullptr;
    ASSERT_EQ(LockManagerCallback(&mine, LockCreate), 0);
    const int id = CodecMutexId();
    log.Clear();  // the warning about the loader's mutex
    ASSERT_EQ(LockManagerCallback(&mine, LockObtain), 0);
    ASSERT_EQ(LockManagerCallback(&mine, LockObtain), 0);

    int fromOther = 0;
    std::thread([&] { fromOther = LockManagerCallback(&mine, LockRelease); }).join();
    EXPECT_EQ(fromOther, -1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               Format("error, could not release codec mutex [%d]: Operation not permitted.", id)}));

    EXPECT_EQ(LockManagerCallback(&mine, LockRelease), 0);
    EXPECT_EQ(LockManagerCallback(&mine, LockRelease), 0);
    EXPECT_EQ(LockManagerCallback(&mine, LockRelease), -1);  // no longer held
    int otherObtain = -1, otherRelease = -1;
    std::thread([&] {
        otherObtain = LockManagerCallback(&mine, LockObtain);
        otherRelease = LockManagerCallback(&mine, LockRelease);
    }).join();
    EXPECT_EQ(otherObtain, 0);
    EXPECT_EQ(otherRelease, 0);
    LockManagerCallback(&mine, LockDestroy);
}

TEST_F(LockManagerTest, TwoThreadsOpenCodecsAtTheSameTime) {
    constexpr int Rounds = 25;
    CapturedLog log(llDebug);
    int failures[2] = {0, 0};
    auto work = [&failures](int slot) {
        for (int i = 0; i < Rounds; ++i)
            if (OpenAndFreeEncoder() != 0) ++failures[slot];
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    const std::string obtain = Format("obtain codec mutex [%d].", CodecMutexId());
    const std::string release = Format("release codec mutex [%d].", CodecMutexId());
    EXPECT_EQ(log.Count(obtain), 2u * 2 * Rounds);
    EXPECT_EQ(log.Count(release), 2u * 2 * Rounds);
}

TEST(LockManagerShutdown, DuringShutdownTheLockManagerIsSilent) {
    FFBindStartup();
    FFLoader()->SetLibraryPath(LibDir());
    ASSERT_TRUE(FFLoader()->Load(EngineLibraries)) << FFLoader()->LastError();
    FFBindShutdown();
    ASSERT_TRUE(ShuttingDown());
    // the destroy made while unloading did nothing: the mutex stays for the process's end
    EXPECT_EQ(LiveCodecMutexCount(), 1);
    {
        CapturedLog log(llDebug);
        void* none = nullptr;
        EXPECT_EQ(LockManagerCallback(&none, 4), 0);
        EXPECT_EQ(LockManagerCallback(&none, LockObtain), 0);
        EXPECT_EQ(LockManagerCallback(&none, LockCreate), 0);
        EXPECT_EQ(none, nullptr);
        EXPECT_TRUE(log.Lines().empty());
    }
    FinalizeLogBridge();
}
