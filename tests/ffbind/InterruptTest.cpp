// The interrupt registry: which check decides for a thread, and how a check
// ends a blocking open of the container library.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "AVFormatStubs.h"
#include "CapturedLog.h"
#include "InterruptCB.h"
#include "MainThread.h"
#include "MediaIO.h"
#include "TestSupport.h"
#include "ThreadId.h"
#include "UnicodeProtocol.h"

namespace {

// No thread of this process has this id (a neighbour of ours might).
constexpr uint32_t NoSuchThread = 0xFFFFFFF0u;

struct Probe {
    bool answer = false;
    int calls = 0;
};

bool AskProbe(void* object) {
    auto* probe = static_cast<Probe*>(object);
    ++probe->calls;
    return probe->answer;
}

bool OtherCheck(void* object) { return AskProbe(object); }

// Ends a hung test instead of letting it wait for ever; a deadlock is the fault
// some of these tests look for.
class Watchdog {
public:
    explicit Watchdog(const char* what) : thread_([this, what] {
        std::unique_lock<std::mutex> guard(lock_);
        if (!done_.wait_for(guard, std::chrono::seconds(60), [this] { return finished_; })) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::_Exit(3);
        }
    }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex lock_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// What the transcoder's time-out check does: give up once the time is over and
// say so once.
struct TimeoutState {
    std::chrono::steady_clock::time_point deadline;
    std::atomic<int> timeouts{0};
};

bool TimeoutCheck(void* object) {
    auto* state = static_cast<TimeoutState*>(object);
    if (std::chrono::steady_clock::now() < state->deadline) return false;
    if (state->timeouts++ == 0) GlobalLogger()->Log(nullptr, llInfo, "connecting/reading/writing timeout");
    return true;
}

TInterruptCB& SelfRemovingRegistry() {
    static TInterruptCB registry;
    return registry;
}

bool RemoveSelf(void* object) {
    SelfRemovingRegistry().Remove(CurrentThreadId(), object, RemoveSelf);
    return true;
}

} // namespace

TEST(InterruptRegistry, AThreadWithoutEntriesIsNeverInterrupted) {
    TInterruptCB registry;
    Probe yes{true};
    registry.Add(NoSuchThread, &yes, AskProbe);
    EXPECT_FALSE(registry.Check(CurrentThreadId()));
    EXPECT_TRUE(registry.Check(NoSuchThread));
    EXPECT_EQ(yes.calls, 1);
}

TEST(InterruptRegistry, TheSameEntryAddedTwiceIsOneEntry) {
    TInterruptCB registry;
    const uint32_t me = CurrentThreadId();
    Probe yes{true}, other{true};
    registry.Add(me, &yes, AskProbe);
    registry.Add(me, &yes, AskProbe);
    EXPECT_EQ(registry.Count(), 1u);
    registry.Remove(me, &yes, AskProbe);
    EXPECT_EQ(registry.Count(), 0u);
    EXPECT_FALSE(registry.Check(me));

    // another object or another check is another entry
    registry.Add(me, &yes, AskProbe);
    registry.Add(me, &other, AskProbe);
    registry.Add(me, &yes, OtherCheck);
    EXPECT_EQ(registry.Count(), 3u);
    registry.Remove(me, &other, OtherCheck);  // no such entry
    EXPECT_EQ(registry.Count(), 3u);
    registry.Clear();
    EXPECT_EQ(registry.Count(), 0u);
}

TEST(InterruptRegistry, TheFirstEntryOfAThreadShadowsLaterOnes) {
    TInterruptCB registry;
    const uint32_t me = CurrentThreadId();
    Probe stop{false}, timeout{true};
    registry.Add(me, &stop, AskProbe);
    registry.Add(me, &timeout, AskProbe);
    EXPECT_FALSE(registry.Check(me));
    EXPECT_EQ(stop.calls, 1);
    EXPECT_EQ(timeout.calls, 0);
    registry.Remove(me, &stop, AskProbe);
    EXPECT_TRUE(registry.Check(me));
    EXPECT_EQ(timeout.calls, 1);
}

TEST(InterruptRegistry, TheLibraryCallbackAsksTheProcessRegistryForTheCallingThread) {
    EXPECT_EQ(InterruptCallback(nullptr), 0);  // no registry yet
    CreateInterruptRegistry();
    Probe yes{true};
    InterruptRegistry()->Add(NoSuchThread, &yes, AskProbe);
    EXPECT_EQ(InterruptCallback(&yes), 0);
    InterruptRegistry()->Add(CurrentThreadId(), &yes, AskProbe);
    EXPECT_EQ(InterruptCallback(nullptr), 1);

    int fromWorker = -1;
    std::thread([&] { fromWorker = InterruptCallback(nullptr); }).join();
    EXPECT_EQ(fromWorker, 0);

    FreeInterruptRegistry();
    EXPECT_EQ(InterruptRegistry(), nullptr);
    EXPECT_EQ(InterruptCallback(nullptr), 0);
}

// A check that waits for the main thread while the main thread itself asks the
// registry (as it does inside a probe's blocking read) must not deadlock.
struct MainThreadCheck {
    std::atomic<bool> inside{false};
};

bool CheckThroughMainThread(void* object) {
    static_cast<MainThreadCheck*>(object)->inside = true;
    RunInMainThread([] {});
    return true;
}

TEST(InterruptRegistry, ACheckMayWaitForTheMainThreadWhileTheMainThreadAsks) {
    Watchdog watchdog("check waiting for the main thread");
    InitMainThread();
    CreateInterruptRegistry();
    MainThreadCheck state;
    std::atomic<int> answer{-1};
    std::thread worker([&] {
        InterruptRegistry()->Add(CurrentThreadId(), &state, CheckThroughMainThread);
        answer = InterruptCallback(nullptr);
        InterruptRegistry()->Remove(CurrentThreadId(), &state, CheckThroughMainThread);
    });
    // Ask only once the worker's check is running and waiting for us.
    while (!state.inside) std::this_thread::yield();
    EXPECT_EQ(InterruptCallback(nullptr), 0);
    while (answer == -1) CheckSynchronize(5);
    worker.join();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(InterruptRegistry()->Count(), 0u);
    FreeInterruptRegistry();
}

TEST(InterruptRegistry, ACheckMayRemoveItsOwnEntry) {
    Watchdog watchdog("check removing itself");
    Probe p;
    SelfRemovingRegistry().Add(CurrentThreadId(), &p, RemoveSelf);
    EXPECT_TRUE(SelfRemovingRegistry().Check(CurrentThreadId()));
    EXPECT_EQ(SelfRemovingRegistry().Count(), 0u);
    EXPECT_FALSE(SelfRemovingRegistry().Check(CurrentThreadId()));
}

class InterruptMediaTest : public LibrariesTest {};

TEST_F(InterruptMediaTest, EveryInputContextCarriesTheCallback) {
    AVFormatContext* ctx = AllocFormatContext();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->interrupt_callback.callback, InterruptCallback);
    ff::avformat_free_context(ctx);
    EXPECT_EQ(InterruptCallbackRecord().callback, InterruptCallback);
}

// A read that would block for ever (a FIFO nobody writes to) ends when the
// thread's time-out check gives up.
TEST_F(InterruptMediaTest, ATimeoutCheckEndsABlockingOpen) {
    Watchdog watchdog("blocking open of a FIFO");
    std::setlocale(LC_ALL, "C");
    TempDir dir;
    const std::string path = dir.File("fifo-\xC3\xA9");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // keeps a writer on the FIFO, so the reader sees no end of file, only silence
    int writer = open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    CapturedLog log(llInfo);
    TimeoutState state;
    state.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    InterruptRegistry()->Add(CurrentThreadId(), &state, TimeoutCheck);

    AVFormatContext* ic = nullptr;
    const std::string url = FileNameToURL(std::wstring(dir.Path().begin(), dir.Path().end()) + L"/fifo-\u00e9");
    ASSERT_TRUE(IsUnicodeURL(url));
    int ret = OpenInputURL(&ic, url, nullptr, nullptr);
    InterruptRegistry()->Remove(CurrentThreadId(), &state, TimeoutCheck);
    close(writer);

    EXPECT_EQ(ret, AVERROR_EXIT);
    EXPECT_EQ(ic, nullptr);
    EXPECT_GE(state.timeouts.load(), 1);
    EXPECT_EQ(log.Count("connecting/reading/writing timeout"), 1u);
}
