// The preview window's driver: pictures handed over from a worker are drawn on
// the main thread with their time as title, closing by the user stops the
// preview, the window dies on the main thread, and without a window factory
// nothing is shown.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MainThread.h"
#include "Previewer.h"

namespace {

// What the fake window saw; outlives the window so the test can look after it is gone.
struct WindowRecord {
    int Created = 0;
    std::vector<std::thread::id> ShowThreads;
    std::vector<std::string> Captions;
    TBitmap LastBitmap;
    std::atomic<bool> UserClosed{false};
    bool Destroyed = false;
    std::thread::id DestroyThread;
};

class FakeWindow : public TPreviewWindow {
public:
    explicit FakeWindow(std::shared_ptr<WindowRecord> record) : record_(std::move(record)) { ++record_->Created; }
    ~FakeWindow() override {
        record_->Destroyed = true;
        record_->DestroyThread = std::this_thread::get_id();
    }
    void Show(const TBitmap& bitmap, const std::string& caption) override {
        record_->ShowThreads.push_back(std::this_thread::get_id());
        record_->Captions.push_back(caption);
        record_->LastBitmap = bitmap;
    }
    bool ClosedByUser() const override { return record_->UserClosed; }

private:
    std::shared_ptr<WindowRecord> record_;
};

TBitmap Picture(int width, int height, uint8_t seed) {
    TBitmap bitmap;
    bitmap.SetBitsPixel(24);
    bitmap.SetSize(width, height);
    for (size_t i = 0; i < bitmap.Bits.size(); ++i) bitmap.Bits[i] = static_cast<uint8_t>(seed + i * 7);
    return bitmap;
}

} // namespace

class PreviewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitMainThread();
        mainId_ = std::this_thread::get_id();
        record_ = std::make_shared<WindowRecord>();
        SetPreviewWindowFactory([record = record_] { return std::make_unique<FakeWindow>(record); });
    }
    void TearDown() override { SetPreviewWindowFactory({}); }

    // Runs `work` on a worker thread while this (main) thread serves its hand-offs.
    void OnWorker(const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            workerId_ = std::this_thread::get_id();
            work();
            done = true;
        });
        while (!done) CheckSynchronize(20);
        worker.join();
        CheckSynchronize();
    }

    std::thread::id mainId_;
    std::thread::id workerId_;
    std::shared_ptr<WindowRecord> record_;
};

TEST_F(PreviewerTest, WorkerPicturesAreDrawnOnTheMainThreadWithTheirTime) {
    auto previewer = std::make_unique<TPreviewer>();
    const TBitmap first = Picture(32, 24, 1);
    const TBitmap second = Picture(32, 24, 99);
    bool shownFirst = false;
    bool shownSecond = false;
    OnWorker([&] {
        shownFirst = previewer->ShowPicture(first, 7, 65250000);
        EXPECT_EQ(previewer->FrameNumber(), 7);
        EXPECT_EQ(previewer->PictureTime(), 65250000);
        shownSecond = previewer->ShowPicture(second, 8, AV_NOPTS_VALUE);
    });
    EXPECT_TRUE(shownFirst);
    EXPECT_TRUE(shownSecond);
    EXPECT_FALSE(previewer->Closed());
    EXPECT_EQ(record_->Created, 1);
    ASSERT_EQ(record_->ShowThreads.size(), 2u);
    EXPECT_NE(workerId_, mainId_);
    for (const std::thread::id& id : record_->ShowThreads) EXPECT_EQ(id, mainId_);
    EXPECT_EQ(record_->Captions, (std::vector<std::string>{"00:01:05.250", "N/A"}));

    // The latest picture is the one drawn and the one kept.
    EXPECT_EQ(record_->LastBitmap.Bits, second.Bits);
    EXPECT_EQ(record_->LastBitmap.Width, 32);
    EXPECT_EQ(previewer->Bitmap().Bits, second.Bits);
    EXPECT_EQ(previewer->FrameNumber(), 8);
    EXPECT_EQ(previewer->PictureTime(), AV_NOPTS_VALUE);

    // The task frees its previewer on its own thread; the window goes on the main thread.
    OnWorker([&] { previewer.reset(); });
    EXPECT_TRUE(record_->Destroyed);
    EXPECT_EQ(record_->DestroyThread, mainId_);
}

TEST_F(PreviewerTest, ClosingByTheUserStopsThePreview) {
    TPreviewer previewer;
    const TBitmap first = Picture(16, 16, 3);
    bool results[3] = {false, true, true};
    OnWorker([&] {
        results[0] = previewer.ShowPicture(first, 1, 40000);
        record_->UserClosed = true;
        results[1] = previewer.ShowPicture(Picture(16, 16, 50), 2, 80000);
        results[2] = previewer.ShowPicture(Picture(16, 16, 60), 3, 120000);
    });
    EXPECT_TRUE(results[0]);
    EXPECT_FALSE(results[1]);
    EXPECT_FALSE(results[2]);
    EXPECT_TRUE(previewer.Closed());
    // Nothing after the close was drawn or kept.
    EXPECT_EQ(record_->ShowThreads.size(), 1u);
    EXPECT_EQ(record_->LastBitmap.Bits, first.Bits);
    EXPECT_EQ(previewer.FrameNumber(), 1);
    EXPECT_EQ(previewer.PictureTime(), 40000);
    EXPECT_FALSE(record_->Destroyed);  // still the previewer's until it goes
}

TEST_F(PreviewerTest, WithoutAWindowNothingIsShownAndThePreviewStops) {
    for (bool factoryGivesNothing : {false, true}) {
        SCOPED_TRACE(factoryGivesNothing ? "factory makes no window" : "no factory");
        if (factoryGivesNothing)
            SetPreviewWindowFactory([] { return std::unique_ptr<TPreviewWindow>(); });
        else
            SetPreviewWindowFactory({});
        TPreviewer previewer;
        EXPECT_FALSE(previewer.Closed());
        bool results[2] = {true, true};
        OnWorker([&] {
            results[0] = previewer.ShowPicture(Picture(8, 8, 5), 4, 1000000);
            results[1] = previewer.ShowPicture(Picture(8, 8, 6), 5, 2000000);
        });
        EXPECT_FALSE(results[0]);
        EXPECT_FALSE(results[1]);
        EXPECT_TRUE(previewer.Closed());
        // The first picture is kept all the same; later ones are not.
        EXPECT_EQ(previewer.FrameNumber(), 4);
        EXPECT_EQ(previewer.PictureTime(), 1000000);
    }
    EXPECT_EQ(record_->Created, 0);
}
