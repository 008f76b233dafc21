// The log bridge with the real utility library: library messages go through
// av_log into LogCallback and come out of OnLog as whole lines.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AVCodecStubs.h"
#include "AVUtilStubs.h"
#include "Exception.h"
#include "FFLog.h"
#include "Format.h"
#include "MainThread.h"
#include "ManualResetEvent.h"
#include "TestSupport.h"
#include "ThreadId.h"

namespace {

struct LogRecord {
    void* Sender;
    uint32_t ThreadId;
    TLogLevel Level;
    std::string Text;
    bool OnMainThread;
};

// Collects every event; handlers may run on any thread.
class Recorder {
public:
    TLogEvent Handler() {
        return [this](void* sender, uint32_t threadId, TLogLevel level, const std::string& text) {
            bool onMain = IsMainThread();
            std::lock_guard<std::mutex> lock(mutex_);
            records_.push_back({sender, threadId, level, text, onMain});
        };
    }
    std::vector<LogRecord> Records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const LogRecord& r : Records()) texts.push_back(r.Text);
        return texts;
    }

private:
    std::mutex mutex_;
    std::vector<LogRecord> records_;
};

using Texts = std::vector<std::string>;

class LogTest : public LibrariesTest {
protected:
    void SetUp() override { logger.OnLog = recorder.Handler(); }
    TFFLogger logger;  // replaces the logger the loader auto-created
    Recorder recorder;
};

// Hand-made library contexts: a class pointer first, as the library expects.
struct HandContext {
    const AVClass* Class;
    void* Parent;
};

const char* ParentItemName(void*) { return "hand-parent"; }
const char* ChildItemName(void*) { return "hand-child"; }

AVClass MakeClass(const char* name, const char* (*itemName)(void*), int version, int parentOffset) {
    AVClass cls{};
    cls.class_name = name;
    cls.item_name = itemName;
    cls.version = version;
    cls.parent_log_context_offset = parentOffset;
    return cls;
}

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};

// Ends the process if a test hangs, so a deadlock shows up as a failure
// instead of a stalled suite.
class Watchdog {
public:
    Watchdog() : thread_([this] {
        if (!finished_.WaitFor(120000)) {
            std::fputs("Watchdog: the test is stuck (deadlock)\n", stderr);
            std::abort();
        }
    }) {}
    ~Watchdog() {
        finished_.Set();
        thread_.join();
    }

private:
    ManualResetEvent finished_;
    std::thread thread_;
};

} // namespace

TEST(LogLevels, ConvertBothWays) {
    EXPECT_EQ(ToLibraryLevel(llQuiet), -8);
    EXPECT_EQ(ToLibraryLevel(llPanic), 0);
    EXPECT_EQ(ToLibraryLevel(llError), 16);
    EXPECT_EQ(ToLibraryLevel(llInfo), 32);
    EXPECT_EQ(ToLibraryLevel(llDebug), 48);
    EXPECT_EQ(FromLibraryLevel(-16), llQuiet);
    EXPECT_EQ(FromLibraryLevel(-15), llQuiet);
    EXPECT_EQ(FromLibraryLevel(-8), llQuiet);
    EXPECT_EQ(FromLibraryLevel(-7), llPanic);
    EXPECT_EQ(FromLibraryLevel(7), llPanic);
    EXPECT_EQ(FromLibraryLevel(8), llFatal);
    EXPECT_EQ(FromLibraryLevel(31), llWarning);
    EXPECT_EQ(FromLibraryLevel(47), llVerbose);
    EXPECT_EQ(FromLibraryLevel(48), llDebug);
    EXPECT_EQ(FromLibraryLevel(AV_LOG_TRACE), llDebug);
    EXPECT_EQ(FromLibraryLevel(-1000), llQuiet);
}

TEST_F(LogTest, FragmentsJoinIntoOneLineWithThePrefixOnce) {
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(
        ff::avcodec_alloc_context3(ff::avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE)));
    ASSERT_TRUE(ctx);
    ff::av_log(ctx.get(), AV_LOG_INFO, "abc");
    EXPECT_TRUE(recorder.Records().empty()) << "a fragment is held until its line ends";
    ff::av_log(ctx.get(), AV_LOG_INFO, "%s\n", "def");

    auto records = recorder.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Text, "[pcm_s16le @ " + PointerText(ctx.get()) + "]abcdef");
    EXPECT_EQ(records[0].Sender, &logger);
    EXPECT_EQ(records[0].ThreadId, CurrentThreadId());
    EXPECT_EQ(records[0].Level, llInfo);
}

TEST_F(LogTest, ContextPrefixFollowsTheClassVersion) {
    AVClass parentClass = MakeClass("HandParent", ParentItemName, LIBAVUTIL_VERSION_INT, 0);
    AVClass childClass = MakeClass("HandChild", ChildItemName, LIBAVUTIL_VERSION_INT, offsetof(HandContext, Parent));
    // A class from before utility library 50.15.3 has no parent link to follow.
    AVClass oldClass = MakeClass("HandOld", ChildItemName, 0x320F02, offsetof(HandContext, Parent));
    HandContext parent{&parentClass, nullptr};
    HandContext child{&childClass, &parent};
    HandContext old{&oldClass, &parent};
    HandContext orphan{&childClass, nullptr};
    HandContext classless{nullptr, nullptr};

    ff::av_log(&child, AV_LOG_ERROR, "with parent\n");
    ff::av_log(&old, AV_LOG_ERROR, "old class\n");
    ff::av_log(&orphan, AV_LOG_ERROR, "no parent\n");
    ff::av_log(nullptr, AV_LOG_ERROR, "no context\n");
    ff::av_log(&classless, AV_LOG_ERROR, "no class\n");

    std::string childAt = PointerText(&child);
    EXPECT_EQ(recorder.Texts(),
              (Texts{"[hand-parent @ " + PointerText(&parent) + "] [hand-child @ " + childAt + "]with parent",
                     "[hand-child @ " + PointerText(&old) + "]old class",
                     "[hand-child @ " + PointerText(&orphan) + "]no parent",
                     "no context",
                     "no class"}));
}

TEST_F(LogTest, RepeatedLinesAreFoldedIntoACount) {
    for (int i = 0; i < 3; ++i) ff::av_log(nullptr, AV_LOG_INFO, "same\n");
    ff::av_log(nullptr, AV_LOG_WARNING, "other\n");
    // A repeat needs a whole line: a fragment equal to the last line is text.
    ff::av_log(nullptr, AV_LOG_INFO, "other");
    ff::av_log(nullptr, AV_LOG_INFO, "\n");

    auto records = recorder.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].Text, "same");
    EXPECT_EQ(records[1].Text, "    Last message repeated 2 times");
    EXPECT_EQ(records[1].Level, llWarning) << "the count goes out at the level of the call that ends the run";
    EXPECT_EQ(records[2].Text, "other");
    EXPECT_EQ(records[3].Text, "other");
}

TEST_F(LogTest, RepeatsAreRecognisedAcrossThreads) {
    ff::av_log(nullptr, AV_LOG_INFO, "same\n");
    uint32_t workerId = 0;
    std::thread worker([&] {
        workerId = CurrentThreadId();
        ff::av_log(nullptr, AV_LOG_INFO, "same\n");
        ff::av_log(nullptr, AV_LOG_INFO, "other\n");
    });
    worker.join();

    auto records = recorder.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Text, "same");
    EXPECT_EQ(records[0].ThreadId, CurrentThreadId());
    EXPECT_EQ(records[1].Text, "    Last message repeated 1 times");
    EXPECT_EQ(records[1].ThreadId, workerId);
    EXPECT_EQ(records[2].Text, "other");
    EXPECT_EQ(records[2].ThreadId, workerId);
}

TEST_F(LogTest, LongMessagesArriveWhole) {
    std::string medium(3000, 'm');
    std::string large(10000, 'L');
    // Arguments after the long text show that the second formatting pass
    // starts again from the first argument.
    ff::av_log(nullptr, AV_LOG_INFO, "%s|%d|%s\n", medium.c_str(), 42, "tail");
    ff::av_log(nullptr, AV_LOG_INFO, "%s|%d|%s\n", large.c_str(), -7, "end");
    EXPECT_EQ(recorder.Texts(), (Texts{medium + "|42|tail", large + "|-7|end"}));
}

TEST_F(LogTest, TextIsSplitAtLineFeedsOnly) {
    ff::av_log(nullptr, AV_LOG_INFO, "one\ntwo\r\n\nthree");
    EXPECT_EQ(recorder.Texts(), (Texts{"one", "two\r", ""}));
    ff::av_log(nullptr, AV_LOG_INFO, " more\n");
    EXPECT_EQ(recorder.Texts(), (Texts{"one", "two\r", "", "three more"}));
}

TEST_F(LogTest, WarningLevelFiltersBothProducers) {
    logger.SetLogLevel(llWarning);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_WARNING);
    int sender = 0;

    ff::av_log(nullptr, AV_LOG_INFO, "library info\n");
    ff::av_log(nullptr, AV_LOG_WARNING, "library warning\n");
    logger.Log(&sender, llInfo, "own info");
    logger.Log(&sender, llVerbose, "own verbose");
    logger.Log(&sender, llDebug, "own debug");
    logger.Log(&sender, llError, "own error");
    logger.LogFmt(&sender, llInfo, "%d hidden", 1);
    logger.LogFmt(&sender, llWarning, "%d files in %f s at %p", 3, 1.5, static_cast<void*>(&sender));

    auto records = recorder.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].Text, "library warning");
    EXPECT_EQ(records[0].Level, llWarning);
    EXPECT_EQ(records[1].Text, "own verbose");
    EXPECT_EQ(records[1].Sender, &sender);
    EXPECT_EQ(records[1].Level, llVerbose);
    EXPECT_EQ(records[2].Text, "own error");
    EXPECT_EQ(records[3].Text, "3 files in 1.50 s at " + PointerText(&sender));
}

TEST_F(LogTest, QuietDeliversOnlyQuietMessages) {
    logger.SetLogLevel(llQuiet);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_QUIET);
    logger.Log(nullptr, llPanic, "panic");
    logger.Log(nullptr, llVerbose, "verbose");
    ff::av_log(nullptr, AV_LOG_PANIC, "library panic\n");
    logger.Log(nullptr, llQuiet, "quiet");
    EXPECT_EQ(recorder.Texts(), (Texts{"quiet"}));
}

TEST_F(LogTest, LevelByNameTakesNamesAndNumbers) {
    for (const char* name : {"Warning", "WARNING", "warning"}) {
        logger.SetLogLevel(llInfo);
        logger.SetLogLevelByName(name);
        EXPECT_EQ(logger.LogLevel(), llWarning) << name;
    }
    logger.SetLogLevelByName("Debug");
    EXPECT_EQ(logger.LogLevel(), llDebug);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_DEBUG);
    logger.SetLogLevelByName("20");
    EXPECT_EQ(logger.LogLevel(), llError);
    logger.SetLogLevelByName("-8");
    EXPECT_EQ(logger.LogLevel(), llQuiet);
    logger.SetLogLevelByName("+40");
    EXPECT_EQ(logger.LogLevel(), llVerbose);

    for (const char* bad : {"abc", "", "12x", "info "}) {
        try {
            logger.SetLogLevelByName(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
        }
        EXPECT_EQ(logger.LogLevel(), llVerbose);
    }
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_VERBOSE);
}

TEST_F(LogTest, EachLogCallKeepsItsOwnValues) {
    // Several threads log at once; sender, thread id, level and text of one
    // call must arrive together.
    logger.SetLogLevel(llDebug);
    logger.TriggerEventInMainThread = false;
    constexpr int kThreads = 4;
    constexpr int kMessages = 300;
    int senders[kThreads];
    std::vector<std::thread> threads;
    std::vector<uint32_t> ids(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ids[t] = CurrentThreadId();
            for (int i = 0; i < kMessages; ++i)
                logger.LogFmt(&senders[t], static_cast<TLogLevel>(llPanic + t), "thread %d message %d", t, i);
        });
    }
    for (auto& th : threads) th.join();

    auto records = recorder.Records();
    ASSERT_EQ(records.size(), static_cast<size_t>(kThreads * kMessages));
    std::vector<int> next(kThreads, 0);
    for (const LogRecord& r : records) {
        int t = static_cast<int>(static_cast<int*>(r.Sender) - senders);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(r.ThreadId, ids[t]);
        EXPECT_EQ(r.Level, static_cast<TLogLevel>(llPanic + t));
        EXPECT_EQ(r.Text, Format("thread %d message %d", t, next[t]++));
    }
}

TEST_F(LogTest, WorkerLinesReachTheMainThreadWithoutDeadlock) {
    Watchdog watchdog;
    InitMainThread();
    // The worker announces each hand-off; at that moment it waits for the main
    // thread, and the main thread logs through the library itself.
    ManualResetEvent workerWaiting;
    SetWakeMainThreadHook([&](bool) { workerWaiting.Set(); });
    constexpr int kLines = 200;
    std::atomic<bool> done{false};
    uint32_t workerId = 0;
    std::thread worker([&] {
        workerId = CurrentThreadId();
        for (int i = 0; i < kLines; ++i) {
            ff::av_log(nullptr, AV_LOG_INFO, "worker %d", i);
            ff::av_log(nullptr, AV_LOG_INFO, "\n");
        }
        done = true;
    });

    int mainLines = 0;
    workerWaiting.Wait();
    ff::av_log(nullptr, AV_LOG_INFO, "main %d\n", mainLines++);
    while (!done) {
        CheckSynchronize(20);
        ff::av_log(nullptr, AV_LOG_INFO, "main %d\n", mainLines++);
    }
    worker.join();
    CheckSynchronize();
    SetWakeMainThreadHook(nullptr);

    Texts fromWorker, fromMain;
    for (const LogRecord& r : recorder.Records()) {
        EXPECT_TRUE(r.OnMainThread) << r.Text;
        (r.ThreadId == workerId ? fromWorker : fromMain).push_back(r.Text);
    }
    Texts expectWorker, expectMain;
    for (int i = 0; i < kLines; ++i) expectWorker.push_back(Format("worker %d", i));
    for (int i = 0; i < mainLines; ++i) expectMain.push_back(Format("main %d", i));
    EXPECT_EQ(fromWorker, expectWorker);
    EXPECT_EQ(fromMain, expectMain);
}

TEST_F(LogTest, WithoutMainThreadDeliveryTheWorkerRunsTheHandler) {
    InitMainThread();
    logger.TriggerEventInMainThread = false;
    std::thread worker([] {
        ff::av_log(nullptr, AV_LOG_INFO, "from worker\n");
        GlobalLogger()->Log(nullptr, llInfo, "own from worker");
    });
    worker.join();
    auto records = recorder.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].OnMainThread);
    EXPECT_FALSE(records[1].OnMainThread);
}

// A worker that does not wait for the main thread goes on at once; its lines
// arrive in order when the main thread next serves its hand-offs.
TEST_F(LogTest, PostedWorkerLinesArriveInOrderWithoutTheWorkerWaiting) {
    InitMainThread();
    logger.WaitForMainThread = false;
    std::thread worker([] {
        for (int i = 0; i < 3; ++i) GlobalLogger()->LogFmt(nullptr, llInfo, "line %d", i);
    });
    worker.join();  // would never return if the worker waited
    EXPECT_TRUE(recorder.Records().empty());
    CheckSynchronize();
    Texts texts;
    for (const LogRecord& r : recorder.Records()) {
        EXPECT_TRUE(r.OnMainThread);
        texts.push_back(r.Text);
    }
    EXPECT_EQ(texts, (Texts{"line 0", "line 1", "line 2"}));
}

// Lines still queued when their logger goes are dropped with it.
TEST(LoggerLifecycle, PostedLinesDoNotOutliveTheirLogger) {
    InitMainThread();
    int delivered = 0;
    {
        TFFLogger logger;
        logger.WaitForMainThread = false;
        logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string&) { ++delivered; };
        std::thread([&] { logger.Log(nullptr, llInfo, "late"); }).join();
    }
    CheckSynchronize();
    EXPECT_EQ(delivered, 0);
}

TEST_F(LogTest, ShutdownDropsPendingTextAndRepeatState) {
    ff::av_log(nullptr, AV_LOG_INFO, "line\n");
    ff::av_log(nullptr, AV_LOG_INFO, "unfinished");
    FinalizeLogBridge();
    EXPECT_EQ(GlobalLogger(), &logger) << "only an auto-created logger is freed";
    // The callback is still installed here; after shutdown the same line is
    // new again and the fragment is gone.
    ff::av_log(nullptr, AV_LOG_INFO, "line\n");
    EXPECT_EQ(recorder.Texts(), (Texts{"line", "line"}));
}

class LoggerLifecycleTest : public LibrariesTest {};

TEST_F(LoggerLifecycleTest, AutoCreatedLoggerIsReplaced) {
    TFFLogger* automatic = GlobalLogger();
    ASSERT_TRUE(automatic->AutoCreated());
    automatic->SetLogLevel(llWarning);
    Recorder recorder;
    {
        TFFLogger mine;
        EXPECT_EQ(GlobalLogger(), &mine);
        EXPECT_FALSE(mine.AutoCreated());
        EXPECT_EQ(mine.LogLevel(), llWarning) << "a new logger starts at the library's level";
        mine.OnLog = recorder.Handler();
        try {
            TFFLogger second;
            ADD_FAILURE() << "a second logger was created";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Allow creating only one instance of TFFLogger.");
        }
        EXPECT_EQ(GlobalLogger(), &mine);
        ff::av_log(nullptr, AV_LOG_ERROR, "to mine\n");
    }
    EXPECT_EQ(recorder.Texts(), (Texts{"to mine"}));
    TFFLogger* next = GlobalLogger();
    EXPECT_TRUE(next->AutoCreated());
    EXPECT_EQ(GlobalLogger(), next);
}
