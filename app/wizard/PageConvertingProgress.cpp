// Page 3 while the batch runs: what the runner tells of each file, the
// running files, the whole batch's progress and times, and the batch's totals.
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "BatchRun.h"
#include "ElidedLabel.h"
#include "Exception.h"
#include "FileNames.h"
#include "Loudness.h"
#include "MainThread.h"
#include "MessageDlg.h"
#include "PageConverting.h"
#include "PageConvertingEvents.h"
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

QTreeWidgetItem* TPageConverting::Entry(size_t index) const {
    return index < entries_.size() ? entries_[index] : nullptr;
}

void TPageConverting::FileQueued(size_t index) {
    if (Entry(index)) Log("File has been added to convert list.");
}

void TPageConverting::FileStarted(size_t index) {
    QTreeWidgetItem* entry = Entry(index);
    if (!entry || Outcome(entry) != eoPending) return;
    FileRunning(index);
    StatusChanged();
}

void TPageConverting::FileProgress(size_t index, int64_t converted, int64_t total) {
    QTreeWidgetItem* entry = Entry(index);
    // A report that came after its file's end.
    if (!entry || Outcome(entry) != eoPending) return;
    if (total > 0) {
        entry->setText(ccProgress, PercentText(Percent(converted, total)));
        entry->setText(ccStatus, QStringLiteral("Converting"));
    } else {
        entry->setText(ccProgress, QStringLiteral("N/A"));
    }
    FileRunning(index);
    running_[index] = converted;
    StatusChanged();
}

void TPageConverting::FileRunning(size_t index) {
    if (!running_.emplace(index, 0).second) return;
    if (QTreeWidgetItem* entry = Entry(index)) entry->setData(ccName, StartedRole, true);
    lastStarted_ = static_cast<int64_t>(index);
}

// A file that neither converted nor failed was stopped: cut short, or never
// started because the run was stopped before its turn.
void TPageConverting::FileFinished(const TBatchFileEnd& end) {
    QTreeWidgetItem* entry = Entry(end.Index);
    if (!entry || Outcome(entry) != eoPending) return;  // one end per file
    running_.erase(end.Index);
    const bool failed = end.Outcome == TBatchOutcome::Failed;
    if (failed && !end.Queued) {
        // It never became a task: the failure box names it with the others.
        Log(end.Error);
        std::string source = NameBytes(entry->data(ccName, PathRole).toString());
        if (const QString track = entry->data(ccName, TrackRole).toString(); !track.isEmpty())
            source += ": " + track.toStdString();
        Log("File not queued for conversion: " + source);
        Settle(entry, eoFailed);
        entry->setData(ccName, ErrorRole, DisplayText(end.Error));
        vars_.FailedCount += 1;
        const bool track = !entry->data(ccName, TrackRole).toString().isEmpty();
        queueFailures_ << (track ? SourceText(entry) : DisplayName(entry->data(ccName, PathRole).toString())) + "\n" +
                              DisplayText(end.Error);
        queueFailureCame_ = true;
        StatusChanged();
        return;
    }
    const bool converted = end.Outcome == TBatchOutcome::Converted || end.Outcome == TBatchOutcome::Skipped;
    if (converted) {
        entry->setText(ccProgress, QStringLiteral("100%"));
        vars_.FinishedDuration += entry->data(ccName, DurationRole).toLongLong() / 1000;
    }
    // Settled before the box opens: the box's event loop goes on showing the
    // other files' progress, and the batch's progress counts this one.
    Settle(entry, failed ? eoFailed : converted ? eoSucceeded : eoStopped);
    // The output holds what could be read of a damaged source: converted, with
    // the reason it may be shorter than its source (the log names the file too).
    if (converted && !end.Warning.empty()) ShowWarning(entry, DisplayText(end.Warning));
    if (end.Outcome == TBatchOutcome::Stopped && !end.Output.empty())
        entry->setData(ccName, KeptRole, DisplayName(NameFromBytes(end.Output)));
    // Why a stopped file could not be given its name; page 4 shows the name it kept.
    if (end.Outcome == TBatchOutcome::Stopped && !end.Notice.empty()) Log(end.Notice);
    if (failed) {
        entry->setData(ccName, ErrorRole, DisplayText(end.Error));
        vars_.FailedCount += 1;
    }
    StatusChanged();
    // The next files run meanwhile; their progress is painted under this
    // box, their ends wait until it is closed.
    if (failed) ShowFailure(DisplayText(end.Error), SourceText(entry));
}

void TPageConverting::AlbumTagged(const TBatchAlbum& album) {
    Log("Album: " + album.Album + ", " + std::to_string(album.Files.size()) +
        " files: " + LoudnessText(album.Integrated, album.TruePeak) + ", album gain " +
        ReplayGainText(album.Integrated));
    for (const std::string& failure : album.Failures) Log("The album gain could not be written: " + failure);
}

void TPageConverting::BatchEnded() {
    // Nothing is left to cancel: the question goes as if answered No, and
    // the summary follows.
    if (cancelQuestion_) cancelQuestion_->done(QMessageBox::No);
    ReleaseRunner();
    // The run's last log lines are in the log before its summary shows.
    CheckSynchronize();
    // Files the runner did not report (it reports every one) did not convert either.
    StopUnsettledEntries();
    running_.clear();
    DropStatusRefresh();
    ShowRestTexts();
    if (!runError_.empty()) {
        const Exception e(std::exchange(runError_, {}));
        Log(e.what());
        ShowErrorMessage(host_, e);
    }
    FinishBatch();
}

void TPageConverting::StopUnsettledEntries() {
    for (int i = 0; i < EntryCount(); ++i) {
        QTreeWidgetItem* entry = ListViewConverting->topLevelItem(i);
        if (Outcome(entry) == eoPending) Settle(entry, eoStopped);
    }
}

// Painting the page after every event would cost the conversions a good part
// of a core with many short files: the status group and the list's scrolling
// follow at most every StatusRefreshMs, the latest state always shown in the
// end.
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
        if (lastStarted_ >= 0)
            if (QTreeWidgetItem* started = Entry(static_cast<size_t>(lastStarted_))) ScrollToRunningFiles(started);
    }
    lastStarted_ = -1;
    ShowBatchProgress();
}

void TPageConverting::Tick() {
    if (events_)
        for (const auto& [index, progress] : events_->TakeProgress())
            FileProgress(index, progress.Converted, progress.Total);
    if (statusDirty_) RefreshStatus();
    // The files that could not be queued are named once no more have come
    // for a tick; from the event loop, since this timer does not fire again
    // while its own call holds a box open.
    if (!queueFailures_.isEmpty() && !queueFailureCame_ && openFailureBoxes_ == 0 && !takingEvents_)
        QMetaObject::invokeMethod(
            this, [this] { if (openFailureBoxes_ == 0) ShowQueueFailures(); }, Qt::QueuedConnection);
    queueFailureCame_ = false;
    if (!events_ && !statusDirty_) refreshTimer_->stop();
}

void TPageConverting::DropStatusRefresh() {
    refreshTimer_->stop();
    statusDirty_ = false;
    lastStarted_ = -1;
}

// The first running file by batch order, and how many more run with it.
void TPageConverting::ShowRunningFiles() {
    if (running_.empty()) {
        LabelCurrentFile->setText(QStringLiteral("..."));
        return;
    }
    const QTreeWidgetItem* first = Entry(running_.begin()->first);
    QString text = SourceText(first);
    if (running_.size() > 1) text += QStringLiteral(" + %1 more").arg(running_.size() - 1);
    LabelCurrentFile->setText(text);
}

// Only when a file starts: between starts the user may scroll the list freely.
void TPageConverting::ScrollToRunningFiles(QTreeWidgetItem* started) {
    ListViewConverting->scrollToItem(started);
    // The first running file wins when they do not all fit.
    ListViewConverting->scrollToItem(Entry(running_.begin()->first));
}

// The whole batch: the media time of the finished files and of every running
// one against the batch's length; by files when no length is known. The
// estimate scales the elapsed time by the same media time.
void TPageConverting::ShowBatchProgress() {
    const TGlobalVars& g = vars_;
    int64_t runningUs = 0;
    for (const auto& file : running_) runningUs += file.second;
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

void TPageConverting::Log(const std::string& line) { vars_.LogLines.push_back(line); }

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

std::vector<TPageConverting::TUnfinishedFile> TPageConverting::UnfinishedFiles() const {
    std::vector<TUnfinishedFile> files;
    for (int i = 0; i < EntryCount(); ++i) {
        const QTreeWidgetItem* entry = ListViewConverting->topLevelItem(i);
        const TEntryOutcome outcome = Outcome(entry);
        if (outcome != eoFailed && outcome != eoStopped) continue;
        TUnfinishedFile file;
        file.Name = entry->text(ccName);
        file.Folder = entry->text(ccPath);
        file.Failed = outcome == eoFailed;
        file.Started = entry->data(ccName, StartedRole).toBool();
        file.Kept = entry->data(ccName, KeptRole).toString();
        file.Error = entry->data(ccName, ErrorRole).toString();
        files.push_back(std::move(file));
    }
    return files;
}
