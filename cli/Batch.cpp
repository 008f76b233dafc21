// tembrio-convert's batch: every file becomes one task of the encoder
// component, queued and reported the way the desktop program does it.
#include "Batch.h"

#include <mutex>
#include <ostream>
#include <unistd.h>

#include "FFEncoder.h"
#include "MainThread.h"
#include "OutputFolder.h"
#include "ProbeAhead.h"
#include "QueueFile.h"
#include "StopSignals.h"
#include "UnicodeProtocol.h"

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One encoder component and the names of the tasks queued on it.
struct TLane {
    TFFEncoder encoder;
    std::vector<std::string> names;  // by task index, guarded by the batch lock
    bool ended = false;              // its run has ended, guarded by the batch lock
    int Count() { return encoder.Tasks().Count(); }
};

class TBatchRun {
public:
    TBatchRun(const TCliOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), target_{options.OutputDir, options.Format, options.Preset, &reserved_}, out_(out), err_(err),
          live_(isatty(STDOUT_FILENO) != 0), pipelined_(options.Jobs > 1) {}

    int Run() {
        const std::string folderProblem = PrepareOutputFolder(options_.OutputDir);
        if (!folderProblem.empty()) {
            err_ << folderProblem << "\n";
            return 1;
        }
        for (TLane& lane : lanes_) {
            lane.encoder.OnTerminate = [this, &lane](void*, const TTerminateInfo& info) { Terminated(lane, info); };
            if (live_) {
                // The bar is written under the batch lock from the task's own
                // thread, so no task waits for this thread to show it.
                lane.encoder.TriggerEventInMainThread = false;
                lane.encoder.OnProgress = [this, &lane](void*, PProgressInfo info) { Progress(lane, *info); };
            }
        }
        RunLanes();
        for (TLane& lane : lanes_) lane.encoder.ClearTasks();
        return Summary();
    }

private:
    // With one job, everything happens in turn: each file is probed and
    // queued, then the tasks run one after another.
    // With several jobs, probing runs ahead on that many threads and queueing
    // overlaps the conversions: while one encoder component runs the tasks
    // queued so far, this thread queues the next files on the other, which
    // starts as soon as the first has ended. The component refuses new tasks
    // while it works, hence two of them.
    void RunLanes() {
        TProbeAhead<TProbedFile> probes(options_.Files, pipelined_ ? options_.Jobs : 0,
                                    [this](TFFDecoder& probe, const std::string& file) { return Probe(probe, file); });
        const size_t count = options_.Files.size();
        size_t next = 0;       // the next file to queue
        int running = -1;      // the lane that works, if any
        int filling = 0;       // the lane that takes new tasks
        bool stopping = false;
        for (;;) {
            if (StopRequested() && !stopping) {
                stopping = true;
                probes.Cancel();
                if (running >= 0) lanes_[running].encoder.Stop(false);
                ReportUnstarted(lanes_[filling]);
                next = count;
            }
            if (running >= 0 && Ended(lanes_[running])) {
                Clear(lanes_[running]);
                running = -1;
            }
            const bool allQueued = next == count;
            if (running < 0) {
                TLane& lane = lanes_[filling];
                if (lane.Count() > 0 && (pipelined_ || allQueued)) {
                    Start(lane);
                    running = filling;
                    filling = 1 - filling;
                    continue;
                }
                if (allQueued) return;
            }
            if (allQueued) {
                CheckSynchronize(2);
                continue;
            }
            std::optional<TProbedFile> probed = probes.TryTake(next);
            if (!probed) {
                CheckSynchronize(1);
                continue;
            }
            QueueFile(lanes_[filling], options_.Files[next], *probed);
            ++next;
            CheckSynchronize(0);
        }
    }

    // On a probing thread when probing runs ahead.
    TProbedFile Probe(TFFDecoder& probe, const std::string& file) {
        TStopCheck stopCheck;
        TProbedFile result = ProbeFile(probe, Utf8ToWide(file), target_);
        TCloseFileGuard close(probe);
        if (result.Loaded)
            for (const std::string& line : options_.ExtraLines)
                result.Output.ExtOptions += (result.Output.ExtOptions.empty() ? "" : "\n") + line;
        return result;
    }

    void QueueFile(TLane& lane, const std::string& file, TProbedFile& probed) {
        TStopCheck stopCheck;
        const TQueueResult queued = QueueProbedFile(lane.encoder, probed, target_);
        if (!queued.Queued()) {
            // A probe or an open that gave up because of a stop is no failure
            // of the file; it counts as stopped.
            if (!StopRequested()) Line(err_, queued.Error);
            return;
        }
        std::lock_guard<std::mutex> lock(state_);
        lane.names.push_back(ShownName(BaseName(file) + " -> " + WideToUtf8(probed.Output.FileName)));
    }

    void Start(TLane& lane) {
        {
            std::lock_guard<std::mutex> lock(state_);
            lane.ended = false;
        }
        lane.encoder.StartTask(options_.Jobs);
    }

    // A lane whose run has ended takes new tasks, numbered from 0 again.
    void Clear(TLane& lane) {
        lane.encoder.ClearTasks();
        std::lock_guard<std::mutex> lock(state_);
        lane.names.clear();
    }

    bool Ended(TLane& lane) {
        std::lock_guard<std::mutex> lock(state_);
        return lane.ended;
    }

    // Tasks queued but never started when the batch is interrupted: their
    // outputs are removed with them.
    void ReportUnstarted(TLane& lane) {
        lane.encoder.ClearTasks();
        std::lock_guard<std::mutex> lock(state_);
        if (live_) out_ << "\r\033[K";
        for (const std::string& name : lane.names) out_ << "Stopped: " << name << "\n";
        out_ << std::flush;
        lane.names.clear();
    }

    // From a task's thread, when the terminal shows a live bar.
    void Progress(TLane& lane, const TProgressInfo& info) {
        if (info.TotalDuration <= 0) return;
        const int percent = static_cast<int>(std::min<int64_t>(100, ConvertedDuration(info) * 100 / info.TotalDuration));
        std::lock_guard<std::mutex> lock(state_);
        const int index = info.TaskIndex;
        const bool valid = index >= 0 && index < static_cast<int>(lane.names.size());
        const std::string& name = valid ? lane.names[index] : std::string();
        if (name == barName_ && percent == barPercent_) return;
        barName_ = name;
        barPercent_ = percent;
        std::string bar(percent / 5, '#');
        bar.resize(20, '.');
        out_ << "\r\033[K[" << settled_ << "/" << options_.Files.size() << "] [" << bar << "] " << percent << "% "
             << BaseName(name) << std::flush;
    }

    // On the encoder's delivery thread, one record at a time per lane.
    void Terminated(TLane& lane, const TTerminateInfo& info) {
        std::lock_guard<std::mutex> lock(state_);
        if (info.TaskIndex < 0) {
            lane.ended = true;
            return;
        }
        const bool valid = info.TaskIndex < static_cast<int>(lane.names.size());
        const std::string name = valid ? lane.names[info.TaskIndex] : "?";
        if (live_) out_ << "\r\033[K";
        ++settled_;
        if (info.Failed) {
            ++failed_;
            err_ << "Failed: " << name << ": " << ShownName(info.ErrorMessage) << "\n" << std::flush;
        } else if (info.Completed) {
            ++completed_;
            out_ << "Finish: " << name << "\n" << std::flush;
        } else {
            out_ << "Stopped: " << name << "\n" << std::flush;
        }
        barPercent_ = -1;
    }

    // A file that could not be queued.
    void Line(std::ostream& stream, const std::string& text) {
        std::lock_guard<std::mutex> lock(state_);
        ++settled_;
        ++failed_;
        stream << ShownName(text) << "\n" << std::flush;
    }

    // Files neither converted nor failed were stopped: ended by the stop, or
    // never started because of it. Their line appears only after a stop.
    int Summary() {
        std::lock_guard<std::mutex> lock(state_);
        const int total = static_cast<int>(options_.Files.size());
        const int stopped = total - completed_ - failed_;
        out_ << "Total files: " << total << "\n"
             << "Successed: " << completed_ << "\n"
             << "Failed: " << failed_ << "\n";
        if (stopped > 0) out_ << "Stopped: " << stopped << "\n";
        out_ << std::flush;
        return completed_ == total ? 0 : 1;
    }

    const TCliOptions& options_;
    TNameReservations reserved_;  // before target_, which points at it
    const TOutputTarget target_;
    std::ostream& out_;
    std::ostream& err_;
    const bool live_;
    const bool pipelined_;
    TLane lanes_[2];
    std::mutex state_;       // the counters, the lanes' names and flags, the output streams
    int settled_ = 0;        // files converted, failed or stopped
    int completed_ = 0;
    int failed_ = 0;         // failed while converting, or could not be queued
    std::string barName_;    // task of the last progress bar
    int barPercent_ = -1;
};

} // namespace

int ConvertBatch(const TCliOptions& options, std::ostream& out, std::ostream& err) {
    return TBatchRun(options, out, err).Run();
}
