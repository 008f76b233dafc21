// tembrio-convert's batch: every file becomes one task of the encoder
// component, queued and reported the way the desktop program does it.
#include "Batch.h"

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <unistd.h>

#include "BatchReport.h"
#include "FFEncoder.h"
#include "MainThread.h"
#include "OutputFolder.h"
#include "OutputUpdate.h"
#include "PresetRecords.h"
#include "ProbeAhead.h"
#include "QueueFile.h"
#include "StopSignals.h"
#include "UnicodeProtocol.h"
#include "UserMessages.h"

namespace {

// A file of the batch that is to be converted.
struct TBatchFile {
    size_t index;          // its place in the batch
    TOutputTarget target;  // its own folder when the tree is kept
    // With --update: the output the finished file is moved to, and whether
    // an older file is replaced there.
    std::string output;
    bool replace = false;
    // Without --update: the source as it was found, recorded on its output.
    TSourceIdentity source;
};

// With --update, what a queued file holds until it ends: the claim on its
// output's temporary name, and the source as it was when claimed.
struct TClaimedOutput {
    TOutputClaim claim;
    TSourceIdentity source;
};

// A task queued on a lane.
struct TQueued {
    size_t file;         // into the files to convert
    std::string output;  // the name it was queued with
};

// One encoder component and the files queued on it.
struct TLane {
    TFFEncoder encoder;
    std::vector<TQueued> queued;  // by task index, guarded by the batch lock
    size_t started = 0;           // tasks reported as started, guarded by the batch lock
    bool ended = false;           // its run has ended, guarded by the batch lock
    int Count() { return encoder.Tasks().Count(); }
};

class TBatchRun {
public:
    TBatchRun(const TCliOptions& options, const std::vector<TSourceFile>& sources, std::ostream& out,
              std::ostream& err)
        : options_(options), sources_(sources), err_(err),
          report_(out, err, sources, options.JsonProgress, isatty(STDOUT_FILENO) != 0, options.Update),
          pipelined_(options.Jobs > 1) {}

    void SkippedNotFiles(size_t count) { report_.SkippedNotFiles(count); }

    int Run() {
        const std::string folderProblem = PrepareOutputFolder(options_.OutputDir);
        if (!folderProblem.empty()) {
            err_ << folderProblem << "\n";
            return 1;
        }
        Plan();
        for (TLane& lane : lanes_) {
            lane.encoder.OnTerminate = [this, &lane](void*, const TTerminateInfo& info) { Terminated(lane, info); };
            if (isatty(STDOUT_FILENO) || options_.JsonProgress) {
                // Progress is written under the batch lock from the task's own
                // thread, so no task waits for this thread to show it.
                lane.encoder.TriggerEventInMainThread = false;
                lane.encoder.OnProgress = [this, &lane](void*, PProgressInfo info) { Progress(lane, *info); };
            }
        }
        RunLanes();
        for (TLane& lane : lanes_) lane.encoder.ClearTasks();
        return report_.Summary();
    }

private:
    // Where each file goes; with --update, the files whose output is up to
    // date are skipped here, before anything is probed.
    void Plan() {
        std::map<std::string, std::string> claimed;  // with --update: output → the source it is made from
        std::set<std::string> outputFolders;
        for (size_t i = 0; i < sources_.size(); ++i) {
            const TSourceFile& source = sources_[i];
            TBatchFile file{i, {}, {}, false, {}};
            const std::string folder =
                options_.KeepTree ? MirroredFolder(source, options_.OutputDir) : options_.OutputDir;
            file.target = {folder, options_.Format, options_.Preset, &reserved_, options_.Update};
            if (options_.Update) {
                outputFolders.insert(folder);
                file.output = WideToUtf8(PlainOutputFileName(Utf8ToWide(source.Path), folder, options_.Format));
                // Two sources with one output would take turns replacing it;
                // the first in the batch keeps it.
                const auto claim = claimed.emplace(file.output, source.Path);
                if (!claim.second) {
                    report_.NotQueued(i, "Cannot do convert, error: " + file.output + " is the output of " +
                                          claim.first->second + " already");
                    continue;
                }
                const TOutputState state = CheckOutput(file.output, source.Path);
                if (StopRequested()) break;
                if (state == TOutputState::UpToDate) {
                    report_.Finished(i, file.output, TFileStatus::Skipped);
                    continue;
                }
                if (state == TOutputState::InTheWay) {
                    report_.NotQueued(i, "Cannot do convert, error: " + file.output +
                                             " is in the way: it is not a file");
                    continue;
                }
                file.replace = state != TOutputState::Missing;
            } else {
                file.source = SourceIdentityOf(source.Path);
            }
            files_.push_back(std::move(file));
        }
        claims_.resize(files_.size());
        // What killed runs left in the folders of this batch goes now, also
        // where no file will be converted again.
        if (options_.Update)
            for (const std::string& folder : outputFolders) RemoveLeftoverTemporaryFiles(folder);
    }

    // With one job, everything happens in turn: each file is probed and
    // queued, then the tasks run one after another.
    // With several jobs, probing runs ahead on that many threads and queueing
    // overlaps the conversions: while one encoder component runs the tasks
    // queued so far, this thread queues the next files on the other, which
    // starts as soon as the first has ended. The component refuses new tasks
    // while it works, hence two of them.
    void RunLanes() {
        TProbeAhead<TProbedFile> probes(files_.size(), pipelined_ ? options_.Jobs : 0,
                                        [this](TFFDecoder& probe, size_t i) { return Probe(probe, files_[i]); });
        const size_t count = files_.size();
        // With --update every queued file holds a claim (an open file) until
        // it ends, so a lane takes only so many at a time.
        const int laneLimit = options_.Update ? 4 * options_.Jobs + 16 : INT_MAX;
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
                if (lane.Count() > 0 && (pipelined_ || allQueued || lane.Count() >= laneLimit)) {
                    Start(lane);
                    running = filling;
                    filling = 1 - filling;
                    continue;
                }
                if (allQueued) return;
            }
            if (allQueued || lanes_[filling].Count() >= laneLimit) {
                CheckSynchronize(2);
                continue;
            }
            std::optional<TProbedFile> probed = probes.TryTake(next);
            if (!probed) {
                CheckSynchronize(1);
                continue;
            }
            QueueFile(lanes_[filling], next, *probed);
            ++next;
            CheckSynchronize(0);
        }
    }

    // On a probing thread when probing runs ahead.
    TProbedFile Probe(TFFDecoder& probe, const TBatchFile& file) {
        TStopCheck stopCheck;
        TProbedFile result = ProbeFile(probe, Utf8ToWide(sources_[file.index].Path), file.target);
        TCloseFileGuard close(probe);
        // The record would win over its own text: an option of the command
        // line takes the place of the preset's.
        if (result.Loaded) TakeExtraLines(result.Output, options_.ExtraLines);
        return result;
    }

    void QueueFile(TLane& lane, size_t i, TProbedFile& probed) {
        const TBatchFile& file = files_[i];
        if (probed.Loaded && options_.KeepTree) {
            const std::string& problem = FolderProblem(file.target.Folder);
            if (!problem.empty()) {
                report_.NotQueued(file.index, problem);
                return;
            }
        }
        if (options_.Update && probed.Loaded && !Claim(i)) return;
        TStopCheck stopCheck;
        const TQueueResult queued = QueueProbedFile(lane.encoder, probed, file.target);
        if (!queued.Queued()) {
            claims_[i].reset();
            // A probe or an open that gave up because of a stop is no failure
            // of the file; it counts as stopped.
            if (!StopRequested()) report_.NotQueued(file.index, UserErrorText(queued.Error, options_.Format));
            return;
        }
        std::lock_guard<std::mutex> lock(state_);
        lane.queued.push_back({i, WideToUtf8(probed.Output.FileName)});
    }

    // With --update, before file `i` is queued: its output is claimed, so
    // that other runs leave it alone, unless another run has it or has made
    // it meanwhile. False when it is not to be converted (and reported).
    bool Claim(size_t i) {
        const TBatchFile& file = files_[i];
        auto claimed = std::make_unique<TClaimedOutput>();
        std::string error;
        switch (ClaimOutput(file.output, sources_[file.index].Path, claimed->claim, claimed->source, error)) {
        case TUpdateClaim::Claimed: claims_[i] = std::move(claimed); return true;
        case TUpdateClaim::Busy: report_.Finished(file.index, file.output, TFileStatus::Skipped, {}, BusyText); break;
        case TUpdateClaim::Done: report_.Finished(file.index, file.output, TFileStatus::Skipped); break;
        case TUpdateClaim::Failed: report_.NotQueued(file.index, "Cannot do convert, error: " + error); break;
        }
        return false;
    }

    // The folder of a kept tree is made once, when the first file needs it;
    // the message why it cannot be used, or "".
    const std::string& FolderProblem(const std::string& folder) {
        auto known = folders_.find(folder);
        if (known == folders_.end()) {
            std::string name = folder;
            while (name.size() > 1 && name.back() == '/') name.pop_back();
            known = folders_.emplace(folder, PrepareOutputFolder(name)).first;
        }
        return known->second;
    }

    // The output a person or a program is told about: with --update the name
    // the file is moved to once complete, not its temporary one.
    std::string ShownOutput(const TQueued& queued) const {
        return options_.Update ? files_[queued.file].output : queued.output;
    }

    // The component starts its first tasks at once, and the next one each
    // time a task ends (see Terminated); the batch lock is held.
    void AnnounceStart(TLane& lane) {
        const TQueued& queued = lane.queued[lane.started++];
        const TBatchFile& file = files_[queued.file];
        report_.Started(file.index, ShownOutput(queued));
    }

    void Start(TLane& lane) {
        {
            std::lock_guard<std::mutex> lock(state_);
            lane.ended = false;
            lane.started = 0;
            while (lane.started < lane.queued.size() && lane.started < static_cast<size_t>(options_.Jobs))
                AnnounceStart(lane);
        }
        lane.encoder.StartTask(options_.Jobs);
    }

    // A lane whose run has ended takes new tasks, numbered from 0 again.
    void Clear(TLane& lane) {
        lane.encoder.ClearTasks();
        std::lock_guard<std::mutex> lock(state_);
        lane.queued.clear();
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
        for (const TQueued& queued : lane.queued) {
            const TBatchFile& file = files_[queued.file];
            claims_[queued.file].reset();
            report_.Finished(file.index, ShownOutput(queued), TFileStatus::Stopped);
        }
        lane.queued.clear();
    }

    // From a task's thread.
    void Progress(TLane& lane, const TProgressInfo& info) {
        std::lock_guard<std::mutex> lock(state_);
        if (info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(lane.queued.size())) return;
        const TQueued& queued = lane.queued[info.TaskIndex];
        report_.Progress(files_[queued.file].index, ShownOutput(queued), ConvertedDuration(info),
                         info.TotalDuration);
    }

    // On the encoder's delivery thread, one record at a time per lane.
    void Terminated(TLane& lane, const TTerminateInfo& info) {
        std::unique_lock<std::mutex> lock(state_);
        if (info.TaskIndex < 0) {
            lane.ended = true;
            return;
        }
        if (info.TaskIndex >= static_cast<int>(lane.queued.size())) return;
        const TQueued queued = lane.queued[info.TaskIndex];
        lock.unlock();

        const TBatchFile& file = files_[queued.file];
        std::string output = info.OutputFile.empty() ? queued.output : WideToUtf8(info.OutputFile);
        std::string error = UserErrorText(info.ErrorMessage, options_.Format);
        TFileStatus status = info.Failed ? TFileStatus::Failed
                             : info.Completed ? TFileStatus::Converted
                                              : TFileStatus::Stopped;
        if (options_.Update) {
            // The new version is complete: it takes the output's place now,
            // with the source it was made from on record. Without it, the
            // engine has removed what it wrote.
            std::unique_ptr<TClaimedOutput> claimed = std::move(claims_[queued.file]);
            if (status == TFileStatus::Converted) {
                if (claimed)
                    RecordSourceIdentity(claimed->claim.Handle(), claimed->source, TIdentityRecord::AttributeAndTime);
                output = MoveIntoPlace(output, file.output, file.replace, error);
            }
            if (output.empty()) status = TFileStatus::Failed;
            if (status != TFileStatus::Converted) output = file.output;
        } else if (status == TFileStatus::Converted) {
            RecordSourceIdentity(output, file.source, TIdentityRecord::Attribute);
        }
        report_.Finished(file.index, output, status, error, info.Notice, info.Warning);

        lock.lock();
        if (!StopRequested() && lane.started < lane.queued.size()) AnnounceStart(lane);
    }

    const TCliOptions& options_;
    const std::vector<TSourceFile>& sources_;
    std::ostream& err_;
    TBatchReport report_;
    const bool pipelined_;
    TNameReservations reserved_;               // the queueing thread
    std::vector<TBatchFile> files_;            // the files to convert; fixed once planned
    std::map<std::string, std::string> folders_;  // folders of a kept tree and their problems; the queueing thread
    // With --update, by file to convert: the claims of the files queued and
    // not ended. Set by the queueing thread before the file is queued,
    // released by whoever reports its end.
    std::vector<std::unique_ptr<TClaimedOutput>> claims_;
    TLane lanes_[2];
    std::mutex state_;                         // the lanes' queues and flags
};

} // namespace

int ConvertBatch(const TCliOptions& options, const std::vector<TSourceFile>& files, std::ostream& out,
                 std::ostream& err, size_t notFiles) {
    // An option that would be left without effect is refused before anything is written.
    for (const std::string& line : options.ExtraLines) {
        const std::string problem = ExtraLineProblem(line, options.Format);
        if (problem.empty()) continue;
        err << "tembrio-convert: " << problem << "\n\n" << UsageText();
        return 2;
    }
    TBatchRun run(options, files, out, err);
    run.SkippedNotFiles(notFiles);
    return run.Run();
}
