#pragma once
// Page 3 of the wizard: the conversion run. The batch runs on the one batch
// runner (BatchRun.h), on a thread the page owns, as many files at once as
// the settings say; the page is a view of what the runner tells: each file's
// status and progress, the running files, the whole batch's progress and its
// times. When every file has settled it posts WM_CONVERTDONE to the main
// window.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SourceTrack.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TBatchRun;
class TElidedLabel;
class TFileListModel;
class TPageBatchEvents;
struct TBatchAlbum;
struct TBatchFileEnd;
struct TGlobalVars;

class TPageConverting : public QWidget {
    Q_OBJECT

public:
    // The columns of ListViewConverting.
    enum TConvertingColumn { ccName, ccDuration, ccStatus, ccProgress, ccPath };

    // The entries of a batch by what became of their files. Every row of
    // page 1 has an entry: a file that could not be queued is a failure, and
    // one whose run was stopped, or never started because of a stop, is
    // stopped.
    struct TBatchTotals {
        int Total = 0;
        int Succeeded = 0;  // converted to the end
        int Warned = 0;     // of those, converted with a warning (a source that could not be read to its end)
        int Failed = 0;
        int Stopped = 0;
    };

    // vars: the state record with the output choice, the end-of-batch
    // switches, the batch figures and the log; it must outlive the page.
    // host: the main window; it receives WM_CONVERTDONE and parents the
    // message boxes.
    TPageConverting(TGlobalVars& vars, QWidget* host);
    // Ends a running batch first (EndRun).
    ~TPageConverting() override;

    // The two post-progress check boxes from the stored settings.
    void LoadPostOptions();

    // Page 3 is shown and WM_STARTCONVERT is on its way: the next StartConvert
    // begins a batch, and a Cancel confirmed from now on stops it.
    void PrepareRun();
    // The WM_STARTCONVERT handler: an entry per row of `files` (BeginBatch),
    // and the batch starts on a thread of its own, ParallelTasks
    // files at once; it needs the media libraries loaded. When it cannot
    // start, the user gets the reason and the batch ends at once
    // (WM_CONVERTDONE). Only the first call after PrepareRun starts a batch;
    // one stopped before it started ends with every file stopped.
    void StartConvert(const TFileListModel& files);
    // A new batch's entries: one waiting entry per row of `files`, the
    // batch's length (the rows' durations as page 1 recorded them) and counts
    // from zero. StartConvert begins with it; alone it only shows the rows.
    void BeginBatch(const TFileListModel& files);
    // While a batch runs, `path` joins it at its end, with a waiting entry
    // (files handed over while converting). durationUs: its duration as
    // page 1 would record it (0 when unknown). root: the folder it was found
    // under ("" for a file added by itself); with KeepFolderStructure its
    // output goes to the same folder below the output folder. False, and
    // nothing added, when no batch runs.
    // track: the stretch of the file to convert, none for the whole file.
    bool QueueFile(const QString& path, int64_t durationUs, const QString& root = QString(),
                   const std::optional<TSourceTrack>& track = std::nullopt);

    // What the runner tells, on the main thread, in the order it told it;
    // the view follows from these alone. A file runs from its start, or from
    // its first progress report, to its end; the overall progress and the
    // estimate count the media time of the finished files and of every
    // running one. A file that failed while converting is shown in a
    // message box, which holds back the next events (not the next files)
    // until closed; the files that could not be queued are named together in
    // one box. The batch's end posts WM_CONVERTDONE once no box is open.
    void FileQueued(size_t index);
    void FileStarted(size_t index);
    void FileProgress(size_t index, int64_t converted, int64_t total);
    void FileFinished(const TBatchFileEnd& end);
    // The album's loudness and gain, and each output that could not take
    // its gain, go to the log; each file's own is logged by its task.
    void AlbumTagged(const TBatchAlbum& album);
    void BatchEnded();

    // "Cancel" while the batch runs: asks first; on Yes stops the run (which
    // then ends as usual, with WM_CONVERTDONE) and returns true.
    bool CancelConversion();
    // The question alone; true for Yes, which stops the start of a batch not
    // yet started. A start that comes while the question is open waits for
    // the answer.
    bool AskCancelConversion();
    // Stops the run without asking: no more files start, and the running ones
    // stop, keeping what they have written.
    void StopRun();
    // The window goes: a running batch stops, the page waits until its files
    // have ended (kept as far as they got), and whatever the batch still had
    // to tell is dropped; no WM_CONVERTDONE follows.
    void EndRun();
    // A batch is on its way: its runner has not ended yet.
    bool Running() const { return run_ != nullptr; }

    // Back to rest: no entries, the status texts at rest.
    void ResetPage();
    int EntryCount() const;
    TBatchTotals Totals() const;

    // A file of the batch that did not convert, for the summary.
    struct TUnfinishedFile {
        QString Name;    // the source's name as shown, without its folder
        QString Folder;  // the source's folder, ending in a separator
        bool Failed = false;   // else stopped
        bool Started = false;  // it ran before it was stopped
        QString Kept;    // a stopped file's output, kept under a name that says so; empty when none
        QString Error;   // why it failed, as shown
    };
    // The stopped and failed files of the batch, in batch order.
    std::vector<TUnfinishedFile> UnfinishedFiles() const;

    // The local time in days; LocalTimeDays unless a test fixes the clock.
    std::function<double()> Clock;
    // The status group follows the events at most this often (milliseconds),
    // and the running files' progress is painted this often; 0: the status
    // group after every event.
    int StatusRefreshMs = 250;
    // The list follows the runner's events at most this often
    // (milliseconds): events that come closer together are taken together,
    // with one painting. 0: each as it comes.
    int EventsRefreshMs = 50;

    QTreeWidget* ListViewConverting = nullptr;
    TElidedLabel* LabelCurrentFile = nullptr;
    QLabel* LabelEstimated = nullptr;
    QLabel* LabelElapsed = nullptr;
    QLabel* LabelTimeLeft = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* LabelProgress = nullptr;
    QCheckBox* CheckBoxPlayASound = nullptr;
    QCheckBox* CheckBoxShutdown = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What an entry keeps besides its texts: the file's duration as page 1
    // recorded it (microseconds), and what became of the file.
    static constexpr int DurationRole = Qt::UserRole;
    static constexpr int OutcomeRole = Qt::UserRole + 1;
    // The engine's warning of a file that converted with one; none otherwise.
    static constexpr int WarningRole = Qt::UserRole + 2;
    // The file's name as page 1 had it, for the log.
    static constexpr int PathRole = Qt::UserRole + 3;
    // What a stopped file kept (its output, as shown), why a failed one
    // failed, and whether the file ran at all.
    static constexpr int KeptRole = Qt::UserRole + 4;
    static constexpr int ErrorRole = Qt::UserRole + 5;
    static constexpr int StartedRole = Qt::UserRole + 6;
    // A track's caption ("NN - Title"), which the entry shows as its name;
    // none for a whole file.
    static constexpr int TrackRole = Qt::UserRole + 7;
    enum TEntryOutcome { eoPending, eoSucceeded, eoFailed, eoStopped };
    static TEntryOutcome Outcome(const QTreeWidgetItem* entry);
    // Records the outcome and shows its status text.
    static void Settle(QTreeWidgetItem* entry, TEntryOutcome outcome);
    // A converted entry says so with the engine's warning: its status reads
    // "Finish (warning)" and shows the warning in full as its tooltip.
    static void ShowWarning(QTreeWidgetItem* entry, const QString& warning);

    // PageConverting.cpp
    void CreateControls();
    QGroupBox* CreateStatusGroup();
    QGroupBox* CreatePostOptionsGroup();
    void ShowRestTexts();
    void FitColumns();
    // No entries, and nothing of the last batch's run.
    void ClearEntries();

    // PageConvertingRun.cpp
    // The runner on its thread, with the files of `files`.
    void StartRunner(const TFileListModel& files);
    // The folder the output of `path` goes to.
    std::string OutputFolderOf(const QString& path, const QString& root) const;
    QTreeWidgetItem* NewEntry(const QString& path, int64_t durationUs, const std::optional<TSourceTrack>& track);
    // The file an entry converts, in its folder, as the page names it in
    // its texts: "folder/image.flac: NN - Title" for a track.
    static QString SourceText(const QTreeWidgetItem* entry);
    // Takes the runner's events and shows them, until none is left; the
    // events that come while a box is open wait for it.
    void TakeEvents();
    // The runner has told events: they are taken now, or once
    // EventsRefreshMs have passed since the last time. Its end is taken at once.
    void EventsArrived();
    // The runner has returned: its thread is joined and it goes. Main thread.
    void ReleaseRunner();
    void ShowQueueFailures();
    // Posts WM_CONVERTDONE once no box is open and the queue failures have
    // been shown.
    void FinishBatch();

    // PageConvertingProgress.cpp
    QTreeWidgetItem* Entry(size_t index) const;
    void FileRunning(size_t index);
    void StopUnsettledEntries();
    // A record changed the batch's state: the status group and the list's
    // scrolling follow now, or on the next tick.
    void StatusChanged();
    void RefreshStatus();
    // Every StatusRefreshMs while a batch runs or the status group lags
    // behind: the running files' latest progress, the status group, and the
    // files that could not be queued once no more have come for a tick.
    void Tick();
    void DropStatusRefresh();
    void ShowRunningFiles();
    void ScrollToRunningFiles(QTreeWidgetItem* started);
    void ShowBatchProgress();
    // A failure box: modal, while the run goes on; the batch's end waits for it.
    void ShowFailure(const QString& text, const QString& details);
    // A line for the in-memory log.
    void Log(const std::string& line);

    TGlobalVars& vars_;
    QWidget* host_;
    std::vector<QTreeWidgetItem*> entries_;  // by the file's index in the batch; the items belong to the list
    std::map<size_t, int64_t> running_;      // file index -> media time converted (microseconds)
    int64_t lastStarted_ = -1;               // the file started last, until the list has scrolled to it
    QTimer* refreshTimer_ = nullptr;         // Tick
    QTimer* eventsTimer_ = nullptr;          // TakeEvents, when events came sooner than EventsRefreshMs
    QElapsedTimer eventsTaken_;              // since the last TakeEvents
    bool statusDirty_ = false;               // events came since the status group was shown

    // The batch's runner, its thread and what it tells; all three live from
    // the start of a batch until its runner has returned.
    std::unique_ptr<TPageBatchEvents> events_;
    std::unique_ptr<TBatchRun> run_;
    std::thread runThread_;
    std::atomic<bool> runReturned_{false};
    std::string runError_;                   // why Run() gave up, if it did; read once it has returned

    bool starting_ = false;                  // from PrepareRun until StartConvert has started the batch
    bool stopping_ = false;                  // "Cancel" stopped the run
    // The question while it is open: the batch's end closes it, since its
    // answer no longer matters then.
    QPointer<QMessageBox> cancelQuestion_;
    const TFileListModel* deferredStart_ = nullptr;  // the files of a start that came while the question was open
    bool takingEvents_ = false;              // TakeEvents is under way (perhaps in a box's event loop)
    QStringList queueFailures_;              // the files that could not be queued, with the reason, not yet shown
    bool queueFailureCame_ = false;          // since the last tick
    int openFailureBoxes_ = 0;
    bool finishPending_ = false;             // the batch ended while a box was open
};
