#include "InterruptCB.h"

#include <algorithm>
#include <atomic>

#include "AVFormatStubs.h"
#include "ThreadId.h"

namespace {

// The process's registry, made by FFBindStartup and freed by FFBindShutdown.
// The library's callback may run on any thread, so the pointer is atomic.
std::atomic<TInterruptCB*> g_registry{nullptr};
// Set once the container library is bound: contexts made from then on carry
// InterruptCallback.
std::atomic<bool> g_callbackInstalled{false};

bool SameEntry(const TInterruptItem& item, uint32_t threadId, void* object, TInterruptCheck check) {
    return item.ThreadId == threadId && item.Object == object && item.Check == check;
}

} // namespace

void TInterruptCB::Add(uint32_t threadId, void* object, TInterruptCheck check) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const TInterruptItem& item : items_)
        if (SameEntry(item, threadId, object, check)) return;
    items_.push_back(TInterruptItem{threadId, object, check});
}

void TInterruptCB::Remove(uint32_t threadId, void* object, TInterruptCheck check) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const TInterruptItem& item) { return SameEntry(item, threadId, object, check); });
    if (it != items_.end()) items_.erase(it);
}

bool TInterruptCB::Check(uint32_t threadId) {
    TInterruptItem first{};
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = std::find_if(items_.begin(), items_.end(),
                               [threadId](const TInterruptItem& item) { return item.ThreadId == threadId; });
        if (it == items_.end()) return false;
        first = *it;
    }
    // Outside the lock: a time-out check logs, and the log line may wait for the
    // main thread, which may itself be asking InterruptCallback right now.
    return first.Check && first.Check(first.Object);
}

void TInterruptCB::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    items_.clear();
}

size_t TInterruptCB::Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.size();
}

TInterruptCB* InterruptRegistry() { return g_registry.load(); }

void CreateInterruptRegistry() {
    if (!g_registry.load()) g_registry.store(new TInterruptCB());
}

void FreeInterruptRegistry() {
    TInterruptCB* registry = g_registry.exchange(nullptr);
    if (!registry) return;
    registry->Clear();
    delete registry;
}

int InterruptCallback(void* /*opaque: one callback serves every context*/) {
    TInterruptCB* registry = g_registry.load();
    return registry && registry->Check(CurrentThreadId()) ? 1 : 0;
}

void InstallInterruptCallback() { g_callbackInstalled = true; }

AVIOInterruptCB InterruptCallbackRecord() {
    if (!g_callbackInstalled) return AVIOInterruptCB{nullptr, nullptr};
    return AVIOInterruptCB{InterruptCallback, nullptr};
}

AVFormatContext* AllocFormatContext() {
    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (ctx) ctx->interrupt_callback = InterruptCallbackRecord();
    return ctx;
}
