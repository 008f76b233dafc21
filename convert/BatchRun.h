#pragma once
// Converting a batch of files: the one runner both front ends drive. Each
// file is looked at (probed, its records built, with --update its output
// judged) only shortly before the run reaches it, and becomes a task of an
// encoder component of its own only then, so what the batch holds does not
// grow with the length of its queue: a few files ahead of the running ones,
// and a name and a few flags per file. The output names, their order and the
// numbered `name(1)` of files of one batch that would share a name are as if
// every file had been queued at the start: names are given in file order and
// stay reserved for the whole run.
//
// Threads: Run() runs on the caller's thread (the "queueing thread"), which
// adds, starts, clears and reports; with several jobs that many probing
// threads look at the next files meanwhile. Each running file converts on a
// worker thread of its task. A component takes no tasks while it runs, hence
// one component per file on its way: up to `Jobs` running and `Jobs` ready
// to start the moment a running one ends.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "EncoderEvents.h"
#include "LoudnessChoice.h"
#include "OutputNaming.h"
#include "OutputUpdate.h"
#include "SourceTrack.h"

enum class TBatchOutcome { Converted, Failed, Skipped, Stopped };

// A file of the batch and the folder its output goes to ("" the current
// folder), as the front end has worked it out (a kept tree's own folder).
struct TBatchSource {
    std::string Path;    // bytes, as found
    std::string Folder;
    // A track of an image (its sheet's or chapter's): only its stretch is
    // converted, under its own name and tags.
    std::optional<TSourceTrack> Track = {};
    // Set for a name that gave nothing to convert (TSourceFile::Problem): it
    // is never opened, and settles as failed with this line.
    std::string Problem = {};
    // The file as it was when an earlier look found nothing but PCM in its
    // PCM (PcmSearchedPlain); while it is still the same, its PCM is not
    // searched again. Not Known: searched.
    TSourceIdentity PlainPcmAt = {};
};

struct TBatchSettings {
    int Format = 1;                        // output format code (FormatPresets.h)
    int Preset = -1;                       // index into the format's presets; -1: none
    std::vector<std::string> ExtraLines;   // KEY=VALUE lines added to each output's options
    // Convert only the files whose output is missing, older or cut short,
    // each written under a claimed temporary name and moved into place once
    // complete (OutputUpdate.h).
    bool Update = false;
    int Jobs = 1;                          // files converted at once
    // The files' folders are made when the first file needs one (a kept
    // tree); otherwise they are taken to exist.
    bool MakeFolders = false;
    // ReplayGain tags, normalising: a front end only sets the choice.
    TLoudnessChoice Loudness;
    // Asked (from any of the run's threads) whether to stop, besides Stop():
    // a front end's signal flag. Must be cheap and thread-safe.
    std::function<bool()> StopWanted;
};

// How a file of the batch settled.
struct TBatchFileEnd {
    size_t Index = 0;
    TBatchOutcome Outcome = TBatchOutcome::Stopped;
    // Its output file (with --update the name it is kept under); for a
    // stopped file what it wrote, kept under a name that says so, or empty
    // when nothing was kept.
    std::string Output;
    std::string Error;    // why it failed, in the program's words
    std::string Notice;   // what the user should know besides (streams left out; another run has it)
    std::string Warning;  // a converted file whose source could not be read to its end
    // False for a file that never became a task: one that failed before
    // (Error is then the whole line to show), or one the run never reached
    // before it was stopped.
    bool Queued = true;
    // A converted file's loudness, when the batch measures it (ReplayGain,
    // normalising): as converted, with the gain it was given.
    TLoudness Loudness;
    // Normalised in album mode with the gain of its album (its title here),
    // not with one of its own.
    std::string GainOfAlbum;
};

// The files of an album of the batch, once its last file has settled: their
// album gain and peak are in their tags now, except where Failures says.
struct TBatchAlbum {
    std::string Album;                  // its title
    std::vector<size_t> Files;          // the files of the batch it holds, in order
    double Integrated = 0;              // LUFS, the album as one programme
    double TruePeak = 0;                // linear, the highest of its files
    std::vector<std::string> Failures;  // "output: reason" for each output its tags could not be written into
};

struct TBatchSummary {
    size_t Total = 0, Converted = 0, Failed = 0, Skipped = 0, Stopped = 0;
};

// What a front end hears of a run. Never two calls at once. Queued, Started,
// Finished and Summary come on the thread that called Run(); Progress on the
// worker thread of the running file (keep it short: the conversion waits).
// Every file appended gets exactly one Finished, then Summary comes last.
class TBatchListener {
public:
    virtual ~TBatchListener() = default;
    // File `index` is a task now, and will write `output`.
    virtual void Queued(size_t /*index*/, const std::string& /*output*/) {}
    virtual void Started(size_t /*index*/, const std::string& /*output*/) {}
    // `converted` of `total` microseconds are done; a total of 0 or less is unknown.
    virtual void Progress(size_t /*index*/, const std::string& /*output*/, int64_t /*converted*/,
                          int64_t /*total*/) {}
    virtual void Finished(const TBatchFileEnd& /*end*/) {}
    // With ReplayGain, after the Finished of an album's last file.
    virtual void AlbumTagged(const TBatchAlbum& /*album*/) {}
    virtual void Summary(const TBatchSummary& /*summary*/) {}
};

class TBatchRun {
public:
    // Needs the libraries loaded. `listener` outlives the run.
    TBatchRun(TBatchSettings settings, TBatchListener& listener);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // Adds a file at the end of the batch; its index is the number of files
    // added before it. Any thread, before Run() or while it runs; false (and
    // not added) once the run has ended.
    bool Append(TBatchSource source);
    // Stops the batch: the running files are stopped (kept as far as they
    // got, under StoppedOutputName, StoppedOutput.h; with --update their
    // temporary files go), the others are reported as stopped. Any thread.
    void Stop();
    // Converts the files until every one has settled or the run is stopped,
    // and returns the totals (also given to the listener). Once.
    TBatchSummary Run();

private:
    struct TFile;
    struct TLooked;
    struct TPrepared;
    struct TSlot;
    struct TAlbum;
    struct TWaiting;

    bool Stopping() const;
    static bool InterruptCheck(void* self);
    void ProbeWork();
    TLooked Look(class TFFDecoder& probe, size_t index);
    std::optional<TLooked> TakeLooked(size_t index);
    bool FillOne();
    void Take(size_t index, TLooked& looked);
    bool Claim(size_t index, TSlot& slot);
    const std::string& FolderProblem(const std::string& folder);
    TSlot& IdleSlot();
    void StartReady();
    void EndSlot(TSlot& slot);
    void EndFile(TSlot& slot, TTerminateInfo info);
    std::string QueueNormalised(TSlot& slot, const TTerminateInfo& measured);
    void GiveOwnGain(TProbedFile& file, const TLoudness& measured, std::string& notice);
    std::string QueueConversion(TSlot& slot);
    void WaitForAlbum(TSlot& slot, const TLoudness& measured);
    void ReleaseAlbums(bool all);
    void GiveAlbumGain(std::vector<TWaiting>& files);
    void QueueDue();
    void JoinAlbum(const TSlot& slot, const TBatchFileEnd& end, const TLoudness& loudness);
    void CloseAlbums();
    void KeepStopped(const TSlot& slot, TBatchFileEnd& end);
    void StopAll();
    void Settle(const TBatchFileEnd& end);
    std::string ShownOutput(const TSlot& slot) const;
    void Wake();
    void WaitForWork();
    void Progress(TSlot& slot, int64_t converted, int64_t total);

    const TBatchSettings settings_;
    TBatchListener& listener_;
    std::mutex events_;                  // one listener call at a time

    std::mutex lock_;                    // everything below up to the slots
    std::condition_variable probeCv_;    // for the probing threads: more to look at, or the end
    std::condition_variable wakeCv_;     // for the queueing thread
    bool woken_ = false;
    std::vector<TFile> files_;
    std::map<size_t, TLooked> looked_;   // looked at ahead, by file; no further than the window
    size_t nextLook_ = 0;                // the next file a probing thread takes
    size_t nextTake_ = 0;                // the next file the queueing thread takes
    bool ended_ = false;                 // no more files are taken
    std::atomic<bool> stop_{false};

    // The queueing thread's.
    std::vector<std::unique_ptr<TSlot>> slots_;
    std::vector<TSlot*> ready_;          // queued, not started, in file order
    int running_ = 0;
    TNameReservations reserved_;
    std::map<std::string, std::string> folders_;  // folders made for files, and why one cannot be used
    std::set<std::string> cleaned_;      // with --update: folders cleared of leftovers
    std::map<std::string, size_t> outputs_;  // with --update: output → the file it is made from (any thread, under lock_)
    std::map<std::string, size_t> unsettled_;  // by source folder, while it has files not settled yet (under lock_)
    std::map<std::string, TAlbum> albums_;   // with ReplayGain: the albums waiting for their last file, by key
    // Normalising albums: the measured files of albums whose folders have
    // files still to be measured, and those whose album gain is known,
    // waiting for a component, in file order.
    std::vector<TWaiting> waiting_;
    std::deque<TWaiting> due_;
    TBatchSummary counts_;
    std::vector<std::thread> probers_;
};
