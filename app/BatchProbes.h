#pragma once
// Probing a batch's files ahead of queueing them. Queueing probes every file
// once more; with several files converted at once that probing runs on as
// many threads, each with a probe of its own, while the main thread queues
// the files probed so far, in list order.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FFDecode.h"
#include "QueueFile.h"

// One file probed: its task's records, and its length as the probe saw it.
struct TBatchProbe {
    TProbedFile File;
    int64_t DurationUs = -1;  // -1: unknown
};

// Probes `file` (bytes) with `probe` for `target` and closes it again. Any
// thread, each with a probe of its own.
TBatchProbe ProbeBatchFile(TCustomDecoder& probe, const std::string& file, const TOutputTarget& target);

class TBatchProbes {
public:
    // The main thread. threads <= 0: every file is probed by Take, on the
    // caller's thread.
    TBatchProbes(std::vector<std::string> files, int threads, TOutputTarget target);
    // Leaves the files not yet started unprobed and waits for the threads,
    // serving their hand-offs meanwhile.
    ~TBatchProbes();
    TBatchProbes(const TBatchProbes&) = delete;
    TBatchProbes& operator=(const TBatchProbes&) = delete;

    // The main thread: the result for file `index`, each taken once. While it
    // waits it serves the main-thread hand-offs: the libraries' log lines
    // from the probing threads go through them.
    TBatchProbe Take(size_t index);

private:
    void Work();

    const std::vector<std::string> files_;
    const TOutputTarget target_;
    TFFDecoder inlineProbe_;
    std::mutex lock_;  // results_
    std::vector<std::optional<TBatchProbe>> results_;
    std::atomic<size_t> next_{0};
    std::atomic<int> working_{0};  // threads that have not ended
    std::vector<std::thread> threads_;
};
