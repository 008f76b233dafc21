#include "TaskWorker.h"

#include "MainThread.h"

void TTaskWorker::Start(std::function<void()> work) {
    // Marked before the thread runs: its work may end (Finished) at once.
    done_.Reset();
    active_ = true;
    try {
        thread_ = std::thread([this, work = std::move(work)] {
            work();
            done_.Set();
        });
    } catch (...) {
        active_ = false;
        done_.Set();
        throw;
    }
}

void TTaskWorker::WaitDone() {
    while (!done_.WaitFor(20))
        if (IsMainThread()) CheckSynchronize(0);
}

void TTaskWorker::Join() {
    if (thread_.joinable()) thread_.join();
}
