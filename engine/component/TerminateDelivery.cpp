#include "TerminateDelivery.h"

TTerminateDelivery::~TTerminateDelivery() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TTerminateDelivery::Post(THandler handler, const TTerminateInfo& info) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        queue_.push_back({std::move(handler), info});
        if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
    }
    changed_.notify_all();
}

void TTerminateDelivery::WaitIdle() {
    std::unique_lock<std::mutex> lock(lock_);
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return;
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void TTerminateDelivery::Work() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to hand out
        TItem item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        try {
            item.Handler(item.Info);
        } catch (...) {
            // A handler's failure must not end the process from this thread.
        }
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
