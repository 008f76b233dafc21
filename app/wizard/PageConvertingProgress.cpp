// Page 3 while the batch runs: each task's progress and end, the running
// files, the whole batch's progress and times, and the batch's totals.
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "ElidedLabel.h"
#include "FileNames.h"
#include "PageConverting.h"
#include "TimeSpan.h"
#include "UtilFuncsGui.h"
#include "globals.h"

namespace {

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

// 0 to 100: a file of unknown length may take the media time past the total.
int Percent(int64_t part, int64_t whole) {
    return whole > 0 ? static_cast<int>(std::clamp<int64_t>(part * 100 / whole, 0, 100)) : 0;
}

QString PercentText(int percent) { return QString::number(percent) + '%'; }

} // namespace

TPageConverting::TEntryOutcome TPageConverting::Outcome(const QTreeWidgetItem* entry) {
    return static_cast<TEntryOutcome>(entry->data(ccName, OutcomeRole).toInt());
}

void TPageConverting::Settle(QTreeWidgetItem* entry, TEntryOutcome outcome) {
    static const char* const StatusTexts[] = {"Waiting", "Finish", "Failed", "Stopped"};
    entry->setData(ccName, OutcomeRole, int(outcome));
    entry->setText(ccStatus, QString::fromUtf8(StatusTexts[outcome]));
}

void TPageConverting::ShowWarning(QTreeWidgetItem* entry, const QString& warning) {
    entry->setData(ccName, WarningRole, warning);
    entry->setText(ccStatus, QStringLiteral("Finish (warning)"));
    for (int column : {ccStatus, ccProgress}) entry->setToolTip(column, warning);
}

QTreeWidgetItem* TPageConverting::TaskEntry(int taskIndex) const {
    if (taskIndex < 0 || static_cast<size_t>(taskIndex) >= taskEntries_.size()) return nullptr;
    return taskEntries_[static_cast<size_t>(taskIndex)];
}

void TPageConverting::FFEncoderProgress(const TProgressInfo& info) {
    QTreeWidgetItem* entry = TaskEntry(info.TaskIndex);
    // A record that outlived its batch, or its task.
    if (!entry || Outcome(entry) != eoPending) return;
    const int64_t converted = ConvertedDuration(info);
    if (info.TotalDuration > 0) {
        entry->setText(ccProgress, PercentText(Percent(converted, info.TotalDuration)));
        entry->setText(ccStatus, QStringLiteral("Converting"));
    } else {
        entry->setText(ccProgress, QStringLiteral("N/A"));
    }
    TaskStarted(info.TaskIndex);
    running_[info.TaskIndex] = converted;
    StatusChanged();
}

void TPageConverting::LaneTerminate(int lane, const TTerminateInfo& info) {
    if (info.TaskIndex >= 0) {
        if (QTreeWidgetItem* entry = TaskEntry(info.TaskIndex)) TaskEnded(info.TaskIndex, entry, info);
        return;
    }
    // The first lane has ended: the second, queued meanwhile, runs now, or
    // once it is queued.
    if (lane == 0 && secondLane_ && !secondStarted_ && !stopping_) {
        if (starting_) firstLaneEnded_ = true;
        else StartSecondLane();
        return;
    }
    // Tasks the engine did not report (it reports every one, even those a
    // stop kept from starting) did not convert either.
    StopUnsettledEntries();
    running_.clear();
    DropStatusRefresh();
    ShowRestTexts();
    // Clearing the tasks joins the encoder's delivery threads, and the thread
    // that brought this record waits until this handler returns: the clearing
    // runs from the event loop, once that thread is free.
    QMetaObject::invokeMethod(this, [this] { FinishBatch(); }, Qt::QueuedConnection);
}

void TPageConverting::TaskStarted(int taskIndex) {
    if (!running_.emplace(taskIndex, 0).second) return;
    lastStarted_ = taskIndex;
}

// A task that neither completed nor failed was stopped: cut short, or never
// started because the run was stopped before its turn.
void TPageConverting::TaskEnded(int taskIndex, QTreeWidgetItem* entry, const TTerminateInfo& info) {
    if (Outcome(entry) != eoPending) return;  // one end per task
    running_.erase(taskIndex);
    if (info.Completed) {
        entry->setText(ccProgress, QStringLiteral("100%"));
        GlobalVars.FinishedDuration += entry->data(ccName, DurationRole).toLongLong() / 1000;
    }
    // Settled before the box opens: the box's event loop goes on showing the
    // other tasks' progress, and the batch's progress counts this one.
    Settle(entry, info.Failed ? eoFailed : info.Completed ? eoSucceeded : eoStopped);
    // The output holds what could be read of a damaged source: converted, with
    // the reason it may be shorter than its source (the log names the file too).
    if (!info.Failed && info.Completed && !info.Warning.empty()) ShowWarning(entry, DisplayText(info.Warning));
    if (info.Failed) GlobalVars.FailedCount += 1;
    // The engine has started the next task in this one's place.
    if (nextTaskToStart_ >= 0 && !stopping_ && nextTaskToStart_ < laneEnd_)
        TaskStarted(nextTaskToStart_++);
    StatusChanged();
    // The next tasks run meanwhile; their progress reaches the page through
    // this box's event loop, their ends wait until it is closed.
    if (info.Failed) ShowFailure(DisplayText(info.ErrorMessage), entry->text(ccPath) + entry->text(ccName));
}

void TPageConverting::StopUnsettledEntries() {
    for (int i = 0; i < EntryCount(); ++i) {
        QTreeWidgetItem* entry = ListViewConverting->topLevelItem(i);
        if (Outcome(entry) == eoPending) Settle(entry, eoStopped);
    }
}

// Painting the page after every record would cost the conversions a good
// part of a core with many short files: the status group and the list's
// scrolling follow at most every StatusRefreshMs, the latest state always
// shown in the end.
void TPageConverting::StatusChanged() {
    if (StatusRefreshMs <= 0) {
        RefreshStatus();
        return;
    }
    statusDirty_ = true;
    if (refreshTimer_->isActive()) return;
    RefreshStatus();
    refreshTimer_->start(StatusRefreshMs);
}

void TPageConverting::RefreshStatus() {
    statusDirty_ = false;
    // With the last file ended the label keeps it until the batch's end.
    if (!running_.empty()) {
        ShowRunningFiles();
        if (QTreeWidgetItem* started = TaskEntry(lastStarted_)) ScrollToRunningFiles(started);
    }
    lastStarted_ = -1;
    ShowBatchProgress();
}

void TPageConverting::StatusRefreshDue() {
    if (!statusDirty_) return;
    RefreshStatus();
    refreshTimer_->start(StatusRefreshMs);
}

void TPageConverting::DropStatusRefresh() {
    refreshTimer_->stop();
    statusDirty_ = false;
    lastStarted_ = -1;
}

// The first running file by queue order, and how many more run with it.
void TPageConverting::ShowRunningFiles() {
    if (running_.empty()) {
        LabelCurrentFile->setText(QStringLiteral("..."));
        return;
    }
    const QTreeWidgetItem* first = TaskEntry(running_.begin()->first);
    QString text = first->text(ccPath) + first->text(ccName);
    if (running_.size() > 1) text += QStringLiteral(" + %1 more").arg(running_.size() - 1);
    LabelCurrentFile->setText(text);
}

// Only when a file starts: between starts the user may scroll the list freely.
void TPageConverting::ScrollToRunningFiles(QTreeWidgetItem* started) {
    ListViewConverting->scrollToItem(started);
    // The first running file wins when they do not all fit.
    ListViewConverting->scrollToItem(TaskEntry(running_.begin()->first));
}

// The whole batch: the media time of the finished tasks and of every running
// one against the batch's length; by files when no length is known. The
// estimate scales the elapsed time by the same media time.
void TPageConverting::ShowBatchProgress() {
    const TGlobalVars& g = GlobalVars;
    int64_t runningUs = 0;
    for (const auto& task : running_) runningUs += task.second;
    const int64_t doneUs = g.FinishedDuration * 1000 + runningUs;
    int percent = 0;
    if (g.BatchDuration > 0) {
        percent = Percent(doneUs, g.BatchDuration);
    } else {
        const TBatchTotals totals = Totals();
        percent = Percent(totals.Succeeded + totals.Failed + totals.Stopped, totals.Total);
    }
    ProgressBar->setValue(percent);
    LabelProgress->setText(PercentText(percent));
    const double elapsed = Clock() - g.BatchStartTime;
    const TBatchTimeTexts times = BatchTimeTexts(elapsed, doneUs / 1000, g.BatchDuration);
    LabelEstimated->setText(Text(times.Estimated));
    LabelElapsed->setText(Text(times.Elapsed));
    LabelTimeLeft->setText(Text(times.TimeLeft));
}

void TPageConverting::ShowFailure(const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::Warning, Text(ApplicationTitle()), text, QMessageBox::Ok, host_);
    box.setInformativeText(details);
    ++openFailureBoxes_;
    box.exec();
    --openFailureBoxes_;
    if (openFailureBoxes_ == 0 && finishPending_) FinishBatch();
}

TPageConverting::TBatchTotals TPageConverting::Totals() const {
    TBatchTotals totals;
    totals.Total = EntryCount();
    for (int i = 0; i < totals.Total; ++i) {
        switch (Outcome(ListViewConverting->topLevelItem(i))) {
        case eoSucceeded:
            ++totals.Succeeded;
            if (!ListViewConverting->topLevelItem(i)->data(ccName, WarningRole).toString().isEmpty()) ++totals.Warned;
            break;
        case eoFailed: ++totals.Failed; break;
        case eoStopped: ++totals.Stopped; break;
        case eoPending: break;
        }
    }
    return totals;
}
