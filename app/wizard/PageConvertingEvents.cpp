#include "PageConvertingEvents.h"

namespace {

TPageBatchEvent FileEvent(TPageBatchEvent::TKind kind, size_t index) {
    TPageBatchEvent event;
    event.Kind = kind;
    event.End.Index = index;
    return event;
}

} // namespace

void TPageBatchEvents::Queued(size_t index, const std::string&) { Push(FileEvent(TPageBatchEvent::Queued, index)); }

void TPageBatchEvents::Started(size_t index, const std::string&) { Push(FileEvent(TPageBatchEvent::Started, index)); }

void TPageBatchEvents::Progress(size_t index, const std::string&, int64_t converted, int64_t total) {
    std::lock_guard<std::mutex> lock(progressLock_);
    progress_[index] = {converted, total};
}

void TPageBatchEvents::Finished(const TBatchFileEnd& end) {
    TPageBatchEvent event;
    event.Kind = TPageBatchEvent::Finished;
    event.End = end;
    Push(std::move(event));
}

void TPageBatchEvents::AlbumTagged(const TBatchAlbum& album) {
    TPageBatchEvent event;
    event.Kind = TPageBatchEvent::AlbumTagged;
    event.Album = album;
    Push(std::move(event));
}

void TPageBatchEvents::Summary(const TBatchSummary&) { Push(TPageBatchEvent{}, true); }

void TPageBatchEvents::Push(TPageBatchEvent event, bool last) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(std::move(event));
        wake = !woken_ || last;
        woken_ = true;
    }
    if (wake && wake_) wake_(last);
}

std::vector<TPageBatchEvent> TPageBatchEvents::Take() {
    std::vector<TPageBatchEvent> taken;
    std::lock_guard<std::mutex> lock(lock_);
    taken.swap(events_);
    if (taken.empty()) woken_ = false;
    return taken;
}

std::map<size_t, TFileProgress> TPageBatchEvents::TakeProgress() {
    std::map<size_t, TFileProgress> taken;
    std::lock_guard<std::mutex> lock(progressLock_);
    taken.swap(progress_);
    return taken;
}
