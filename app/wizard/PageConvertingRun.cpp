// Page 3's run: queueing the batch on the encoder, starting it, naming the
// files that could not be queued, cancelling it, and handing its end to the
// main window.
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "BatchProbes.h"
#include "Exception.h"
#include "FileListModel.h"
#include "FileNames.h"
#include "MainThread.h"
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

// The length page 1 recorded for a file (0: unknown).
QString DurationText(int64_t durationUs) {
    return durationUs > 0 ? Text(FormatDuration(durationUs)) : QStringLiteral("Duration is not preseted");
}

} // namespace

TFFEncoder& TPageConverting::Encoder() {
    if (!encoder_) throw Exception("The media libraries are not loaded; nothing can be converted.");
    return *encoder_;
}

void TPageConverting::PrepareRun() {
    starting_ = true;
    stopping_ = false;
}

void TPageConverting::StartConvert(const TFileListModel& files) {
    if (!starting_) return;
    if (cancelQuestionOpen_) {
        deferredStart_ = &files;
        return;
    }
    // Page 3 is painted before the probing keeps the window busy.
    QCoreApplication::processEvents();
    bool failed = false;
    try {
        const int parallel = std::clamp(GlobalVars.ParallelTasks, MinParallelTasks, MaxParallelTasks);
        if (!stopping_ && parallel > 1 && files.rowCount() >= 2 * parallel) {
            BuildTasksInLanes(files, parallel);
        } else {
            BuildTasks(files);
            if (!stopping_) {
                GlobalVars.BatchStartTime = Clock();
                // An empty task list ends at once with the all-ended record, so a
                // batch in which no file could be queued reaches page 4 as well.
                StartLane(Encoder(), 0, static_cast<int>(taskEntries_.size()), parallel);
            }
        }
    } catch (const std::exception& e) {
        // Nothing has started: the batch ends here, with the reason shown.
        Log(e.what());
        ShowErrorMessage(host_, e);
        ReleaseSecondLane();
        failed = true;
    }
    starting_ = false;
    if (failed) {
        FinishBatch();
        return;
    }
    if (nextTaskToStart_ >= 0 && firstLaneEnded_) LaneTerminate(0, TTerminateInfo{-1, true, false, {}, {}, {}, {}});
    ShowQueueFailures();
    // Stopped before its first lane started, the batch ends here; a lane that
    // started ends through its records.
    if (nextTaskToStart_ < 0) EndUnstartedBatch();
    else if (finishPending_ && openFailureBoxes_ == 0) FinishBatch();
}

void TPageConverting::EndUnstartedBatch() {
    StopUnsettledEntries();
    DropStatusRefresh();
    ShowRestTexts();
    FinishBatch();
}

std::vector<std::string> TPageConverting::BeginBatch(const TFileListModel& files) {
    GlobalVars.BatchDuration = 0;
    GlobalVars.FailedCount = 0;
    ClearEntries();
    ReleaseSecondLane();
    reservedNames_ = TNameReservations();
    std::vector<std::string> names;
    for (int row = 0; row < files.rowCount(); ++row) names.push_back(NameBytes(files.FileFullName(row)));
    return names;
}

void TPageConverting::BuildTasks(const TFileListModel& files) {
    const std::vector<std::string> names = BeginBatch(files);
    // The files are probed on as many threads as run at once; one at a time,
    // each is probed when its turn comes.
    const int parallel = std::clamp(GlobalVars.ParallelTasks, MinParallelTasks, MaxParallelTasks);
    const TOutputTarget target = OutputTarget();
    TBatchProbes probes(names.size(), parallel > 1 ? parallel : 0, [&names, &target](TFFDecoder& probe, size_t i) {
        return ProbeBatchFile(probe, names[i], target);
    });
    QueueRows(files, probes, 0, files.rowCount(), Encoder(), false);
}

void TPageConverting::BuildTasksInLanes(const TFileListModel& files, int parallel) {
    const std::vector<std::string> names = BeginBatch(files);
    const TOutputTarget target = OutputTarget();
    TBatchProbes probes(names.size(), parallel, [&names, &target](TFFDecoder& probe, size_t i) {
        return ProbeBatchFile(probe, names[i], target);
    });
    // Queueing a file takes a fraction of converting it: while the first
    // quarter converts, the rest is queued.
    const int split = std::max(parallel, files.rowCount() / 4);
    QueueRows(files, probes, 0, split, Encoder(), false);
    if (stopping_) {
        QueueRows(files, probes, split, files.rowCount(), Encoder(), false);
        return;
    }
    const int firstLaneTasks = static_cast<int>(taskEntries_.size());
    GlobalVars.BatchStartTime = Clock();
    StartLane(Encoder(), 0, firstLaneTasks, parallel);
    secondLane_ = std::make_unique<TFFEncoder>();
    secondAttached_ = std::make_shared<std::atomic<bool>>(true);
    secondFirstTask_ = firstLaneTasks;
    AttachHandlers(*secondLane_, 1, firstLaneTasks, secondAttached_);
    queueOffset_ = firstLaneTasks;
    // The first lane's progress records wait for this thread: they are
    // served between files.
    QueueRows(files, probes, split, files.rowCount(), *secondLane_, true);
    queueOffset_ = 0;
}

void TPageConverting::QueueRows(const TFileListModel& files, TBatchProbes& probes, int first, int last,
                                TFFEncoder& encoder, bool serveRecords) {
    for (int row = first; row < last; ++row) {
        if (stopping_) {
            Settle(NewEntry(files.FileFullName(row), DurationText(files.RealDuration(row)), files.RealDuration(row)),
                   eoStopped);
            continue;
        }
        TBatchProbe probed = probes.Take(static_cast<size_t>(row));
        QueueProbed(probed, files.FileFullName(row), files.RealDuration(row), files.Root(row), encoder);
        if (serveRecords) CheckSynchronize(0);
    }
}

// The engine starts the first `parallel` tasks at once and the next one
// whenever a task ends, in queue order; their records reach the page later,
// from the event loop.
void TPageConverting::StartLane(TFFEncoder& encoder, int firstTask, int endTask, int parallel) {
    encoder.StartTask(parallel);
    nextTaskToStart_ = firstTask;
    laneEnd_ = endTask;
    while (nextTaskToStart_ < std::min(firstTask + parallel, endTask)) TaskStarted(nextTaskToStart_++);
    StatusChanged();
}

void TPageConverting::StartSecondLane() {
    secondStarted_ = true;
    const int parallel = std::clamp(GlobalVars.ParallelTasks, MinParallelTasks, MaxParallelTasks);
    try {
        StartLane(*secondLane_, secondFirstTask_, static_cast<int>(taskEntries_.size()), parallel);
    } catch (const std::exception& e) {
        Log(e.what());
        ShowErrorMessage(host_, e);
        LaneTerminate(1, TTerminateInfo{-1, false, false, {}, {}, {}, {}});
    }
}

TOutputTarget TPageConverting::OutputTarget() {
    const TGlobalVars& g = GlobalVars;
    // A stored code beyond the eight (a hand-edited file) names no format here,
    // even where the shared table goes on with the command line's video containers.
    const bool known = g.OutputFormat < OutputFormatCount;
    return {g.OutputFileDir, known ? g.OutputFormat : -1, known ? g.Presets[g.OutputFormat] : -1, &reservedNames_};
}

void TPageConverting::QueueFile(const QString& path, int64_t durationUs, const QString& root) {
    TBatchProbe probed = ProbeBatchFile(Encoder().Decoder(), NameBytes(path), OutputTarget());
    QueueProbed(probed, path, durationUs, root, Encoder());
}

void TPageConverting::QueueProbed(TBatchProbe& probed, const QString& path, int64_t durationUs, const QString& root,
                                  TFFEncoder& encoder) {
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
    AddEntry(QueueProbedFile(encoder, probed.File, target), path, durationUs, probed.DurationUs);
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
        Settle(NewEntry(path, DurationText(durationUs), durationUs), eoFailed);
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
    const size_t task = static_cast<size_t>(queueOffset_ + queued.TaskIndex);
    if (taskEntries_.size() <= task) taskEntries_.resize(task + 1, nullptr);
    taskEntries_[task] = entry;
    Log("File has been added to convert list.");
}

QTreeWidgetItem* TPageConverting::NewEntry(const QString& path, const QString& durationText, int64_t durationUs) {
    const QFileInfo file(DisplayName(path));
    QString folder = file.absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    auto* entry = new QTreeWidgetItem({file.fileName(), durationText, QStringLiteral("Waiting"), QString(), folder});
    entry->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    // Whole, for a column too narrow to show it.
    entry->setToolTip(ccName, file.fileName());
    entry->setToolTip(ccDuration, durationText);
    entry->setToolTip(ccPath, folder);
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
    // The user reads the failure first; the summary follows once the box is
    // closed. A batch still being queued ends once it is queued.
    if (openFailureBoxes_ > 0 || starting_) {
        finishPending_ = true;
        return;
    }
    finishPending_ = false;
    if (encoder_) ClearEncoderTasks();
    ReleaseSecondLane();
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
    if (!AskCancelConversion()) return false;
    StopRun();
    return true;
}

bool TPageConverting::AskCancelConversion() {
    cancelQuestionOpen_ = true;
    const bool yes = QMessageBox::question(host_, Text(ApplicationTitle()),
                                           QStringLiteral("Do you really want to cancel the conversion?"),
                                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    cancelQuestionOpen_ = false;
    if (yes) stopping_ = true;
    // Stopped, the batch queues nothing and ends at once.
    if (const TFileListModel* files = std::exchange(deferredStart_, nullptr)) StartConvert(*files);
    return yes;
}

// A stop that comes while the batch is queued (or before) is kept: the
// queueing and the start look at it.
void TPageConverting::StopRun() {
    stopping_ = true;
    // Waiting keeps serving the main-thread hand-offs, so the tasks' progress
    // and end records still reach the page while it stops.
    if (encoder_) encoder_->Stop(true);
    if (secondLane_ && secondStarted_) secondLane_->Stop(true);
}
