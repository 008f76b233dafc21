// Running a task: the start checks, the run with its guarded steps, stop
// requests and the end-of-task report.
#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "MainThread.h"

namespace {

// Every step of a run reports its own failure; the next step still runs.
template <typename Step>
void Guarded(TCustomFFmpeg& task, Step step) {
    try {
        step();
    } catch (const std::exception& e) {
        // Anything a step raises ends up as the task's error, never as an
        // exception escaping its worker thread.
        GlobalLogger()->Log(&task, llQuiet, e.what());
        task.Failed = true;
        task.ErrorMessage = e.what();
    }
}

} // namespace

void TCustomFFmpeg::Start(bool inThread) {
    if (Running || Terminated) return;  // a task runs at most once
    try {
        if (OutputFileCount == 0 && !HasReleasedFile(true)) {
            Cleanup();
            throw FFmpegException("At least one output file must be specified");
        }
        if (InputFileCount == 0 && !HasReleasedFile(false)) {
            Cleanup();
            throw FFmpegException("At least one input file must be specified");
        }
    } catch (const FFmpegException& e) {
        GlobalLogger()->Log(this, llQuiet, e.what());
        Failed = true;
        ErrorMessage = e.what();
        MarkTerminated();
        return;
    }
    // A stop asked as soon as the task shows running must not be lost.
    StopRequested = false;
    Running = true;
    Completed = false;
    Terminated = false;
    if (!inThread) {
        Run();
        return;
    }
    Worker.Start([this] { Run(); });
}

void TCustomFFmpeg::Run() {
    Completed = false;
    Guarded(*this, [&] {
        bool opened = false;
        try {
            ReopenFiles();
            opened = true;
            Transcode();
        } catch (const std::exception& e) {
            if (!StopRequested) throw;
            // A stop cuts the library's reads and writes short, and the call it
            // interrupted raises: the task was stopped, it did not fail.
            GlobalLogger()->Log(this, llInfo, e.what());
            Failed = false;
            ErrorMessage.clear();
            if (!opened) stoppedBeforeAudio_ = true;
        }
    });
    Guarded(*this, [&] { CloseRunCodecs(); });
    Guarded(*this, [&] { Cleanup(); });
    Guarded(*this, [&] { WriteOutputTags(); });
    Guarded(*this, [&] { VerifyOutputs(); });
    Guarded(*this, [&] { RemoveFailedOutputs(); });
    Guarded(*this, [&] { MarkTerminated(); });
}

void TCustomFFmpeg::MarkTerminated() {
    Running = false;
    Terminated = true;
    Worker.Finished();
    if (TerminateRelay) TerminateRelay(this);
}

void TCustomFFmpeg::Stop(bool wait) {
    if (Running) {
        RequestStop(wait);
        return;
    }
    // A task that never ran still reports its end, with Completed false. The
    // report goes through the component's relay, which hands it on in order.
    if (!Terminated) MarkTerminated();
}

void TCustomFFmpeg::RequestStop(bool wait) {
    StopRequested = true;
    if (Worker.Started()) {
        // The worker may itself be waiting for the main thread (a progress
        // event): the wait keeps serving hand-offs.
        if (wait && !Worker.IsCurrentThread()) Worker.WaitDone();
        return;
    }
    // Without a worker a blocking open may be under way on this task: the
    // time-out check cancels it.
    IoStartTime = 0;
}

void TCustomFFmpeg::StopAndJoin() {
    RequestStop(true);
    // The worker never destroys its own task: its end is reported on the
    // component's delivery thread, so this is always another thread.
    Worker.Join();
}
