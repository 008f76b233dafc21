#include "TaskWorker.h"

#include "MainThread.h"

void TTaskWorker::Start(std::function<void()> work) {
    done_.Reset();
    thread_ = std::thread([this, work = std::move(work)] {
        work();
        done_.Set();
    });
    active_ = true;
}

void TTaskWorker::WaitDone() {
    while (!done_.WaitFor(20))
        if (IsMainThread()) CheckSynchronize(0);
}

void TTaskWorker::Join() {
    if (thread_.joinable()) thread_.join();
}
