#include "FileAdder.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "Exception.h"
#include "FFDecode.h"
#include "FileNames.h"
#include "InterruptCB.h"
#include "MainThread.h"
#include "SourceFiles.h"
#include "ThreadId.h"

namespace {

// The longest the main thread spends handing over files before it lets the
// window do its work again.
constexpr qint64 DeliveryBudgetMs = 15;

} // namespace

// A file to probe: a file found, or an image with the tracks of its sheet
// that were found one after the other, which one probe of the image serves.
struct TAddedFile {
    TSourceFile File;
    std::vector<TSourceTrack> Tracks;
};

// One add: the names still to search, the files found, their results. The
// workers and the main thread share it under `lock`, apart from the fields
// said otherwise.
struct TFileAdder::TRun {
    QSize pictureArea;                                  // set before the workers start
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable wake;                      // names or files arrived, or the end
    std::deque<std::vector<std::string>> names;        // batches not yet searched, in order
    bool searching = false;                            // a worker searches a batch
    std::vector<TAddedFile> files;                     // found so far, in order
    std::vector<std::optional<TProbedRow>> results;  // one slot per file
    size_t nextProbe = 0;
    size_t delivered = 0;                              // written by the main thread under the lock
    bool quit = false;                                 // no more work: idle workers end
    std::atomic<int> alive{0};                         // workers not yet ended
    std::vector<std::thread> workers;                  // started and joined by the main thread

    bool Complete() const { return names.empty() && !searching && delivered == files.size(); }
};

namespace {

bool StopAsked(void* run) { return static_cast<const std::atomic<bool>*>(run)->load(); }

// While it lives, the blocking library calls of the calling thread give up
// once `stop` is set.
class TInterruptScope {
public:
    explicit TInterruptScope(std::atomic<bool>& stop) : stop_(&stop), threadId_(CurrentThreadId()) {
        if (TInterruptCB* registry = InterruptRegistry()) registry->Add(threadId_, stop_, StopAsked);
    }
    ~TInterruptScope() {
        if (TInterruptCB* registry = InterruptRegistry()) registry->Remove(threadId_, stop_, StopAsked);
    }
    TInterruptScope(const TInterruptScope&) = delete;
    TInterruptScope& operator=(const TInterruptScope&) = delete;

private:
    std::atomic<bool>* stop_;
    uint32_t threadId_;
};

void AppendFiles(std::vector<TSourceFile> found, std::vector<TAddedFile>& files) {
    const size_t searched = files.size();
    for (TSourceFile& source : found) {
        if (!source.Track) {
            files.push_back({std::move(source), {}});
            continue;
        }
        TAddedFile* image = files.size() > searched ? &files.back() : nullptr;
        if (!image || image->Tracks.empty() || image->File.Path != source.Path || image->File.Root != source.Root) {
            files.push_back({TSourceFile{source.Path, source.Root, std::nullopt, {}}, {}});
            image = &files.back();
        }
        image->Tracks.push_back(std::move(*source.Track));
    }
}

TProbedRow Probe(TFFDecoder& probe, const TAddedFile& added, const QSize& pictureArea) {
    const TSourceFile& file = added.File;
    const QString name = NameFromBytes(file.Path);
    TProbedRow probed;
    // A sheet that gave nothing to probe is only reported.
    if (!file.Problem.empty()) {
        probed.Error = file.Problem;
        return probed;
    }
    try {
        // Added by its sheet, the image is what that sheet says it is, not
        // what it may hold itself.
        probed = ProbeFileRow(probe, name, pictureArea, added.Tracks.empty());
    } catch (const std::exception& e) {
        probed = TProbedRow{};
        probed.Error = e.what();
    }
    probed.Root = NameFromBytes(file.Root);
    if (!added.Tracks.empty()) probed.SheetTracks = added.Tracks;
    return probed;
}

} // namespace

TFileAdder::TFileAdder(int threads, QObject* parent) : QObject(parent), threads_(std::max(1, threads)) {}

TFileAdder::~TFileAdder() {
    OnFile = nullptr;
    OnProgress = nullptr;
    OnDone = nullptr;
    StopAndWait();
}

void TFileAdder::Add(const QStringList& names, const QSize& pictureArea) {
    std::vector<std::string> batch;
    batch.reserve(static_cast<size_t>(names.size()));
    for (const QString& name : names) batch.push_back(NameBytes(name));
    if (!run_) {
        auto run = std::make_unique<TRun>();
        run->pictureArea = pictureArea;
        run->names.push_back(std::move(batch));
        StartWorkers(*run);
        run_ = std::move(run);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(run_->lock);
        run_->names.push_back(std::move(batch));
    }
    run_->wake.notify_all();
}

// Fewer workers when the system refuses threads; none is an error.
void TFileAdder::StartWorkers(TRun& run) {
    run.alive = threads_;
    for (int i = 0; i < threads_; ++i) {
        try {
            run.workers.emplace_back(Work, this, &run);
        } catch (const std::system_error&) {
            run.alive -= threads_ - i;
            break;
        }
    }
    if (run.workers.empty()) throw Exception("No thread could be started to add the files.");
}

void TFileAdder::Work(TFileAdder* adder, TRun* run) {
    {
        TInterruptScope interrupt(run->stop);
        TFFDecoder probe;
        std::unique_lock<std::mutex> lock(run->lock);
        while (!run->stop) {
            if (!run->names.empty() && !run->searching) {
                const std::vector<std::string> names = std::move(run->names.front());
                run->names.pop_front();
                run->searching = true;
                lock.unlock();
                std::vector<TSourceFile> found = ExpandSources(names, true, &run->stop);
                lock.lock();
                AppendFiles(std::move(found), run->files);
                run->results.resize(run->files.size());
                run->searching = false;
                run->wake.notify_all();
                adder->RequestDelivery();
            } else if (run->nextProbe < run->files.size()) {
                const size_t index = run->nextProbe++;
                const TAddedFile file = run->files[index];
                lock.unlock();
                TProbedRow probed = Probe(probe, file, run->pictureArea);
                lock.lock();
                run->results[index] = std::move(probed);
                adder->RequestDelivery();
            } else if (run->quit) {
                break;
            } else {
                run->wake.wait(lock);
            }
        }
    }
    // Nothing of the run is touched after this: the main thread may free it.
    if (--run->alive == 0) adder->RequestReaping();
}

void TFileAdder::RequestDelivery() {
    if (deliveryRequested_.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::QueuedConnection);
}

void TFileAdder::RequestReaping() { QMetaObject::invokeMethod(this, [this] { Reap(); }, Qt::QueuedConnection); }

void TFileAdder::Deliver() {
    deliveryRequested_ = false;
    TRun* run = run_.get();
    if (!run) return;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        std::optional<TProbedRow> file;
        {
            std::lock_guard<std::mutex> lock(run->lock);
            if (run->delivered >= run->results.size() || !run->results[run->delivered]) break;
            file = std::move(run->results[run->delivered]);
            run->results[run->delivered].reset();
            ++run->delivered;
        }
        if (OnFile) OnFile(*file);
        if (run_.get() != run) return;  // the handler stopped the add
        if (clock.elapsed() >= DeliveryBudgetMs) {
            RequestDelivery();
            break;
        }
    }
    if (OnProgress) OnProgress();
    bool complete;
    {
        std::lock_guard<std::mutex> lock(run->lock);
        complete = run->Complete();
    }
    if (complete) Finish();
}

void TFileAdder::Finish() {
    Retire();
    if (OnDone) OnDone(false);
}

void TFileAdder::Stop() {
    if (!run_) return;
    run_->stop = true;
    Retire();
    if (OnDone) OnDone(true);
}

void TFileAdder::Retire() {
    {
        std::lock_guard<std::mutex> lock(run_->lock);
        run_->quit = true;
    }
    run_->wake.notify_all();
    retired_.push_back(std::move(run_));
    Reap();
}

// Joins the workers of the retired adds that have all ended; they are past
// their last step, so joining does not wait.
void TFileAdder::Reap() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        TRun& run = **it;
        if (run.alive > 0) {
            ++it;
            continue;
        }
        for (std::thread& worker : run.workers) worker.join();
        it = retired_.erase(it);
    }
}

void TFileAdder::StopAndWait() {
    Stop();
    // A worker may be waiting for the main thread (a log line): keep serving
    // hand-offs while waiting for it.
    for (const std::unique_ptr<TRun>& run : retired_)
        while (run->alive > 0)
            if (IsMainThread()) CheckSynchronize(10);
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Reap();
}

int TFileAdder::Settled() const { return run_ ? static_cast<int>(run_->delivered) : 0; }

int TFileAdder::Found() const {
    if (!run_) return 0;
    std::lock_guard<std::mutex> lock(run_->lock);
    return static_cast<int>(run_->files.size());
}

bool TFileAdder::Searching() const {
    if (!run_) return false;
    std::lock_guard<std::mutex> lock(run_->lock);
    return run_->searching || !run_->names.empty();
}
