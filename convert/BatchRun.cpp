#include "BatchRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "FFDecode.h"
#include "FFEncoder.h"
#include "FFLog.h"
#include "InterruptCB.h"
#include "LoudnessMeter.h"
#include "MainThread.h"
#include "OutputFolder.h"
#include "OutputUpdate.h"
#include "PresetRecords.h"
#include "QueueFile.h"
#include "ReplayGainTags.h"
#include "StoppedOutput.h"
#include "ThreadId.h"
#include "UnicodeProtocol.h"
#include "UserMessages.h"

struct TBatchRun::TFile {
    TBatchSource Source;
    // With --update: the output the finished file is moved to, and the
    // source of an earlier file of the batch with the same output, if any.
    std::string Output;
    std::string OutputOf;
    bool Settled = false;
};

// What looking at a file gave, ahead of its turn.
struct TBatchRun::TLooked {
    std::optional<TBatchFileEnd> End;  // settled already: up to date, or failed before it could be queued
    TProbedFile Probed;
    bool Replace = false;               // with --update: an older output is replaced
    TSourceIdentity Identity;           // without --update: the source as found, recorded on its output
    std::string Album, AlbumName;       // with ReplayGain: the album it belongs to (AlbumKeyOf), if any
    int64_t Length = -1;                // a track's, microseconds; -1: the file's own (or unknown)
};

// What a file on its way holds besides a component: its output and claim,
// its album, what normalising gave it. A slot holds it while the file is
// queued or converting, and a file waiting for its album keeps it without one.
struct TBatchRun::TPrepared {
    size_t File = 0;
    std::string Output;  // the name it was queued with
    std::string Shown;   // the name the listener is told
    std::string UpdateOutput;
    bool Replace = false;
    TSourceIdentity Identity;
    // With --update: the claim on the output's temporary name, and the
    // source as it was when claimed; let go when the file has settled.
    std::unique_ptr<TOutputClaim> Claim;
    TSourceIdentity Claimed;
    std::string Album, AlbumName;
    // A track's length in microseconds, the total its progress is told
    // against; -1 for the task's own. Set before the task starts.
    int64_t Length = -1;
    std::string Notice;       // what normalising has to tell
    std::string GainOfAlbum;  // normalised with the gain of this album
};

// One encoder component and the file it converts.
struct TBatchRun::TSlot : TPrepared {
    enum class TState { Idle, Ready, Running };
    TFFEncoder Encoder;
    TState State = TState::Idle;
    // Set on the component's delivery thread, under the run's lock.
    std::optional<TTerminateInfo> Info;
    bool Ended = false;
    // Normalising: the task is the file's measuring pass (read by the
    // component's worker too), and its conversion's records wait meanwhile.
    std::atomic<bool> Measuring{false};
    std::optional<TProbedFile> Conversion;
    bool Resumed = false;   // the conversion after the measuring pass: started already as far as anyone is told
};

// A measured file of an album to normalise, while it waits for the rest of
// its album and then for a component: what its slot held for it, and no task.
struct TBatchRun::TWaiting : TPrepared {
    std::string Folder;  // its source's
    TProbedFile Conversion;
    TLoudness Measured;  // its measuring pass's, with the meter, until its album's gain is known
};

// An album of the batch while its files convert: each converted file's
// output and meter, until the last file of its folder has settled.
struct TBatchRun::TAlbum {
    struct TTrack {
        size_t File = 0;
        std::string Output;
        TLoudness Loudness;
    };
    std::string Name;
    std::string Folder;
    std::vector<TTrack> Tracks;
};

namespace {

// While it lives, the blocking library calls of this thread give up once the
// run is to stop.
class TInterruptWhile {
public:
    TInterruptWhile(void* object, TInterruptCheck check) : object_(object), check_(check) {
        if (TInterruptCB* registry = InterruptRegistry()) registry->Add(thread_, object_, check_);
    }
    ~TInterruptWhile() {
        if (TInterruptCB* registry = InterruptRegistry()) registry->Remove(thread_, object_, check_);
    }
    TInterruptWhile(const TInterruptWhile&) = delete;
    TInterruptWhile& operator=(const TInterruptWhile&) = delete;

private:
    uint32_t thread_ = CurrentThreadId();
    void* object_;
    TInterruptCheck check_;
};

TBatchFileEnd NotQueued(size_t index, const std::string& line) {
    TBatchFileEnd end;
    end.Index = index;
    end.Outcome = TBatchOutcome::Failed;
    end.Error = line;
    end.Queued = false;
    return end;
}

const TSourceTrack* TrackOf(const TBatchSource& source) { return source.Track ? &*source.Track : nullptr; }

// The name the output of `source` has before it is numbered.
std::string PlainOutput(const TBatchSource& source, int format) {
    return WideToUtf8(PlainOutputFileName(OutputStem(source.Path, TrackOf(source)), source.Folder, format));
}

TBatchFileEnd Skipped(size_t index, const std::string& output, const std::string& notice = {}) {
    TBatchFileEnd end;
    end.Index = index;
    end.Outcome = TBatchOutcome::Skipped;
    end.Output = output;
    end.Notice = notice;
    end.Queued = false;
    return end;
}

} // namespace

TBatchRun::TBatchRun(TBatchSettings settings, TBatchListener& listener)
    : settings_(std::move(settings)), listener_(listener) {}

TBatchRun::~TBatchRun() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        ended_ = true;
        stop_ = true;
    }
    probeCv_.notify_all();
    for (std::thread& t : probers_) t.join();
    DiscardPosted(this);
}

bool TBatchRun::Append(TBatchSource source) {
    std::unique_lock<std::mutex> lock(lock_);
    if (ended_) return false;
    TFile file{std::move(source), {}, {}, false};
    if (settings_.Update && file.Source.Problem.empty()) {
        file.Output = PlainOutput(file.Source, settings_.Format);
        // Two sources with one output would take turns replacing it; the
        // first in the batch keeps it.
        const auto claim = outputs_.emplace(file.Output, files_.size());
        if (!claim.second) file.OutputOf = files_[claim.first->second].Source.Path;
    }
    ++unsettled_[SourceFolderOf(file.Source.Path)];
    files_.push_back(std::move(file));
    lock.unlock();
    probeCv_.notify_all();
    Wake();
    return true;
}

void TBatchRun::Stop() {
    stop_ = true;
    probeCv_.notify_all();
    Wake();
}

bool TBatchRun::Stopping() const { return stop_ || (settings_.StopWanted && settings_.StopWanted()); }

bool TBatchRun::InterruptCheck(void* self) { return static_cast<TBatchRun*>(self)->Stopping(); }

void TBatchRun::Wake() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        woken_ = true;
    }
    wakeCv_.notify_all();
}

// The queueing thread may be the program's main thread, which workers hand
// log lines to: waiting serves them.
void TBatchRun::WaitForWork() {
    if (IsMainThread()) CheckSynchronize(0);
    std::unique_lock<std::mutex> lock(lock_);
    wakeCv_.wait_for(lock, std::chrono::milliseconds(5), [this] { return woken_; });
    woken_ = false;
}

TBatchSummary TBatchRun::Run() {
    // Probing runs ahead on as many threads as files convert at once; with
    // one job the queueing thread looks at the next file itself while the
    // current one converts.
    if (settings_.Jobs > 1)
        for (int i = 0; i < settings_.Jobs; ++i) probers_.emplace_back([this] { ProbeWork(); });
    TFFDecoder inlineProbe;
    bool stopped = false;
    for (;;) {
        if (!stopped && Stopping()) {
            stopped = true;
            StopAll();
        }
        for (const std::unique_ptr<TSlot>& slot : slots_) {
            if (slot->State != TSlot::TState::Running) continue;
            bool ended;
            {
                std::lock_guard<std::mutex> lock(lock_);
                ended = slot->Ended;
            }
            if (ended) EndSlot(*slot);
        }
        if (!stopped) {
            StartReady();
            // The files of an album whose gain is known are older than the next files.
            while (static_cast<int>(ready_.size()) < settings_.Jobs && !due_.empty() && !Stopping()) {
                QueueDue();
                StartReady();
            }
            while (static_cast<int>(ready_.size()) < settings_.Jobs && !Stopping()) {
                size_t index;
                {
                    std::lock_guard<std::mutex> lock(lock_);
                    if (nextTake_ >= files_.size()) break;
                    index = nextTake_;
                }
                std::optional<TLooked> looked;
                if (probers_.empty()) looked = Look(inlineProbe, index);
                else looked = TakeLooked(index);
                if (!looked) break;
                {
                    std::lock_guard<std::mutex> lock(lock_);
                    ++nextTake_;
                }
                probeCv_.notify_all();
                Take(index, *looked);
                StartReady();
            }
        }
        bool albumsLeft = false;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (running_ == 0 && ready_.empty() && due_.empty() && (stopped || nextTake_ >= files_.size())) {
                albumsLeft = !stopped && !waiting_.empty();
                if (!albumsLeft) {
                    ended_ = true;
                    break;
                }
            }
        }
        // Every file has been measured or has settled: no album waits for
        // more of its files. Should one still wait, it converts with those it has.
        if (albumsLeft) {
            ReleaseAlbums(true);
            continue;
        }
        WaitForWork();
    }
    probeCv_.notify_all();
    for (std::thread& t : probers_) t.join();
    probers_.clear();
    looked_.clear();

    // Files the run never reached were stopped before their turn.
    for (size_t i = 0;; ++i) {
        bool settled;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (i >= files_.size()) break;
            settled = files_[i].Settled;
        }
        if (settled) continue;
        TBatchFileEnd end;
        end.Index = i;
        end.Outcome = TBatchOutcome::Stopped;
        end.Queued = false;
        Settle(end);
    }
    TBatchSummary summary = counts_;
    {
        std::lock_guard<std::mutex> lock(lock_);
        summary.Total = files_.size();
    }
    summary.Stopped = summary.Total - summary.Converted - summary.Failed - summary.Skipped;
    std::lock_guard<std::mutex> events(events_);
    listener_.Summary(summary);
    return summary;
}

void TBatchRun::ProbeWork() {
    TFFDecoder probe;
    // Files are looked at no further ahead than this of the queueing thread.
    const size_t window = static_cast<size_t>(settings_.Jobs) * 2;
    for (;;) {
        size_t index;
        {
            std::unique_lock<std::mutex> lock(lock_);
            probeCv_.wait(lock, [&] {
                return ended_ || stop_ || (nextLook_ < files_.size() && nextLook_ < nextTake_ + window);
            });
            if (ended_ || stop_) return;
            index = nextLook_++;
        }
        TLooked looked = Look(probe, index);
        {
            std::lock_guard<std::mutex> lock(lock_);
            looked_.emplace(index, std::move(looked));
        }
        Wake();
    }
}

std::optional<TBatchRun::TLooked> TBatchRun::TakeLooked(size_t index) {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = looked_.find(index);
    if (found == looked_.end()) return std::nullopt;
    std::optional<TLooked> looked(std::move(found->second));
    looked_.erase(found);
    return looked;
}

// On a probing thread, or the queueing thread with one job.
TBatchRun::TLooked TBatchRun::Look(TFFDecoder& probe, size_t index) {
    TFile file;
    {
        std::lock_guard<std::mutex> lock(lock_);
        file = files_[index];
    }
    TInterruptWhile interrupt(this, InterruptCheck);
    TLooked looked;
    if (!file.Source.Problem.empty()) {
        looked.End = NotQueued(index, file.Source.Problem);
        return looked;
    }
    const TSourceTrack* track = TrackOf(file.Source);
    if (settings_.Update) {
        if (!file.OutputOf.empty()) {
            looked.End = NotQueued(index, "Cannot do convert, error: " + file.Output + " is the output of " +
                                              file.OutputOf + " already");
            return looked;
        }
        const TOutputState state = CheckOutput(file.Output, file.Source.Path, track ? track->Cut : TSourceCut{});
        // A look cut short by a stop judges nothing; the file counts as stopped.
        if (Stopping()) return looked;
        if (state == TOutputState::UpToDate) {
            looked.End = Skipped(index, file.Output);
            return looked;
        }
        if (state == TOutputState::InTheWay) {
            looked.End = NotQueued(index, "Cannot do convert, error: " + file.Output + " is in the way: it is not a file");
            return looked;
        }
        looked.Replace = state != TOutputState::Missing;
    } else {
        looked.Identity = SourceIdentityOf(file.Source.Path);
    }
    const TOutputTarget target{file.Source.Folder, settings_.Format, settings_.Preset, nullptr, settings_.Update, track};
    const bool plainPcm = file.Source.PlainPcmAt.Known &&
                          (looked.Identity.Known ? looked.Identity : SourceIdentityOf(file.Source.Path)) ==
                              file.Source.PlainPcmAt;
    looked.Probed = ProbeFile(probe, Utf8ToWide(file.Source.Path), target, plainPcm);
    TCloseFileGuard close(probe);
    if (!looked.Probed.Loaded) return looked;
    if (track) {
        TFileStreamInfo whole;
        looked.Length = TrackDuration(*track, probe.GetFileStreamInfo(whole) ? whole.Duration : -1);
    }
    // The record would win over its own text: an option of the run takes
    // the place of the preset's.
    TakeExtraLines(looked.Probed.Output, settings_.ExtraLines);
    const TLoudnessChoice& loudness = settings_.Loudness;
    looked.Probed.Output.ReplayGainTags = loudness.ReplayGain;
    looked.Probed.Output.MeasureLoudness = loudness.ReplayGain || loudness.NormaliseTo != 0;
    if (loudness.ReplayGain || (loudness.NormaliseTo != 0 && loudness.NormaliseAlbums))
        looked.Album = AlbumKeyOf(probe.FormatContext(), file.Source.Path, looked.AlbumName, track);
    return looked;
}

// Makes file `index` a task of an idle component, or settles it.
void TBatchRun::Take(size_t index, TLooked& looked) {
    TFile file;
    {
        std::lock_guard<std::mutex> lock(lock_);
        file = files_[index];
    }
    // What killed runs left in the folders of this batch goes before the
    // first file of each is claimed, also where no file is converted again.
    if (settings_.Update && cleaned_.insert(file.Source.Folder).second)
        RemoveLeftoverTemporaryFiles(file.Source.Folder);
    if (looked.End) {
        Settle(*looked.End);
        return;
    }
    // A probe or an open that gave up because of a stop is no failure of the
    // file; it counts as stopped.
    if (Stopping()) return;
    if (looked.Probed.Loaded && settings_.MakeFolders) {
        const std::string& problem = FolderProblem(file.Source.Folder);
        if (!problem.empty()) {
            Settle(NotQueued(index, problem));
            return;
        }
    }
    TSlot* slot = &IdleSlot();
    static_cast<TPrepared&>(*slot) = TPrepared{};
    slot->File = index;
    slot->UpdateOutput = file.Output;
    slot->Replace = looked.Replace;
    slot->Identity = looked.Identity;
    slot->Album = looked.Album;
    slot->AlbumName = looked.AlbumName;
    slot->Length = looked.Length;
    slot->Measuring = false;
    slot->Conversion.reset();
    slot->Resumed = false;
    if (settings_.Update && looked.Probed.Loaded && !Claim(index, *slot)) return;
    TInterruptWhile interrupt(this, InterruptCheck);
    const TOutputTarget target{file.Source.Folder, settings_.Format, settings_.Preset, &reserved_, settings_.Update,
                               TrackOf(file.Source)};
    TQueueResult queued;
    if (settings_.Loudness.NormaliseTo != 0 && looked.Probed.Loaded) {
        // The output is named now, in file order, and its conversion is
        // queued once the measuring pass has given its gain.
        queued.Error = NameProbedOutput(looked.Probed, target);
        if (queued.Error.empty()) {
            if (!settings_.Update) reserved_.Reserve(WideToUtf8(looked.Probed.Output.FileName));
            const TProbedFile measuring = MeasuringRecords(looked.Probed);
            queued = AddTaskWithOutput(slot->Encoder, measuring.Input, measuring.Output);
            slot->Measuring = queued.Queued();
            slot->Conversion = looked.Probed;
        }
    } else {
        queued = QueueProbedFile(slot->Encoder, looked.Probed, target);
    }
    if (!queued.Queued()) {
        slot->Claim.reset();
        if (!Stopping()) Settle(NotQueued(index, UserErrorText(queued.Error, settings_.Format)));
        return;
    }
    slot->Output = WideToUtf8(looked.Probed.Output.FileName);
    slot->Shown = ShownOutput(*slot);
    slot->Info.reset();
    slot->Ended = false;
    slot->State = TSlot::TState::Ready;
    ready_.push_back(slot);
    std::lock_guard<std::mutex> events(events_);
    listener_.Queued(index, slot->Shown);
}

// A component that converts nothing now, made when every one is busy.
TBatchRun::TSlot& TBatchRun::IdleSlot() {
    for (const std::unique_ptr<TSlot>& s : slots_)
        if (s->State == TSlot::TState::Idle) return *s;
    slots_.push_back(std::make_unique<TSlot>());
    TSlot* slot = slots_.back().get();
    slot->Encoder.TriggerEventInMainThread = false;
    slot->Encoder.OnTerminate = [this, slot](void*, const TTerminateInfo& info) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (info.TaskIndex < 0) slot->Ended = true;
            else slot->Info = info;
            woken_ = true;
        }
        wakeCv_.notify_all();
    };
    slot->Encoder.OnProgress = [this, slot](void*, PProgressInfo info) {
        // The measuring pass before a file is normalised is no part of its conversion's progress.
        if (info->TaskIndex == 0 && !slot->Measuring)
            Progress(*slot, ConvertedDuration(*info), slot->Length > 0 ? slot->Length : info->TotalDuration);
    };
    return *slot;
}

// With --update, before file `index` is queued: its output is claimed, so
// that other runs leave it alone, unless another run has it or has made it
// meanwhile. False when it is not to be converted (and settled).
bool TBatchRun::Claim(size_t index, TSlot& slot) {
    std::string source;
    {
        std::lock_guard<std::mutex> lock(lock_);
        source = files_[index].Source.Path;
    }
    auto claim = std::make_unique<TOutputClaim>();
    std::string error;
    switch (ClaimOutput(slot.UpdateOutput, source, *claim, slot.Claimed, error)) {
    case TUpdateClaim::Claimed: slot.Claim = std::move(claim); return true;
    case TUpdateClaim::Busy: Settle(Skipped(index, slot.UpdateOutput, BusyText)); break;
    case TUpdateClaim::Done: Settle(Skipped(index, slot.UpdateOutput)); break;
    case TUpdateClaim::Failed: Settle(NotQueued(index, "Cannot do convert, error: " + error)); break;
    }
    return false;
}

// A folder is made once, when the first file needs it; the message why it
// cannot be used, or "".
const std::string& TBatchRun::FolderProblem(const std::string& folder) {
    auto known = folders_.find(folder);
    if (known == folders_.end()) {
        std::string name = folder;
        while (name.size() > 1 && name.back() == '/') name.pop_back();
        known = folders_.emplace(folder, PrepareOutputFolder(name)).first;
    }
    return known->second;
}

// The output a person or a program is told about: with --update the name the
// file is moved to once complete, not its temporary one.
std::string TBatchRun::ShownOutput(const TSlot& slot) const {
    return settings_.Update ? slot.UpdateOutput : slot.Output;
}

void TBatchRun::StartReady() {
    while (running_ < settings_.Jobs && !ready_.empty() && !Stopping()) {
        TSlot& slot = *ready_.front();
        ready_.erase(ready_.begin());
        if (!slot.Resumed) {
            std::lock_guard<std::mutex> events(events_);
            listener_.Started(slot.File, slot.Shown);
        }
        slot.State = TSlot::TState::Running;
        ++running_;
        slot.Encoder.StartTask(1);
    }
}

// Stopping: the running files are stopped and end through their components;
// the ready ones never start, their outputs were never created.
void TBatchRun::StopAll() {
    stop_ = true;
    probeCv_.notify_all();
    for (const std::unique_ptr<TSlot>& slot : slots_)
        if (slot->State == TSlot::TState::Running) slot->Encoder.Stop(false);
    for (TSlot* slot : ready_) {
        slot->Encoder.ClearTasks();
        slot->Claim.reset();
        slot->State = TSlot::TState::Idle;
        // Its output was never created: the end names none.
        TBatchFileEnd end;
        end.Index = slot->File;
        end.Outcome = TBatchOutcome::Stopped;
        Settle(end);
    }
    ready_.clear();
    // Files waiting for the rest of their album, or for a component, have
    // only been measured.
    std::vector<TWaiting> waiting = std::move(waiting_);
    waiting_.clear();
    std::move(due_.begin(), due_.end(), std::back_inserter(waiting));
    due_.clear();
    for (TWaiting& file : waiting) {
        file.Claim.reset();
        TBatchFileEnd end;
        end.Index = file.File;
        end.Outcome = TBatchOutcome::Stopped;
        Settle(end);
    }
}

// A running component's run has ended: its file settles, and the component
// takes the next one.
void TBatchRun::EndSlot(TSlot& slot) {
    slot.Encoder.ClearTasks();
    std::optional<TTerminateInfo> record;
    {
        std::lock_guard<std::mutex> lock(lock_);
        record = std::move(slot.Info);
        slot.Info.reset();
        slot.Ended = false;
    }
    slot.State = TSlot::TState::Idle;
    --running_;
    TTerminateInfo info = record.value_or(TTerminateInfo{});
    if (slot.Measuring) {
        slot.Measuring = false;
        // A stop between the passes leaves the file unconverted.
        if (info.Completed && !info.Failed && Stopping()) info.Completed = false;
        if (info.Completed && !info.Failed) {
            if (!slot.Album.empty() && settings_.Loudness.NormaliseAlbums) {
                WaitForAlbum(slot, info.Loudness);
                return;
            }
            const std::string error = QueueNormalised(slot, info);
            if (error.empty()) return;
            info.Completed = false;
            info.Failed = true;
            info.ErrorMessage = error;
        }
        // What the measuring pass measured is no output's loudness.
        info.Loudness = TLoudness{};
    }
    EndFile(slot, std::move(info));
}

// The file of `slot` has settled as `info` tells.
void TBatchRun::EndFile(TSlot& slot, TTerminateInfo info) {
    TBatchFileEnd end;
    end.Index = slot.File;
    end.Output = info.OutputFile.empty() ? slot.Output : WideToUtf8(info.OutputFile);
    end.Error = UserErrorText(info.ErrorMessage, settings_.Format);
    end.Notice = info.Notice;
    if (!slot.Notice.empty()) end.Notice += (end.Notice.empty() ? "" : " ") + slot.Notice;
    end.Warning = info.Warning;
    end.Outcome = info.Failed ? TBatchOutcome::Failed : info.Completed ? TBatchOutcome::Converted : TBatchOutcome::Stopped;
    if (settings_.Update) {
        // The new version is complete: it takes the output's place now, with
        // the source it was made from on record. Without it, the engine has
        // removed what it wrote.
        std::unique_ptr<TOutputClaim> claim = std::move(slot.Claim);
        if (end.Outcome == TBatchOutcome::Converted) {
            if (claim) RecordSourceIdentity(claim->Handle(), slot.Claimed, TIdentityRecord::AttributeAndTime);
            end.Output = MoveIntoPlace(end.Output, slot.UpdateOutput, slot.Replace, end.Error);
        }
        if (end.Output.empty()) end.Outcome = TBatchOutcome::Failed;
        if (end.Outcome != TBatchOutcome::Converted) end.Output = slot.UpdateOutput;
    } else if (end.Outcome == TBatchOutcome::Converted) {
        RecordSourceIdentity(end.Output, slot.Identity, TIdentityRecord::Attribute);
    } else {
        KeepStopped(slot, end);
    }
    if (end.Outcome == TBatchOutcome::Converted && info.Loudness.Measured) {
        end.Loudness = info.Loudness;
        end.Loudness.Meter.reset();
        end.GainOfAlbum = slot.GainOfAlbum;
        if (!slot.Album.empty() && settings_.Loudness.ReplayGain) JoinAlbum(slot, end, info.Loudness);
    }
    Settle(end);
}

// The measuring pass of a file to normalise on its own has ended: its
// conversion, with the gain it calls for, takes the slot's place among the
// files ready to start. The line that reports why it cannot be queued, or "".
std::string TBatchRun::QueueNormalised(TSlot& slot, const TTerminateInfo& measured) {
    GiveOwnGain(*slot.Conversion, measured.Loudness, slot.Notice);
    return QueueConversion(slot);
}

// The gain that brings the measured file `file` to the target on its own, in
// its conversion's record; `notice` says when its peak holds the gain back.
void TBatchRun::GiveOwnGain(TProbedFile& file, const TLoudness& measured, std::string& notice) {
    const int target = settings_.Loudness.NormaliseTo;
    file.Output.AudioGain = NormalisingGain(measured, target, notice);
    const std::string source = WideToUtf8(file.Input.FileName);
    if (!notice.empty())
        GlobalLogger()->LogFmt(this, llInfo, "%s: %s", source, notice);
    else
        GlobalLogger()->LogFmt(this, llInfo, "%s: a gain of %+.2f dB brings it to %d LUFS", source,
                               file.Output.AudioGain, target);
}

// The conversion of the measured file of `slot`, with its gain, among the
// files ready to start, ahead of those taken after it; the line that reports
// why it cannot be queued, or "".
std::string TBatchRun::QueueConversion(TSlot& slot) {
    const TProbedFile& file = *slot.Conversion;
    TInterruptWhile interrupt(this, InterruptCheck);
    const TQueueResult queued = AddTaskWithOutput(slot.Encoder, file.Input, file.Output);
    if (!queued.Queued()) return queued.Error;
    {
        std::lock_guard<std::mutex> lock(lock_);
        slot.Info.reset();
        slot.Ended = false;
    }
    slot.Resumed = true;
    slot.State = TSlot::TState::Ready;
    // Before the files taken after it.
    ready_.insert(std::find_if(ready_.begin(), ready_.end(), [&](const TSlot* s) { return s->File > slot.File; }),
                  &slot);
    return {};
}

// A measured file of an album to normalise waits, without a component, until
// every file of its folder has been measured (or has settled otherwise):
// only then is its album whole, as ReplayGain's albums are.
void TBatchRun::WaitForAlbum(TSlot& slot, const TLoudness& measured) {
    TWaiting file;
    static_cast<TPrepared&>(file) = std::move(static_cast<TPrepared&>(slot));
    {
        std::lock_guard<std::mutex> lock(lock_);
        file.Folder = SourceFolderOf(files_[slot.File].Source.Path);
    }
    file.Conversion = std::move(*slot.Conversion);
    slot.Conversion.reset();
    file.Measured = measured;
    waiting_.push_back(std::move(file));
    ReleaseAlbums(false);
}

// The albums of the folders that have no file left to measure (`all`: of
// every folder) get their gain, and their files are due to convert.
void TBatchRun::ReleaseAlbums(bool all) {
    if (Stopping()) return;
    std::set<std::string> whole;
    {
        std::map<std::string, size_t> waitingIn;
        for (const TWaiting& file : waiting_) ++waitingIn[file.Folder];
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& [folder, count] : waitingIn) {
            const auto unsettled = unsettled_.find(folder);
            if (all || unsettled == unsettled_.end() || unsettled->second <= count) whole.insert(folder);
        }
    }
    if (whole.empty()) return;
    std::map<std::string, std::vector<TWaiting>> albums;  // the key holds the folder
    std::vector<TWaiting> still;
    for (TWaiting& file : waiting_)
        (whole.count(file.Folder) ? albums[file.Album] : still).push_back(std::move(file));
    waiting_ = std::move(still);
    for (auto& [key, files] : albums) {
        GiveAlbumGain(files);
        for (TWaiting& file : files) {
            // Its meter is of no more use.
            file.Measured = TLoudness{};
            due_.insert(std::find_if(due_.begin(), due_.end(), [&](const TWaiting& d) { return d.File > file.File; }),
                        std::move(file));
        }
    }
}

// The gain of the files of an album (the measured files of one AlbumKeyOf):
// the album's, so that their levels stay as they are to each other. A file
// alone is no album: it gets a gain of its own.
void TBatchRun::GiveAlbumGain(std::vector<TWaiting>& files) {
    if (files.size() < 2) {
        GiveOwnGain(files.front().Conversion, files.front().Measured, files.front().Notice);
        return;
    }
    const int target = settings_.Loudness.NormaliseTo;
    std::vector<TLoudness> measured;
    for (const TWaiting& file : files) measured.push_back(file.Measured);
    TLoudness album;
    std::string notice;
    const double gain = AlbumNormalisingGain(measured, target, album, notice);
    const std::string& name = files.front().AlbumName;
    GlobalLogger()->LogFmt(this, llInfo, "Album %s (%d files): %s, normalised with a gain of %+.2f dB", name,
                           files.size(), LoudnessText(album.Integrated, album.TruePeak), gain);
    for (TWaiting& file : files) {
        file.Conversion.Output.AudioGain = gain;
        file.Notice = notice;
        file.GainOfAlbum = name;
        const std::string source = WideToUtf8(file.Conversion.Input.FileName);
        if (!notice.empty())
            GlobalLogger()->LogFmt(this, llInfo, "%s: %s", source, notice);
        else
            GlobalLogger()->LogFmt(this, llInfo, "%s: the album gain of %+.2f dB brings its album to %d LUFS", source,
                                   gain, target);
    }
}

// The next file whose album gain is known becomes the conversion of an idle
// component, as it would have after its measuring pass.
void TBatchRun::QueueDue() {
    TWaiting file = std::move(due_.front());
    due_.pop_front();
    TSlot& slot = IdleSlot();
    static_cast<TPrepared&>(slot) = std::move(static_cast<TPrepared&>(file));
    slot.Measuring = false;
    slot.Conversion = std::move(file.Conversion);
    const std::string error = QueueConversion(slot);
    if (error.empty()) return;
    TTerminateInfo failed;
    failed.Failed = true;
    failed.ErrorMessage = error;
    EndFile(slot, failed);
}

// What a stopped file wrote is kept, under a name that says it is not the
// whole song. A failed file's output is gone already, unless a stop cut the
// failure short; then it is as much a stopped file as any.
void TBatchRun::KeepStopped(const TSlot& slot, TBatchFileEnd& end) {
    if (end.Output.empty()) return;
    std::string meant;
    {
        std::lock_guard<std::mutex> lock(lock_);
        meant = PlainOutput(files_[slot.File].Source, settings_.Format);
    }
    std::string error;
    const std::string kept = KeepStoppedOutput(end.Output, meant, error);
    if (!error.empty()) end.Notice += (end.Notice.empty() ? "" : "; ") + error;
    if (end.Outcome == TBatchOutcome::Stopped || !kept.empty()) end.Output = kept;
}

void TBatchRun::Settle(const TBatchFileEnd& end) {
    std::string output;  // with --update
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (end.Index >= files_.size() || files_[end.Index].Settled) return;
        files_[end.Index].Settled = true;
        const auto folder = unsettled_.find(SourceFolderOf(files_[end.Index].Source.Path));
        if (folder != unsettled_.end() && --folder->second == 0) unsettled_.erase(folder);
        output = files_[end.Index].Output;
    }
    // Once the output is complete, what a stopped run left of it beside it
    // is of no use; a file another run holds is left to that run.
    const bool complete = end.Outcome == TBatchOutcome::Converted ||
                          (end.Outcome == TBatchOutcome::Skipped && end.Notice.empty());
    if (settings_.Update && complete && !output.empty()) RemoveStoppedOutputs(output);
    switch (end.Outcome) {
    case TBatchOutcome::Converted: ++counts_.Converted; break;
    case TBatchOutcome::Failed: ++counts_.Failed; break;
    case TBatchOutcome::Skipped: ++counts_.Skipped; break;
    case TBatchOutcome::Stopped: ++counts_.Stopped; break;
    }
    {
        std::lock_guard<std::mutex> events(events_);
        listener_.Finished(end);
    }
    if (!albums_.empty()) CloseAlbums();
    if (!waiting_.empty()) ReleaseAlbums(false);
}

// On the running file's worker thread.
void TBatchRun::Progress(TSlot& slot, int64_t converted, int64_t total) {
    std::lock_guard<std::mutex> events(events_);
    listener_.Progress(slot.File, slot.Shown, converted, total);
}

// A converted file of an album: kept with its meter until the album closes.
void TBatchRun::JoinAlbum(const TSlot& slot, const TBatchFileEnd& end, const TLoudness& loudness) {
    // Only files whose tags this program writes can carry the album's.
    if (loudness.TagFormat == TTagFormat::None || !loudness.Meter) return;
    TAlbum& album = albums_[slot.Album];
    album.Name = slot.AlbumName;
    {
        std::lock_guard<std::mutex> lock(lock_);
        album.Folder = SourceFolderOf(files_[slot.File].Source.Path);
    }
    album.Tracks.push_back({slot.File, end.Output, loudness});
}

// Every album whose folder has no file left to settle gets its gain and peak
// into its files' tags. An album of one file is none; one a stop cut short
// gets none, its loudness being that of the files that happened to convert.
void TBatchRun::CloseAlbums() {
    for (auto it = albums_.begin(); it != albums_.end();) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (unsettled_.count(it->second.Folder)) {
                ++it;
                continue;
            }
        }
        TAlbum album = std::move(it->second);
        it = albums_.erase(it);
        // In the batch's order, whichever finished first.
        std::sort(album.Tracks.begin(), album.Tracks.end(),
                  [](const TAlbum::TTrack& a, const TAlbum::TTrack& b) { return a.File < b.File; });
        if (album.Tracks.size() < 2) continue;
        if (Stopping()) {
            GlobalLogger()->LogFmt(this, llInfo, "%s: no album gain, the batch was stopped before its last file",
                                   album.Name);
            continue;
        }
        TBatchAlbum told;
        told.Album = album.Name;
        std::vector<const TLoudnessMeter*> meters;
        for (const TAlbum::TTrack& track : album.Tracks) {
            told.Files.push_back(track.File);
            meters.push_back(track.Loudness.Meter.get());
            told.TruePeak = std::max(told.TruePeak, track.Loudness.TruePeak);
        }
        told.Integrated = TLoudnessMeter::Integrated(meters);
        // Silence has no gain that would bring it to any loudness.
        if (!std::isfinite(told.Integrated)) continue;
        for (const TAlbum::TTrack& track : album.Tracks) {
            try {
                WriteAlbumReplayGain(track.Output, track.Loudness.TagFormat, told.Integrated, told.TruePeak);
            } catch (const std::exception& e) {
                told.Failures.push_back(track.Output + ": " + e.what());
                GlobalLogger()->LogFmt(this, llWarning, "The album gain of %s could not be written: %s", track.Output,
                                       e.what());
            }
        }
        GlobalLogger()->LogFmt(this, llInfo, "Album %s (%d files): %s, album gain %s", album.Name, told.Files.size(),
                               LoudnessText(told.Integrated, told.TruePeak), ReplayGainText(told.Integrated));
        std::lock_guard<std::mutex> events(events_);
        listener_.AlbumTagged(told);
    }
}
