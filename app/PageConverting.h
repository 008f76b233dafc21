#pragma once
// Page 3 of the wizard: the conversion run. It turns page 1's rows into the
// engine's tasks, starts them one at a time, and shows each task's status and
// progress, the current file and the batch's times. When every task has ended
// it clears the engine's task list and posts WM_CONVERTDONE to the main window.
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "FFEncoder.h"
#include "OutputNaming.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;
class TFileListModel;
struct TQueueResult;

class TPageConverting : public QWidget {
    Q_OBJECT

public:
    // The columns of ListViewConverting.
    enum TConvertingColumn { ccName, ccDuration, ccStatus, ccProgress, ccPath };

    // host: the main window; it receives WM_CONVERTDONE and parents the
    // message boxes.
    explicit TPageConverting(QWidget* host);
    ~TPageConverting() override;

    // The main window's encoder, not owned. Installs the page's progress and
    // task-end handlers; null detaches them from the previous encoder. Change
    // it only while no batch runs, or detach before the encoder goes while a
    // batch runs: records already under way are then dropped instead of
    // keeping the encoder's threads waiting. The page never touches the
    // encoder from its destructor, so the encoder may also simply go first.
    void SetEncoder(TFFEncoder* encoder);

    // The two post-progress check boxes from the stored settings.
    void LoadPostOptions();

    // The WM_STARTCONVERT handler: queues a task per row of `files` and starts
    // the run, one task at a time. When the run cannot start at all, the user
    // gets the reason and the batch ends at once (WM_CONVERTDONE).
    void StartConvert(const TFileListModel& files);
    // Empties the list and queues every row's file, in list order.
    void BuildTasks(const TFileListModel& files);
    // Probes `path` again and queues it. durationUs: the file's duration as
    // page 1 recorded it (0 when unknown); it is what the task's completion
    // adds to the finished media time.
    void QueueFile(const QString& path, int64_t durationUs);
    // Adds the task and its output on the encoder and an entry to the list;
    // reads the duration from the encoder's probe, which holds the file open.
    void AddConversionTask(const TInputOptions& input, const TOutputOptions& output, int64_t durationUs);

    // Main thread only; the handlers SetEncoder installs bring the engine's
    // records there. A failed task's error is shown in a message box, which
    // holds back the next task-end records (not the next task) until closed.
    // The all-ended record clears the engine's tasks and posts WM_CONVERTDONE
    // from the event loop.
    void FFEncoderProgress(const TProgressInfo& info);
    void FFEncoderTerminate(const TTerminateInfo& info);

    // "Cancel" while the batch runs: asks first; on Yes stops the run (which
    // then ends as usual, with WM_CONVERTDONE) and returns true.
    bool CancelConversion();

    // Back to rest: no entries, the status texts at rest.
    void ResetPage();
    int EntryCount() const;

    // The local time in days; LocalTimeDays unless a test fixes the clock.
    std::function<double()> Clock;

    QTreeWidget* ListViewConverting = nullptr;
    QLabel* LabelCurrentFile = nullptr;
    QLabel* LabelEstimated = nullptr;
    QLabel* LabelElapsed = nullptr;
    QLabel* LabelTimeLeft = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* LabelProgress = nullptr;
    QCheckBox* CheckBoxPlayASound = nullptr;
    QCheckBox* CheckBoxShutdown = nullptr;

private:
    // PageConverting.cpp
    void CreateControls();
    QGroupBox* CreateStatusGroup();
    QGroupBox* CreatePostOptionsGroup();
    void ShowRestTexts();

    // PageConvertingRun.cpp
    TFFEncoder& Encoder();
    // The entry of a queued task; the log line of one that was not.
    void AddEntry(const TQueueResult& queued, const TInputOptions& input, int64_t durationUs);
    void TaskEnded(QTreeWidgetItem* entry, const TTerminateInfo& info);
    void FinishBatch();
    void ClearEncoderTasks();

    QWidget* host_;
    TFFEncoder* encoder_ = nullptr;
    TNameReservations reservedNames_;  // the output names of this batch's queued files
    // Shared with the current encoder's handlers; main thread writes only.
    std::shared_ptr<std::atomic<bool>> attached_;
};
