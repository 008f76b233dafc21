// A queued task holds no file: once its inputs and outputs have been checked
// and set up, they are released, and opened again (the outputs created) when
// its run starts. Open files and memory then stay flat however long the queue.
#include <algorithm>
#include <unistd.h>

#include "CustomFFmpeg.h"
#include "FFLoad.h"
#include "FFLog.h"
#include "InterruptCB.h"
#include "TaskRecordApply.h"
#include "ThreadId.h"

void TCustomFFmpeg::RecordOpenStep(bool output, const std::wstring& fileName, bool withRecord) {
    if (reopening_) return;  // a replay repeats the steps, it adds none
    OpenSteps.push_back({output, fileName, withRecord});
}

bool TCustomFFmpeg::HasReleasedFile(bool output) const {
    if (!filesReleased_) return false;
    for (const TOpenStep& step : OpenSteps)
        if (step.Output == output) return true;
    return false;
}

void TCustomFFmpeg::ReleaseFiles() {
    if (filesReleased_ || !FFLoader() || !FFLoader()->AllLoaded(EngineLibraries)) return;
    // The option values go back to where the first step started from (the
    // component's verbosity); the steps set them again.
    const int verbose = Opt.Verbose;
    ResetFileState();
    Opt.Verbose = verbose;
    filesReleased_ = true;
}

void TCustomFFmpeg::ReopenFiles(bool createOutputs) {
    if (!filesReleased_) return;
    filesReleased_ = false;
    reopening_ = true;
    creatingOutputs_ = createOutputs;
    // A stop request also ends a blocking open of the replay.
    const uint32_t thread = CurrentThreadId();
    InterruptRegistry()->Add(thread, this, &TCustomFFmpeg::StopCheck);
    struct TEnd {
        TCustomFFmpeg& task;
        uint32_t thread;
        ~TEnd() {
            InterruptRegistry()->Remove(thread, &task, &TCustomFFmpeg::StopCheck);
            task.reopening_ = false;
            task.creatingOutputs_ = false;
        }
    } end{*this, thread};
    int inputs = 0, outputs = 0;
    for (const TOpenStep& step : OpenSteps) {
        bool opened;
        if (step.Output) {
            const TOutputOptions* record = step.WithRecord ? &OutputOptionCopies.at(outputs) : nullptr;
            // The record is copied: opening stores it again in the same slot.
            const TOutputOptions copy = record ? *record : TOutputOptions{};
            opened = OpenOutputWithRecord(*this, step.FileName, record ? &copy : nullptr, IoTimeoutMs) >= 0;
            ++outputs;
        } else {
            const TInputOptions copy = step.WithRecord ? InputOptionCopies.at(inputs) : TInputOptions{};
            opened = OpenInputWithRecord(*this, step.FileName, step.WithRecord ? &copy : nullptr, IoTimeoutMs);
            ++inputs;
        }
        if (!opened) throw FFmpegException(SetupError);
    }
}

void TCustomFFmpeg::RemoveFailedOutputs() {
    // A stopped task keeps what it wrote, unless its record asks otherwise; a
    // failed one leaves nothing that could pass for a finished conversion.
    const bool discard = !Completed && std::any_of(OutputOptionCopies.begin(), OutputOptionCopies.end(),
                                                   [](const TOutputOptions& o) { return o.DiscardUnlessCompleted; });
    if (!stoppedBeforeAudio_ && !discard && (!Failed || StopRequested)) return;
    for (const std::string& path : CreatedOutputs) {
        if (unlink(path.c_str()) == 0)
            GlobalLogger()->LogFmt(this, llInfo, "%s removed: its conversion %s", path,
                                   Failed && !StopRequested ? "failed" : "did not complete");
    }
    CreatedOutputs.clear();
}
