// Page 3's run: queueing the batch on the encoder, starting it, naming the
// files that could not be queued, cancelling it, and handing its end to the
// main window.
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTreeWidget>
#include <algorithm>

#include "BatchProbes.h"
#include "Exception.h"
#include "FileListModel.h"
#include "FileNames.h"
#include "MessageDlg.h"
#include "OutputFolder.h"
#include "PageConverting.h"
#include "QueueFile.h"
#include "SourceFiles.h"
#include "TimeSpan.h"
#include "UtilFuncs.h"
#include "UtilFuncsGui.h"
#include "WizardEvents.h"
#include "globals.h"

namespace {

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

void Log(const std::string& line) { GlobalVars.LogLines.push_back(line); }

// The failure box names this many files that could not be queued; the log has them all.
constexpr int ListedQueueFailures = 10;

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
        GlobalVars.BatchStartTime = Clock();
        // An empty task list ends at once with the all-ended record, so a
        // batch in which no file could be queued reaches page 4 as well.
        const int parallel = std::clamp(GlobalVars.ParallelTasks, MinParallelTasks, MaxParallelTasks);
        Encoder().StartTask(parallel);
        // The first tasks run from now on; their records reach the page later,
        // from the event loop.
        nextTaskToStart_ = 0;
        while (nextTaskToStart_ < std::min<int>(parallel, taskEntries_.size())) TaskStarted(nextTaskToStart_++);
    } catch (const std::exception& e) {
        // Nothing has started: the batch ends here, with the reason shown.
        Log(e.what());
        ShowErrorMessage(host_, e);
        FinishBatch();
        return;
    }
    ShowQueueFailures();
}

void TPageConverting::BuildTasks(const TFileListModel& files) {
    GlobalVars.BatchDuration = 0;
    GlobalVars.FailedCount = 0;
    ClearEntries();
    reservedNames_ = TNameReservations();
    std::vector<std::string> names;
    for (int row = 0; row < files.rowCount(); ++row) names.push_back(NameBytes(files.FileFullName(row)));
    // The files are probed on as many threads as run at once; one at a time,
    // each is probed when its turn comes.
    const int parallel = std::clamp(GlobalVars.ParallelTasks, MinParallelTasks, MaxParallelTasks);
    const TOutputTarget target = OutputTarget();
    TBatchProbes probes(names.size(), parallel > 1 ? parallel : 0, [&names, &target](TFFDecoder& probe, size_t i) {
        return ProbeBatchFile(probe, names[i], target);
    });
    for (int row = 0; row < files.rowCount(); ++row) {
        TBatchProbe probed = probes.Take(static_cast<size_t>(row));
        QueueProbed(probed, files.FileFullName(row), files.RealDuration(row), files.Root(row));
    }
}

TOutputTarget TPageConverting::OutputTarget() {
    const TGlobalVars& g = GlobalVars;
    const int preset = g.OutputFormat < OutputFormatCount ? g.Presets[g.OutputFormat] : -1;
    return {g.OutputFileDir, g.OutputFormat, preset, &reservedNames_};
}

void TPageConverting::QueueFile(const QString& path, int64_t durationUs, const QString& root) {
    TBatchProbe probed = ProbeBatchFile(Encoder().Decoder(), NameBytes(path), OutputTarget());
    QueueProbed(probed, path, durationUs, root);
}

void TPageConverting::QueueProbed(TBatchProbe& probed, const QString& path, int64_t durationUs, const QString& root) {
    TOutputTarget target = OutputTarget();
    const TSourceFile source{NameBytes(path), NameBytes(root)};
    // The output's folder is made only for a file that can be read: a file
    // that fails leaves no empty folders behind.
    if (GlobalVars.KeepFolderStructure && !RelativeFolder(source).empty() && probed.File.Loaded) {
        target.Folder = MirroredFolder(source, GlobalVars.OutputFileDir);
        const std::string problem = PrepareOutputFolder(target.Folder);
        if (!problem.empty()) {
            AddEntry({-1, problem}, path, durationUs, probed.DurationUs);
            return;
        }
    }
    AddEntry(QueueProbedFile(Encoder(), probed.File, target), path, durationUs, probed.DurationUs);
}

// The encoder's probe holds the file open: the entry reads its length there.
void TPageConverting::AddConversionTask(const TInputOptions& input, const TOutputOptions& output, int64_t durationUs) {
    TFileStreamInfo info;
    const bool known = Encoder().Decoder().GetFileStreamInfo(info) && info.Duration >= 0;
    AddEntry(AddTaskWithOutput(Encoder(), input, output), NameFromWide(input.FileName), durationUs,
             known ? info.Duration : -1);
}

void TPageConverting::AddEntry(const TQueueResult& queued, const QString& path, int64_t durationUs,
                               int64_t probedDurationUs) {
    if (!queued.Queued()) {
        Log(queued.Error);
        Log("File not queued for conversion: " + NameBytes(path));
        const QString duration =
            durationUs > 0 ? Text(FormatDuration(durationUs)) : QStringLiteral("Duration is not preseted");
        Settle(NewEntry(path, duration, durationUs), eoFailed);
        GlobalVars.FailedCount += 1;
        queueFailures_ << DisplayName(path) + "\n" + DisplayText(queued.Error);
        return;
    }
    QString durationText = QStringLiteral("Duration is not preseted");
    if (probedDurationUs >= 0) {
        durationText = Text(FormatDuration(probedDurationUs));
        GlobalVars.BatchDuration += probedDurationUs;
    }
    QTreeWidgetItem* entry = NewEntry(path, durationText, durationUs);
    if (taskEntries_.size() <= static_cast<size_t>(queued.TaskIndex))
        taskEntries_.resize(static_cast<size_t>(queued.TaskIndex) + 1, nullptr);
    taskEntries_[static_cast<size_t>(queued.TaskIndex)] = entry;
    Log("File has been added to convert list.");
}

QTreeWidgetItem* TPageConverting::NewEntry(const QString& path, const QString& durationText, int64_t durationUs) {
    const QFileInfo file(DisplayName(path));
    QString folder = file.absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    auto* entry = new QTreeWidgetItem({file.fileName(), durationText, QStringLiteral("Waiting"), QString(), folder});
    entry->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    entry->setData(ccName, DurationRole, QVariant::fromValue<qlonglong>(durationUs));
    entry->setData(ccName, OutcomeRole, int(eoPending));
    ListViewConverting->addTopLevelItem(entry);
    return entry;
}

// One box for all of them, however many: a folder that went away must not
// bring up a box per file.
void TPageConverting::ShowQueueFailures() {
    if (queueFailures_.isEmpty()) return;
    QStringList listed = queueFailures_.mid(0, ListedQueueFailures);
    QString text = QStringLiteral("These files could not be converted:\n\n") + listed.join(QStringLiteral("\n\n"));
    if (queueFailures_.size() > listed.size())
        text += QStringLiteral("\n\n... and %1 more (see the log).").arg(queueFailures_.size() - listed.size());
    queueFailures_.clear();
    ShowFailure(text, QString());
}

void TPageConverting::FinishBatch() {
    // The user reads the failure first; the summary follows once the box is closed.
    if (openFailureBoxes_ > 0) {
        finishPending_ = true;
        return;
    }
    finishPending_ = false;
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
    stopping_ = true;
    // Waiting keeps serving the main-thread hand-offs, so the tasks' progress
    // and end records still reach the page while it stops.
    if (encoder_) encoder_->Stop(true);
    return true;
}
