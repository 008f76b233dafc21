#pragma once
// Page 3 of the wizard: the conversion run. It turns page 1's rows into the
// engine's tasks, runs as many at once as the settings say, and shows each
// file's status and progress, the running files, the whole batch's progress
// and its times. When every task has ended it clears the engine's task list
// and posts WM_CONVERTDONE to the main window.
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FFEncoder.h"
#include "OutputNaming.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TElidedLabel;
class TFileListModel;
struct TBatchProbe;
template <typename TResult> class TProbeAhead;
using TBatchProbes = TProbeAhead<TBatchProbe>;
struct TOutputTarget;
struct TQueueResult;

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

    // host: the main window; it receives WM_CONVERTDONE and parents the
    // message boxes.
    explicit TPageConverting(QWidget* host);
    ~TPageConverting() override;

    // The main window's encoder, not owned. Installs the page's progress and
    // task-end handlers; null detaches them from the previous encoder and stops
    // the run from going on (StopRun, without waiting for an encoder). Change
    // it only while no batch runs, or detach before the encoder goes while a
    // batch runs: records already under way are then dropped instead of
    // keeping the encoder's threads waiting. The page never touches the
    // encoder from its destructor, so the encoder may also simply go first.
    void SetEncoder(TFFEncoder* encoder);

    // The two post-progress check boxes from the stored settings.
    void LoadPostOptions();

    // Page 3 is shown and WM_STARTCONVERT is on its way: the next StartConvert
    // begins a batch, and a Cancel confirmed from now on stops it.
    void PrepareRun();
    // The WM_STARTCONVERT handler: queues a task per row of `files` and starts
    // the run, GlobalVars.ParallelTasks files at once. The files that could
    // not be queued are then named in one failure box while the run goes on.
    // When the run cannot start at all, the user gets the reason and the batch
    // ends at once (WM_CONVERTDONE). Only the first call after PrepareRun
    // starts a batch. When the run was stopped before it started, the files
    // not yet queued are not queued, nothing starts, and the batch ends with
    // them stopped.
    void StartConvert(const TFileListModel& files);
    // Empties the list, resets the batch's counts and queues every row's
    // file, in list order.
    void BuildTasks(const TFileListModel& files);
    // Probes `path` again and queues it; a file that cannot be queued gets a
    // "Failed" entry and counts as failed. durationUs: the file's duration as
    // page 1 recorded it (0 when unknown); it is what the task's completion
    // adds to the finished media time. root: the folder the file was found
    // under ("" for a file added by itself); with KeepFolderStructure the
    // output goes to the same folder below the output folder, created here.
    void QueueFile(const QString& path, int64_t durationUs, const QString& root = QString());
    // Adds the task and its output on the encoder and an entry to the list;
    // reads the duration from the encoder's probe, which holds the file open.
    void AddConversionTask(const TInputOptions& input, const TOutputOptions& output, int64_t durationUs);

    // Main thread only; the handlers SetEncoder installs bring the engine's
    // records there. A task is running from its start (the engine starts the
    // first tasks at once and the next one whenever a task ends, in queue
    // order) or its first progress record, whichever the page learns of
    // first, to its end record. The overall progress and the estimate count
    // the media time of the finished tasks and of every running one. A
    // failed task's error is shown in a message box, which holds back the
    // next task-end records (not the next tasks) until closed. The all-ended
    // record marks the entries that never ended as stopped, clears the
    // engine's tasks and posts WM_CONVERTDONE from the event loop, once no
    // failure box is open.
    void FFEncoderProgress(const TProgressInfo& info);
    void FFEncoderTerminate(const TTerminateInfo& info) { LaneTerminate(0, info); }

    // "Cancel" while the batch runs: asks first; on Yes stops the run (which
    // then ends as usual, with WM_CONVERTDONE) and returns true.
    bool CancelConversion();
    // The question alone; true for Yes, which stops the queueing and the start
    // of a batch not yet started. A start that comes while the question is
    // open waits for the answer.
    bool AskCancelConversion();
    // Stops the run without asking: no more files are queued or started, and
    // the running ones stop, keeping what they have written.
    void StopRun();

    // Back to rest: no entries, the status texts at rest.
    void ResetPage();
    int EntryCount() const;
    TBatchTotals Totals() const;

    // The local time in days; LocalTimeDays unless a test fixes the clock.
    std::function<double()> Clock;
    // The status group follows the records at most this often (milliseconds);
    // 0: after every record.
    int StatusRefreshMs = 250;

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

    // PageConverting.cpp
    // Installs the page's handlers on `encoder`, whose task indexes count
    // from `firstTask` among the batch's tasks. Records arrive while
    // `attached` holds.
    void AttachHandlers(TFFEncoder& encoder, int lane, int firstTask, const std::shared_ptr<std::atomic<bool>>& attached);
    // Stops the second lane, drops its records and lets it go.
    void ReleaseSecondLane();

    // PageConvertingRun.cpp
    TFFEncoder& Encoder();
    // A new batch: no entries, no counts, no names taken; the files of `files`.
    std::vector<std::string> BeginBatch(const TFileListModel& files);
    // With several files at once, queueing overlaps converting: the first
    // quarter of the files is queued and started on the main window's encoder,
    // the rest is queued on a second one meanwhile, which starts when the
    // first has ended (an encoder takes no tasks while it runs).
    void BuildTasksInLanes(const TFileListModel& files, int parallel);
    // A stopped run queues none of the rows left: they become stopped entries.
    void QueueRows(const TFileListModel& files, TBatchProbes& probes, int first, int last, TFFEncoder& encoder,
                   bool serveRecords);
    // Ends a batch whose lanes never started: every entry not settled is stopped.
    void EndUnstartedBatch();
    void StartLane(TFFEncoder& encoder, int firstTask, int endTask, int parallel);
    void StartSecondLane();
    // The batch's target: the output folder, format and preset, and the names
    // the batch has taken.
    TOutputTarget OutputTarget();
    void QueueProbed(TBatchProbe& probed, const QString& path, int64_t durationUs, const QString& root,
                     TFFEncoder& encoder);
    // The entry of a file: waiting when queued, failed (with the error
    // logged and kept for the failure box) when not. probedDurationUs: the
    // length the queueing probe saw, -1 when unknown.
    void AddEntry(const TQueueResult& queued, const QString& path, int64_t durationUs, int64_t probedDurationUs);
    QTreeWidgetItem* NewEntry(const QString& path, const QString& durationText, int64_t durationUs);
    void ShowQueueFailures();
    void FinishBatch();
    void ClearEncoderTasks();

    // PageConvertingProgress.cpp
    // The records of lane 0 (the main window's encoder) or 1 (the second).
    void LaneTerminate(int lane, const TTerminateInfo& info);
    QTreeWidgetItem* TaskEntry(int taskIndex) const;
    void TaskStarted(int taskIndex);
    void TaskEnded(int taskIndex, QTreeWidgetItem* entry, const TTerminateInfo& info);
    void StopUnsettledEntries();
    // A record changed the batch's state: the status group and the list's
    // scrolling follow now, or when the refresh interval is over.
    void StatusChanged();
    void RefreshStatus();
    void StatusRefreshDue();
    void DropStatusRefresh();
    void ShowRunningFiles();
    void ScrollToRunningFiles(QTreeWidgetItem* started);
    void ShowBatchProgress();
    // A failure box: modal, while the run goes on; the batch's end waits for it.
    void ShowFailure(const QString& text, const QString& details);

    QWidget* host_;
    TFFEncoder* encoder_ = nullptr;
    TNameReservations reservedNames_;  // the output names of this batch's queued files
    std::vector<QTreeWidgetItem*> taskEntries_;  // by the batch's task index; the items belong to the list
    std::map<int, int64_t> running_;             // task index -> media time converted (microseconds)
    int nextTaskToStart_ = -1;                   // started when a running task ends; -1: not known
    int lastStarted_ = -1;                       // the task started last, until the list has scrolled to it
    QTimer* refreshTimer_ = nullptr;             // the refresh interval after the status group was shown
    bool statusDirty_ = false;                   // records came during that interval
    int laneEnd_ = 0;                            // the running lane's tasks end before this index
    // The second lane: its tasks follow the first lane's in taskEntries_.
    std::unique_ptr<TFFEncoder> secondLane_;
    std::shared_ptr<std::atomic<bool>> secondAttached_;
    int secondFirstTask_ = -1;                   // -1: one lane
    bool secondStarted_ = false;
    int queueOffset_ = 0;                        // added to the task indexes of the encoder being filled
    bool starting_ = false;                      // from PrepareRun until StartConvert has queued the batch
    bool stopping_ = false;                      // "Cancel" stopped the run: no task is queued or starts any more
    bool firstLaneEnded_ = false;                // the first lane ended while the second was being queued
    bool cancelQuestionOpen_ = false;
    const TFileListModel* deferredStart_ = nullptr;  // the files of a start that came while the question was open
    QStringList queueFailures_;                  // the files that could not be queued, with the reason
    int openFailureBoxes_ = 0;
    bool finishPending_ = false;                 // the batch ended while a failure box was open
    // Shared with the current encoder's handlers; main thread writes only.
    std::shared_ptr<std::atomic<bool>> attached_;
};
