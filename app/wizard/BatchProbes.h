#pragma once
// Probing a batch's files ahead of queueing them. Queueing probes every file
// once more; with several files converted at once that probing runs on as
// many threads, each with a probe of its own, while the main thread queues
// the files probed so far, in list order.
#include <cstdint>
#include <string>

#include "ProbeAhead.h"
#include "QueueFile.h"

// One file probed: its task's records, and its length as the probe saw it.
struct TBatchProbe {
    TProbedFile File;
    int64_t DurationUs = -1;  // -1: unknown
};

// Probes `file` (bytes) with `probe` for `target` and closes it again. Any
// thread, each with a probe of its own.
TBatchProbe ProbeBatchFile(TCustomDecoder& probe, const std::string& file, const TOutputTarget& target);

using TBatchProbes = TProbeAhead<TBatchProbe>;
