#pragma once
// The worker thread of a task: started once, tells when its work is done, and
// is joined by whoever ends the task, never by itself.
#include <atomic>
#include <functional>
#include <thread>

#include "ManualResetEvent.h"

class TTaskWorker {
public:
    TTaskWorker() = default;
    TTaskWorker(const TTaskWorker&) = delete;
    TTaskWorker& operator=(const TTaskWorker&) = delete;
    // The owner joins first; a worker still running here is a bug it shows.
    ~TTaskWorker() { Join(); }

    // Runs `work` on a new thread (the configuring thread).
    void Start(std::function<void()> work);
    // The work has ended its part (any thread): it may still be unwinding.
    void Finished() { active_ = false; }
    // Whether a worker was started and has not been joined.
    bool Started() const { return active_ || thread_.joinable(); }
    bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }
    // Returns once the work has ended; on the main thread serves its
    // hand-offs meanwhile, since the worker may be waiting inside one.
    void WaitDone();
    void Join();

private:
    std::thread thread_;
    std::atomic<bool> active_{false};  // Start sets it, Finished clears it
    ManualResetEvent done_{true};      // reset by Start, set once the work has returned
};
