#pragma once
// Probing runs ahead of queueing. Each probe stands alone, so with several
// threads the files of a batch are probed at once, each thread with a probe of
// its own, while the queueing thread takes the results in file order.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "FFDecode.h"
#include "MainThread.h"

template <typename TResult>
class TProbeAhead {
public:
    // Probes file `index` of the batch.
    using TProbeFn = std::function<TResult(TFFDecoder& probe, size_t index)>;

    // `files` files; threads <= 0: no threads, each file is probed when it is
    // taken.
    TProbeAhead(size_t files, int threads, TProbeFn probe) : files_(files), probe_(std::move(probe)), results_(files) {
        const int count = static_cast<int>(std::min<size_t>(std::max(threads, 0), files));
        working_ = count;
        for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
    }
    ~TProbeAhead() { Cancel(); }
    TProbeAhead(const TProbeAhead&) = delete;
    TProbeAhead& operator=(const TProbeAhead&) = delete;

    // The result for file `index` once its probe is done; with no threads the
    // probe runs now. Each result is taken once.
    std::optional<TResult> TryTake(size_t index) {
        if (threads_.empty()) return probe_(inlineProbe_, index);
        std::lock_guard<std::mutex> lock(lock_);
        std::optional<TResult> result = std::move(results_[index]);
        results_[index].reset();
        return result;
    }

    // TryTake, waiting for the probe to be done.
    TResult Take(size_t index) {
        for (;;) {
            if (std::optional<TResult> result = TryTake(index)) return std::move(*result);
            ServeWhileWaiting();
        }
    }

    // Leaves the files not yet started unprobed, and waits for the others.
    void Cancel() {
        next_ = files_;
        while (working_ > 0) ServeWhileWaiting();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

private:
    void Work() {
        TFFDecoder probe;
        for (size_t i = next_++; i < files_; i = next_++) {
            TResult result = probe_(probe, i);
            std::lock_guard<std::mutex> lock(lock_);
            results_[i] = std::move(result);
        }
        --working_;
    }

    // A probing thread may be waiting for the main thread to take a log
    // line: on the main thread, waiting serves its hand-offs.
    static void ServeWhileWaiting() {
        if (IsMainThread())
            CheckSynchronize(1);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    const size_t files_;
    TProbeFn probe_;
    TFFDecoder inlineProbe_;
    std::mutex lock_;                               // results_
    std::vector<std::optional<TResult>> results_;
    std::atomic<size_t> next_{0};
    std::atomic<int> working_{0};                   // threads that have not ended
    std::vector<std::thread> threads_;
};
