// Page 3's run: queueing the batch on the encoder, showing its progress and
// the end of each task, cancelling it, and handing its end to the main window.
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>

#include "Exception.h"
#include "FileListModel.h"
#include "FileNames.h"
#include "MessageDlg.h"
#include "PageConverting.h"
#include "QueueFile.h"
#include "TimeSpan.h"
#include "UtilFuncs.h"
#include "UtilFuncsGui.h"
#include "WizardEvents.h"
#include "globals.h"

namespace {

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

void Log(const std::string& line) { GlobalVars.LogLines.push_back(line); }

// The entry keeps the file's duration as page 1 recorded it (microseconds).
constexpr int DurationRole = Qt::UserRole;

} // namespace

TFFEncoder& TPageConverting::Encoder() {
    if (!encoder_) throw Exception("The media libraries are not loaded; nothing can be converted.");
    return *encoder_;
}

void TPageConverting::StartConvert(const TFileListModel& files) {
    // Page 3 is painted before the probing keeps the window busy.
    QCoreApplication::processEvents();
    try {
        BuildTasks(files);
        GlobalVars.FailedCount = 0;
        GlobalVars.BatchStartTime = Clock();
        // An empty task list ends at once with the all-ended record, so a
        // batch in which no file could be queued reaches page 4 as well.
        Encoder().StartTask(1);
    } catch (const std::exception& e) {
        // Nothing has started: the batch ends here, with the reason shown.
        Log(e.what());
        ShowErrorMessage(host_, e);
        FinishBatch();
    }
}

void TPageConverting::BuildTasks(const TFileListModel& files) {
    GlobalVars.BatchDuration = 0;
    ListViewConverting->clear();
    reservedNames_ = TNameReservations();
    for (int row = 0; row < files.rowCount(); ++row) QueueFile(files.FileFullName(row), files.RealDuration(row));
}

void TPageConverting::QueueFile(const QString& path, int64_t durationUs) {
    TFFDecoder& probe = Encoder().Decoder();
    const TGlobalVars& g = GlobalVars;
    const int preset = g.OutputFormat < OutputFormatCount ? g.Presets[g.OutputFormat] : -1;
    const TOutputTarget target{g.OutputFileDir, g.OutputFormat, preset, &reservedNames_};
    TProbedFile file = ProbeFile(probe, WideName(path), target);
    // The probe keeps the file open until the entry has read its duration.
    TCloseFileGuard close(probe);
    AddEntry(QueueProbedFile(Encoder(), file, target), file.Input, durationUs);
}

void TPageConverting::AddConversionTask(const TInputOptions& input, const TOutputOptions& output, int64_t durationUs) {
    AddEntry(AddTaskWithOutput(Encoder(), input, output), input, durationUs);
}

void TPageConverting::AddEntry(const TQueueResult& queued, const TInputOptions& input, int64_t durationUs) {
    if (!queued.Queued()) {
        Log(queued.Error);
        return;
    }
    TFileStreamInfo info;
    const bool known = Encoder().Decoder().GetFileStreamInfo(info) && info.Duration >= 0;
    QString durationText = QStringLiteral("Duration is not preseted");
    if (known) {
        durationText = Text(FormatDuration(info.Duration));
        GlobalVars.BatchDuration += info.Duration;
    }
    const QFileInfo file(DisplayName(NameFromWide(input.FileName)));
    QString folder = file.absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    auto* entry = new QTreeWidgetItem({file.fileName(), durationText, QStringLiteral("Waiting"), QString(), folder});
    entry->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    entry->setData(ccName, DurationRole, QVariant::fromValue<qlonglong>(durationUs));
    ListViewConverting->addTopLevelItem(entry);
    Log("File has been added to convert list.");
}

void TPageConverting::FFEncoderProgress(const TProgressInfo& info) {
    QTreeWidgetItem* entry = ListViewConverting->topLevelItem(info.TaskIndex);
    if (!entry) return;  // a record that outlived its batch
    LabelCurrentFile->setText(entry->text(ccPath) + entry->text(ccName));
    const int64_t converted = ConvertedDuration(info);
    if (info.TotalDuration > 0) {
        const int64_t percent = converted * 100 / info.TotalDuration;
        ProgressBar->setValue(static_cast<int>(std::clamp<int64_t>(percent, 0, 100)));
        LabelProgress->setText(QString::number(ProgressBar->value()) + '%');
        entry->setText(ccProgress, LabelProgress->text());
        entry->setText(ccStatus, QStringLiteral("Converting"));
    } else {
        entry->setText(ccProgress, QStringLiteral("N/A"));
    }
    const TGlobalVars& g = GlobalVars;
    const double elapsed = Clock() - g.BatchStartTime;
    const int64_t done = g.FinishedDuration + converted / 1000;
    const TBatchTimeTexts times = BatchTimeTexts(elapsed, done, g.BatchDuration);
    LabelEstimated->setText(Text(times.Estimated));
    LabelElapsed->setText(Text(times.Elapsed));
    LabelTimeLeft->setText(Text(times.TimeLeft));
}

void TPageConverting::FFEncoderTerminate(const TTerminateInfo& info) {
    if (info.TaskIndex >= 0) {
        if (QTreeWidgetItem* entry = ListViewConverting->topLevelItem(info.TaskIndex)) TaskEnded(entry, info);
        return;
    }
    ShowRestTexts();
    // Clearing the tasks joins the encoder's delivery threads, and the thread
    // that brought this record waits until this handler returns: the clearing
    // runs from the event loop, once that thread is free.
    QMetaObject::invokeMethod(this, [this] { FinishBatch(); }, Qt::QueuedConnection);
}

void TPageConverting::TaskEnded(QTreeWidgetItem* entry, const TTerminateInfo& info) {
    if (info.Completed) {
        entry->setText(ccProgress, QStringLiteral("100%"));
        LabelProgress->setText(QStringLiteral("100%"));
        ProgressBar->setValue(100);
        GlobalVars.FinishedDuration += entry->data(ccName, DurationRole).toLongLong() / 1000;
        entry->setText(ccStatus, QStringLiteral("Finish"));
    }
    if (info.Failed) {
        // The next task runs meanwhile; its progress reaches the page through
        // this box's event loop.
        QMessageBox::warning(host_, Text(ApplicationTitle()), DisplayText(info.ErrorMessage));
        GlobalVars.FailedCount += 1;
        entry->setText(ccStatus, QStringLiteral("Failed"));
    }
}

void TPageConverting::FinishBatch() {
    if (encoder_) ClearEncoderTasks();
    QCoreApplication::postEvent(host_, new QEvent(WM_CONVERTDONE));
}

void TPageConverting::ClearEncoderTasks() {
    try {
        encoder_->ClearTasks();
    } catch (const Exception& e) {
        Log(e.what());
    }
}

bool TPageConverting::CancelConversion() {
    const auto answer = QMessageBox::question(host_, Text(ApplicationTitle()),
                                              QStringLiteral("Do you really want to cancel the conversion?"),
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    // Waiting keeps serving the main-thread hand-offs, so the tasks' progress
    // and end records still reach the page while it stops.
    if (encoder_) encoder_->Stop(true);
    return true;
}
