// The encoder component: queueing tasks, starting them one after another or
// several at a time, stopping them, and the order of its events.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <mutex>
#include <thread>

#include "FFEncoder.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "TaskList.h"
#include "TestSupport.h"

namespace {

// The component as the engine sees it: some of these tests drive a task, or
// the relays a task calls, directly.
class TEngineEncoder : public TFFEncoder {
public:
    TFFmpeg* Task(int index) { return TaskList().Items(index); }
};

struct Event {
    char kind;  // 'p' progress, 't' terminate
    int task;
    bool completed = false;
    bool failed = false;
    std::string error;
    std::thread::id thread;
};

class EncoderTest : public LibrariesTest {
protected:
    void SetUp() override {
        InitMainThread();
        encoder_.OnProgress = [this](void*, PProgressInfo info) {
            Record({'p', info->TaskIndex, false, false, "", std::this_thread::get_id()});
            int running = 0;
            for (int i = 0; i < encoder_.TaskCount(); ++i) running += encoder_.TaskStatus(i).State == tsRunning;
            maxRunning_ = std::max(maxRunning_.load(), running);
        };
        encoder_.OnTerminate = [this](void*, const TTerminateInfo& info) {
            Record({'t', info.TaskIndex, info.Completed, info.Failed, info.ErrorMessage, std::this_thread::get_id()});
            if (info.TaskIndex < 0) allEnded_ = true;
        };
    }
    void Record(const Event& e) {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(e);
    }
    std::wstring Tone(const std::string& name, double seconds) {
        const std::wstring path = WidePath(src_.File(name));
        WriteToneWav(path, 44100, 2, seconds);
        return path;
    }
    // Queues `count` tasks converting tones of `seconds` to MP3.
    void Queue(int count, double seconds) {
        for (int i = 0; i < count; ++i) {
            const int index = encoder_.AddTask(Tone("in" + std::to_string(i) + ".wav", seconds));
            ASSERT_EQ(index, i) << encoder_.LastErrorMessage;
            TOutputOptions options;
            options.AudioBitrate = 128000;
            ASSERT_TRUE(encoder_.SetOutputFile(index, WidePath(out_.File(std::to_string(i) + ".mp3")), &options))
                << encoder_.LastErrorMessage;
        }
    }
    void WaitForAllEnded() {
        while (!allEnded_) CheckSynchronize(20);
        encoder_.ClearTasks();  // joins the delivery threads
    }
    std::vector<Event> Terminations() {
        std::vector<Event> t;
        for (const Event& e : events_)
            if (e.kind == 't') t.push_back(e);
        return t;
    }

    TempDir src_, out_;
    TEngineEncoder encoder_;
    std::mutex lock_;
    std::vector<Event> events_;
    std::atomic<bool> allEnded_{false};
    std::atomic<int> maxRunning_{0};
};

} // namespace

TEST_F(EncoderTest, SettingsAndGuards) {
    encoder_.SetProgressInterval(50);
    EXPECT_EQ(encoder_.ProgressInterval(), 100);
    encoder_.SetProgressInterval(100);
    EXPECT_EQ(encoder_.ProgressInterval(), 100);

    EXPECT_EQ(encoder_.AddTask(WidePath(src_.File("missing.wav"))), -1);
    EXPECT_EQ(encoder_.LastErrorMessage, src_.File("missing.wav") + ": No such file or directory");
    EXPECT_EQ(encoder_.TaskCount(), 0);

    const int index = encoder_.AddTask(Tone("a.wav", 0.2));
    ASSERT_EQ(index, 0);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(encoder_.SetOutputFile(index, WidePath(out_.File(std::to_string(i) + ".wav")))) << i;
    EXPECT_FALSE(encoder_.SetOutputFile(index, WidePath(out_.File("21.wav"))));
    EXPECT_EQ(encoder_.LastErrorMessage, "max output files 20 reached");
    EXPECT_THROW(encoder_.SetOutputFile(5, WidePath(out_.File("x.wav"))), Exception);
}

TEST_F(EncoderTest, OneAtATimeInOrderWithTheFinalRecordLast) {
    encoder_.SetProgressInterval(100);
    Queue(3, 8.0);
    encoder_.StartTask(1);
    WaitForAllEnded();
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ends[i].task, i);
        EXPECT_TRUE(ends[i].completed) << ends[i].error;
        EXPECT_FALSE(ends[i].failed);
        EXPECT_NE(ends[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(ends[3].task, -1);
    EXPECT_TRUE(ends[3].completed);
    // Every record, the final one too, comes from the component's one delivery thread.
    for (const Event& e : ends) EXPECT_EQ(e.thread, ends[0].thread);
    EXPECT_EQ(maxRunning_, 1);
    // Progress of a task never follows its own end, and tasks report in turn.
    int lastEnded = -1;
    for (const Event& e : events_) {
        if (e.kind == 't') lastEnded = std::max(lastEnded, e.task);
        if (e.kind == 'p') {
            EXPECT_GT(e.task, lastEnded);
            EXPECT_EQ(e.thread, std::this_thread::get_id());  // handed to the main thread
        }
    }
    for (int i = 0; i < 3; ++i) EXPECT_GT(std::filesystem::file_size(out_.File(std::to_string(i) + ".mp3")), 1000u);
}

TEST_F(EncoderTest, InlineRunDeliversEveryEventBeforeReturning) {
    Queue(2, 0.5);
    encoder_.StartTask(0);
    EXPECT_TRUE(allEnded_);
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 3u);
    for (const Event& e : ends) EXPECT_EQ(e.thread, std::this_thread::get_id());
    EXPECT_EQ(ends[2].task, -1);
    EXPECT_THROW(encoder_.AddTask(Tone("late.wav", 0.1)), Exception);
    try {
        encoder_.AddTask(Tone("late.wav", 0.1));
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
    }
    encoder_.ClearTasks();
    EXPECT_EQ(encoder_.AddTask(Tone("late.wav", 0.1)), 0);
}

TEST_F(EncoderTest, StopEndsTheRunningTaskAndReportsTheUnstartedOnes) {
    encoder_.SetProgressInterval(100);
    Queue(3, 60.0);
    encoder_.StartTask(1);
    // Wait for the first task to be under way, then stop everything.
    while (true) {
        CheckSynchronize(10);
        std::lock_guard<std::mutex> lock(lock_);
        if (!events_.empty()) break;
    }
    encoder_.Stop(true);
    WaitForAllEnded();
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ends[i].task, i);
        EXPECT_FALSE(ends[i].completed);
        EXPECT_FALSE(ends[i].failed) << ends[i].error;
    }
    EXPECT_EQ(ends[3].task, -1);
    // The stopped output was finalised; the unstarted ones left no empty file.
    EXPECT_GT(std::filesystem::file_size(out_.File("0.mp3")), 0u);
    EXPECT_FALSE(std::filesystem::exists(out_.File("1.mp3")));
}

// A stop that reaches a task while its run opens its files interrupts the
// library's reads; the open it cuts short raises. That ends the task as
// stopped, not failed, and leaves no output behind.
TEST_F(EncoderTest, AStopWhileTheRunOpensItsFilesIsNoFailure) {
    Queue(1, 1.0);
    TCustomFFmpeg* task = encoder_.Task(0);
    task->StopRequested = true;  // as if asked the moment the run began
    task->Run();
    EXPECT_FALSE(task->Completed);
    EXPECT_FALSE(task->Failed) << task->ErrorMessage;
    WaitForAllEnded();  // its end still travels through the delivery thread
    EXPECT_FALSE(std::filesystem::exists(out_.File("0.mp3")));
}

// A handler that sees the all-ended record may clear the tasks at once, from
// another thread, while the last worker is still finishing its termination.
TEST_F(EncoderTest, TasksClearAsSoonAsTheAllEndedRecordArrives) {
    const std::wstring tone = Tone("short.wav", 0.05);
    for (int round = 0; round < 150; ++round) {
        allEnded_ = false;
        ASSERT_EQ(encoder_.AddTask(tone), 0) << encoder_.LastErrorMessage;
        ASSERT_TRUE(encoder_.SetOutputFile(0, WidePath(out_.File(std::to_string(round) + ".wav"))));
        encoder_.StartTask(1);
        while (!allEnded_) CheckSynchronize(0);  // progress is handed to this thread
        ASSERT_NO_THROW(encoder_.ClearTasks()) << "round " << round;
    }
}

TEST_F(EncoderTest, ATaskWithoutOutputFailsAndAnEmptyBatchEndsAtOnce) {
    ASSERT_EQ(encoder_.AddTask(Tone("a.wav", 0.1)), 0);
    encoder_.StartTask(1);
    WaitForAllEnded();
    auto ends = Terminations();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].failed);
    EXPECT_EQ(ends[0].error, "At least one output file must be specified");
    EXPECT_EQ(ends[1].task, -1);

    events_.clear();
    allEnded_ = false;
    encoder_.StartTask(1);
    WaitForAllEnded();
    ends = Terminations();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].task, -1);
}

TEST_F(EncoderTest, TwoAtATimeNeverMoreAndEachEventCarriesItsOwnTask) {
    encoder_.SetProgressInterval(100);
    Queue(4, 20.0);
    encoder_.StartTask(2);
    WaitForAllEnded();
    EXPECT_LE(maxRunning_, 2);
    EXPECT_EQ(maxRunning_, 2);
    const auto ends = Terminations();
    ASSERT_EQ(ends.size(), 5u);
    std::set<int> seen;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(ends[i].completed);
        seen.insert(ends[i].task);
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(ends[4].task, -1);
    for (int i = 0; i < 4; ++i) EXPECT_GT(std::filesystem::file_size(out_.File(std::to_string(i) + ".mp3")), 100000u);
}

TEST_F(EncoderTest, VideoHookAndPreviewRelaysCarryTheTaskAndCopyTheSwitchesBack) {
    Queue(2, 0.2);
    TBitmap bitmap;
    bitmap.Width = 4;
    bitmap.Height = 2;
    std::vector<std::pair<int, int>> seen;  // task index, frame number
    encoder_.OnVideoInputHook = [&](void*, THookInfo* info) {
        seen.push_back({info->TaskIndex, info->FrameNumber});
        EXPECT_EQ(info->Bitmap, &bitmap);
        EXPECT_TRUE(info->Update);
        info->Update = false;
        info->StopHook = true;
    };
    bool update = true, stop = false;
    encoder_.DoVideoInputHook(encoder_.Task(1), &bitmap, update, stop, 40000, 7);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 7}}));
    EXPECT_FALSE(update);
    EXPECT_TRUE(stop);
    // Without a handler the switches stay as they are.
    update = true;
    stop = false;
    encoder_.DoVideoOutputHook(encoder_.Task(0), &bitmap, update, stop, 0, 1);
    EXPECT_TRUE(update);
    EXPECT_FALSE(stop);

    // A preview from a worker thread reaches the handler on the main thread.
    std::thread::id previewThread;
    TPreviewInfo preview;
    encoder_.OnPreviewBitmap = [&](void*, const TPreviewInfo& info) {
        previewThread = std::this_thread::get_id();
        preview = info;
    };
    std::atomic<bool> done{false};
    std::thread worker([&] {
        encoder_.DoPreviewBitmap(encoder_.Task(0), &bitmap, 123);
        done = true;
    });
    while (!done) CheckSynchronize(10);
    worker.join();
    EXPECT_EQ(previewThread, std::this_thread::get_id());
    EXPECT_EQ(preview.TaskIndex, 0);
    EXPECT_EQ(preview.Pts, 123);
    EXPECT_EQ(preview.Width, 4);
}

// Letting go of the events while a relay is inside a handler that waits for
// the main thread: the main thread serves it meanwhile, so the handler
// finishes, and no relay reaches a handler afterwards.
TEST_F(EncoderTest, ClearingTheEventsLetsAHandlerInsideFinishAndNoneFollow) {
    Queue(1, 0.1);
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    bool served = false;
    encoder_.OnVideoInputHook = [&](void*, THookInfo*) {
        ++calls;
        inside = true;
        RunInMainThread([&] { served = true; });
    };
    encoder_.OnBeforeFindStreamInfo = [](void*, AVFormatContext*) {};
    TBitmap bitmap;
    bool update = true, stop = false;
    std::thread worker([&] { encoder_.DoVideoInputHook(encoder_.Task(0), &bitmap, update, stop, 0, 1); });
    while (!inside) std::this_thread::yield();
    encoder_.ClearEvents();
    worker.join();
    EXPECT_TRUE(served);
    encoder_.DoVideoInputHook(encoder_.Task(0), &bitmap, update, stop, 0, 2);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(encoder_.OnTerminate || encoder_.OnProgress || encoder_.OnAudioHook ||
                 encoder_.OnBeforeFindStreamInfo || encoder_.OnPreviewBitmap || encoder_.OnVideoInputHook ||
                 encoder_.OnVideoOutputHook);
}

TEST_F(EncoderTest, TheAudioHookSeesEverySampleAndMayChangeIt) {
    const int index = encoder_.AddTask(Tone("hooked.wav", 1.0));
    ASSERT_EQ(index, 0);
    TOutputOptions options;
    options.AudioHook = true;
    ASSERT_TRUE(encoder_.SetOutputFile(index, WidePath(out_.File("silent.wav")), &options));
    int64_t bytes = 0;
    encoder_.OnAudioHook = [&](void*, int task, int64_t, uint8_t* samples, int size, int rate, int channels, int) {
        EXPECT_EQ(task, 0);
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(channels, 2);
        bytes += size;
        std::fill(samples, samples + size, 0);  // silence the task's audio
    };
    encoder_.StartTask(0);
    EXPECT_EQ(bytes, 44100 * 2 * 2);
    // The written file holds the silenced samples: its data chunk is all zeros.
    const std::string written = ReadTextFile(out_.File("silent.wav"));
    const size_t data = written.find("data");
    ASSERT_NE(data, std::string::npos);
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | static_cast<unsigned char>(written.at(data + 4 + i));
    ASSERT_EQ(size, 44100u * 2 * 2);
    EXPECT_EQ(written.substr(data + 8, size).find_first_not_of('\0'), std::string::npos);
}

TEST_F(EncoderTest, AVideoTaskFeedsTheOutputHookAndThePreview) {
    TFixtureMedia clip;
    clip.Seconds = 0.4;  // 10 pictures
    clip.Video.push_back(TFixtureVideo{});
    WriteMedia(WidePath(src_.File("clip.mkv")), clip);
    const int index = encoder_.AddTask(WidePath(src_.File("clip.mkv")));
    ASSERT_EQ(index, 0) << encoder_.LastErrorMessage;
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    options.DisableAudio = true;
    options.VideoOutputHook = true;
    options.HookBitsPerPixel = 32;
    ASSERT_TRUE(encoder_.SetOutputFile(index, WidePath(out_.File("clip.avi")), &options)) << encoder_.LastErrorMessage;
    std::vector<int> frames;
    encoder_.OnVideoOutputHook = [&](void*, THookInfo* info) {
        EXPECT_EQ(info->Bitmap->BitsPixel, 32);
        frames.push_back(info->FrameNumber);
    };
    int previews = 0;
    encoder_.OnPreviewBitmap = [&](void*, const TPreviewInfo& info) {
        EXPECT_EQ(info.Width, 160);
        ++previews;
    };
    encoder_.SetPreviewBitmap(true);
    encoder_.StartTask(0);
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_GE(previews, 1);
    EXPECT_GT(std::filesystem::file_size(out_.File("clip.avi")), 1000u);
}

TEST_F(EncoderTest, BeforeFindStreamInfoComesFromTheTaskWhileItsInputOpens) {
    std::vector<std::pair<void*, AVFormatContext*>> calls;
    encoder_.OnBeforeFindStreamInfo = [&](void* sender, AVFormatContext* context) {
        calls.push_back({sender, context});
        EXPECT_EQ(context->nb_streams, 1u);  // opened, not yet analysed further
    };
    ASSERT_EQ(encoder_.AddTask(Tone("a.wav", 0.1)), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, static_cast<void*>(encoder_.Task(0)));
    EXPECT_EQ(calls[0].second, encoder_.Task(0)->InputFiles[0].get());
}
