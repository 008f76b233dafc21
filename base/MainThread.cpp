#include "MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct HandOff {
    std::function<void()> fn;
    bool done = false;
    std::exception_ptr error;
    // Posted: nobody waits, the queue owns the item.
    bool posted = false;
    const void* owner = nullptr;
};

struct MainQueue {
    std::mutex mutex;
    std::condition_variable queued;    // a hand-off arrived
    std::condition_variable finished;  // a hand-off ran
    std::deque<HandOff*> items;
    std::function<void(bool)> wakeHook;
    std::thread::id mainId;
    bool haveMain = false;
};

MainQueue& Queue() {
    static MainQueue q;
    return q;
}

} // namespace

void InitMainThread() {
    MainQueue& q = Queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.mainId = std::this_thread::get_id();
    q.haveMain = true;
}

bool IsMainThread() {
    MainQueue& q = Queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    return !q.haveMain || q.mainId == std::this_thread::get_id();
}

void RunInMainThread(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    MainQueue& q = Queue();
    HandOff item;
    item.fn = fn;
    std::function<void(bool)> hook;
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        q.items.push_back(&item);
        hook = q.wakeHook;
    }
    q.queued.notify_all();
    if (hook) hook(true);
    {
        std::unique_lock<std::mutex> lock(q.mutex);
        q.finished.wait(lock, [&] { return item.done; });
    }
    if (item.error) std::rethrow_exception(item.error);
}

void PostToMainThread(std::function<void()> fn, const void* owner) {
    if (IsMainThread()) {
        try {
            fn();
        } catch (...) {
        }
        return;
    }
    MainQueue& q = Queue();
    auto item = std::make_unique<HandOff>();
    item->fn = std::move(fn);
    item->posted = true;
    item->owner = owner;
    std::function<void(bool)> hook;
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        // Anything already queued has had its call, and runs with this one.
        if (q.items.empty()) hook = q.wakeHook;
        q.items.push_back(item.release());
    }
    q.queued.notify_all();
    if (hook) hook(false);
}

void DiscardPosted(const void* owner) {
    MainQueue& q = Queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    for (auto it = q.items.begin(); it != q.items.end();) {
        if ((*it)->posted && (*it)->owner == owner) {
            delete *it;
            it = q.items.erase(it);
        } else {
            ++it;
        }
    }
}

bool CheckSynchronize(int timeoutMs) {
    MainQueue& q = Queue();
    std::deque<HandOff*> batch;
    {
        std::unique_lock<std::mutex> lock(q.mutex);
        if (q.items.empty() && timeoutMs > 0) {
            q.queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !q.items.empty(); });
        }
        batch.swap(q.items);
    }
    for (HandOff* item : batch) {
        if (item->posted) {
            const std::unique_ptr<HandOff> owned(item);
            try {
                item->fn();
            } catch (...) {
            }
            continue;
        }
        try {
            item->fn();
        } catch (...) {
            item->error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(q.mutex);
        item->done = true;
    }
    if (!batch.empty()) q.finished.notify_all();
    return !batch.empty();
}

void SetWakeMainThreadHook(std::function<void(bool)> hook) {
    MainQueue& q = Queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.wakeHook = std::move(hook);
}
