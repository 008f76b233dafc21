#pragma once
// What page 3 hears of its batch runner, kept until the main thread takes it.
// The runner tells its events on its own thread and a file's progress on that
// file's worker; neither waits for the window here. Progress only replaces the
// file's latest figures under a short lock, for the page's timer to paint;
// the other events queue up in order, and the page is woken once for all
// that come until it takes them.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "BatchRun.h"

struct TPageBatchEvent {
    enum TKind { Queued, Started, Finished, AlbumTagged, Ended };
    TKind Kind = Ended;
    // The file (End.Index) of every kind but AlbumTagged and Ended; how it settled for Finished.
    TBatchFileEnd End;
    // AlbumTagged only.
    TBatchAlbum Album;
};

// The latest report of a running file, in microseconds; a total of 0 or less is unknown.
struct TFileProgress {
    int64_t Converted = 0;
    int64_t Total = -1;
};

class TPageBatchEvents : public TBatchListener {
public:
    // `wake` is called on the runner's thread when an event finds nothing
    // waiting to be taken, and for the batch's end (`last`), which nothing
    // follows: it must only hand a call of the page's to its event loop.
    explicit TPageBatchEvents(std::function<void(bool last)> wake) : wake_(std::move(wake)) {}

    void Queued(size_t index, const std::string& output) override;
    void Started(size_t index, const std::string& output) override;
    void Progress(size_t index, const std::string& output, int64_t converted, int64_t total) override;
    void Finished(const TBatchFileEnd& end) override;
    void AlbumTagged(const TBatchAlbum& album) override;
    void Summary(const TBatchSummary& summary) override;

    // Main thread: the events told since the last call, in order. Once a call
    // finds none, the next event wakes the page again.
    std::vector<TPageBatchEvent> Take();
    // Main thread: the latest report of each file that reported since the last call.
    std::map<size_t, TFileProgress> TakeProgress();

private:
    void Push(TPageBatchEvent event, bool last = false);

    std::function<void(bool last)> wake_;
    std::mutex lock_;                     // events_, woken_
    std::vector<TPageBatchEvent> events_;
    bool woken_ = false;                  // the page is woken and has not yet found the queue empty
    std::mutex progressLock_;             // progress_: held only to copy a report in or the reports out
    std::map<size_t, TFileProgress> progress_;
};
