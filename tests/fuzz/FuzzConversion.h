#pragma once
// One conversion of a fuzz input to each of several outputs, the way a batch
// queues it: one task per output (a task that cannot be queued is dropped),
// all run inline on this thread. The engine's own refusals are the expected
// answer to a damaged file; anything else escapes to the fuzzer.
#include <string>
#include <utility>
#include <vector>

#include "Exception.h"
#include "FFEncoder.h"
#include "FuzzSupport.h"

inline void ConvertFuzzInput(const std::wstring& input, const TInputOptions* inputRecord,
                             const std::vector<std::pair<std::wstring, const TOutputOptions*>>& outputs) {
    TFFEncoder encoder;
    try {
        for (const auto& [output, record] : outputs) {
            const int task = encoder.AddTask(input, inputRecord);
            if (task >= 0 && !encoder.SetOutputFile(task, output, record)) encoder.RemoveTask(task);
        }
        if (encoder.TaskCount() > 0) encoder.StartTask(0);
    } catch (const Exception&) {
        // The engine's own answer to an input it cannot convert.
    }
    encoder.ClearTasks();
}
