#include "BatchProbes.h"

#include <algorithm>

#include "MainThread.h"
#include "UnicodeProtocol.h"

TBatchProbe ProbeBatchFile(TCustomDecoder& probe, const std::string& file, const TOutputTarget& target) {
    TBatchProbe result;
    result.File = ProbeFile(probe, Utf8ToWide(file), target);
    TCloseFileGuard close(probe);
    TFileStreamInfo info;
    if (result.File.Loaded && probe.GetFileStreamInfo(info) && info.Duration >= 0) result.DurationUs = info.Duration;
    return result;
}

TBatchProbes::TBatchProbes(std::vector<std::string> files, int threads, TOutputTarget target)
    : files_(std::move(files)), target_(std::move(target)), results_(files_.size()) {
    const int count = std::max(0, std::min<int>(threads, static_cast<int>(files_.size())));
    working_ = count;
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
}

// Also when queueing ended early: a thread may be waiting for the main
// thread to take a log line.
TBatchProbes::~TBatchProbes() {
    next_ = files_.size();
    while (working_ > 0) CheckSynchronize(1);
    for (std::thread& t : threads_) t.join();
}

TBatchProbe TBatchProbes::Take(size_t index) {
    if (threads_.empty()) return ProbeBatchFile(inlineProbe_, files_[index], target_);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (results_[index]) {
                TBatchProbe result = std::move(*results_[index]);
                results_[index].reset();
                return result;
            }
        }
        CheckSynchronize(1);
    }
}

void TBatchProbes::Work() {
    TFFDecoder probe;
    for (size_t i = next_++; i < files_.size(); i = next_++) {
        TBatchProbe result = ProbeBatchFile(probe, files_[i], target_);
        std::lock_guard<std::mutex> lock(lock_);
        results_[i] = std::move(result);
    }
    --working_;
}
