#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

// An event that stays signalled until it is reset.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool signalled = false) : signalled_(signalled) {}

    void Set() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
        cond_.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return signalled_;
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cond_.wait(lock, [this] { return signalled_; });
    }
    // True when the event was signalled within the time-out.
    bool WaitFor(int milliseconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cond_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool signalled_;
};
