// Page 3's run: the batch runner on a thread of the page's own, the files
// handed to it, its events brought to the main thread, cancelling it, and
// handing its end to the main window.
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "BatchRun.h"
#include "Exception.h"
#include "FFLoad.h"
#include "FileListModel.h"
#include "FileNames.h"
#include "LoudnessChoice.h"
#include "MainThread.h"
#include "MessageDlg.h"
#include "PageConverting.h"
#include "PageConvertingEvents.h"
#include "SourceFiles.h"
#include "SourceTrack.h"
#include "UtilFuncs.h"
#include "UtilFuncsGui.h"
#include "WizardEvents.h"
#include "globals.h"

namespace {

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

// The failure box names this many files that could not be queued; the log has them all.
constexpr int ListedQueueFailures = 10;

// The length page 1 recorded for a file (0: unknown).
QString DurationText(int64_t durationUs) {
    return durationUs > 0 ? Text(FormatDuration(durationUs)) : QStringLiteral("Duration is not preseted");
}

// Page 2's loudness choice as the runner takes it; a stored index the list
// does not have keeps the loudness as it is.
TLoudnessChoice LoudnessChoiceOf(int32_t index) {
    TLoudnessChoice choice;
    const auto& targets = NormaliseTargets();
    const auto count = static_cast<int32_t>(targets.size());
    if (index == lcReplayGain) choice.ReplayGain = true;
    else if (index >= lcNormalise23 && index - lcNormalise23 < count)
        choice.NormaliseTo = targets[index - lcNormalise23];
    else if (index >= lcNormaliseAlbums23 && index - lcNormaliseAlbums23 < count) {
        choice.NormaliseTo = targets[index - lcNormaliseAlbums23];
        choice.NormaliseAlbums = true;
    }
    return choice;
}

bool LibrariesLoaded() { return FFLoader() && FFLoader()->AllLoaded(EngineLibraries); }

} // namespace

void TPageConverting::PrepareRun() {
    starting_ = true;
    stopping_ = false;
}

void TPageConverting::StartConvert(const TFileListModel& files) {
    if (!starting_ || run_) return;
    if (cancelQuestion_) {
        deferredStart_ = &files;
        return;
    }
    starting_ = false;
    // Page 3 is painted before the batch begins.
    QCoreApplication::processEvents();
    if (!LibrariesLoaded()) {
        // Nothing has started: the batch ends here, with the reason shown.
        const Exception e("The media libraries are not loaded; nothing can be converted.");
        Log(e.what());
        ShowErrorMessage(host_, e);
        FinishBatch();
        return;
    }
    BeginBatch(files);
    if (stopping_) {
        // Stopped before it started: every file is stopped.
        StopUnsettledEntries();
        FinishBatch();
        return;
    }
    StartRunner(files);
}

void TPageConverting::BeginBatch(const TFileListModel& files) {
    vars_.BatchDuration = 0;
    vars_.FailedCount = 0;
    ClearEntries();
    ShowRestTexts();
    for (int row = 0; row < files.rowCount(); ++row)
        NewEntry(files.FileFullName(row), files.RealDuration(row), files.Track(row));
}

void TPageConverting::StartRunner(const TFileListModel& files) {
    const TGlobalVars& g = vars_;
    TBatchSettings settings;
    // A stored code beyond the audio formats (a hand-edited file) names no format here,
    // even where the shared table goes on with the command line's video containers.
    const bool known = g.OutputFormat < OutputFormatCount;
    settings.Format = known ? g.OutputFormat : -1;
    settings.Preset = known ? g.Presets[g.OutputFormat] : -1;
    settings.Jobs = std::clamp(g.ParallelTasks, MinParallelTasks, MaxParallelTasks);
    // "Convert" has made the output folder; the folders of a kept structure
    // are made when their first file that can be read needs them.
    settings.MakeFolders = g.KeepFolderStructure;
    settings.Loudness = LoudnessChoiceOf(g.Loudness);
    events_ = std::make_unique<TPageBatchEvents>(
        [this](bool last) {
            QMetaObject::invokeMethod(this, [this, last] { last ? TakeEvents() : EventsArrived(); }, Qt::QueuedConnection);
        });
    run_ = std::make_unique<TBatchRun>(std::move(settings), *events_);
    for (int row = 0; row < files.rowCount(); ++row) {
        const QString path = files.FileFullName(row);
        run_->Append({NameBytes(path), OutputFolderOf(path, files.Root(row)), files.Track(row), {}, files.PlainPcmAt(row)});
    }
    vars_.BatchStartTime = Clock();
    runReturned_ = false;
    runError_.clear();
    // Run() blocks its caller until the batch has ended.
    runThread_ = std::thread([this, run = run_.get(), events = events_.get()] {
        try {
            run->Run();
        } catch (const std::exception& e) {
            runError_ = e.what();
            events->Summary({});
        }
        runReturned_ = true;
    });
    refreshTimer_->start(StatusRefreshMs > 0 ? StatusRefreshMs : 50);
}

std::string TPageConverting::OutputFolderOf(const QString& path, const QString& root) const {
    TSourceFile source;
    source.Path = NameBytes(path);
    source.Root = NameBytes(root);
    if (vars_.KeepFolderStructure && !RelativeFolder(source).empty())
        return MirroredFolder(source, vars_.OutputFileDir);
    return vars_.OutputFileDir;
}

bool TPageConverting::QueueFile(const QString& path, int64_t durationUs, const QString& root,
                                const std::optional<TSourceTrack>& track) {
    // The file's index in the batch is the number of entries before it.
    if (!run_ || !run_->Append({NameBytes(path), OutputFolderOf(path, root), track, {}})) return false;
    NewEntry(path, durationUs, track);
    StatusChanged();
    return true;
}

// A track is named as its output will be, in the folder of its image.
QTreeWidgetItem* TPageConverting::NewEntry(const QString& path, int64_t durationUs,
                                           const std::optional<TSourceTrack>& track) {
    const QFileInfo file(DisplayName(path));
    QString folder = file.absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    const QString durationText = DurationText(durationUs);
    const QString name = track ? QString::fromUtf8(TrackOutputStem(*track).c_str()) : file.fileName();
    auto* entry = new QTreeWidgetItem({name, durationText, QStringLiteral("Waiting"), QString(), folder});
    entry->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (track) entry->setData(ccName, TrackRole, name);
    entry->setData(ccName, DurationRole, QVariant::fromValue<qlonglong>(durationUs));
    entry->setData(ccName, OutcomeRole, int(eoPending));
    entry->setData(ccName, PathRole, path);
    // Whole, for a column too narrow to show it; a track with its image.
    entry->setToolTip(ccName, track ? SourceText(entry) : name);
    entry->setToolTip(ccDuration, durationText);
    entry->setToolTip(ccPath, folder);
    ListViewConverting->addTopLevelItem(entry);
    entries_.push_back(entry);
    if (durationUs > 0) vars_.BatchDuration += durationUs;
    return entry;
}

QString TPageConverting::SourceText(const QTreeWidgetItem* entry) {
    const QString track = entry->data(ccName, TrackRole).toString();
    if (track.isEmpty()) return entry->text(ccPath) + entry->text(ccName);
    const QString image = QFileInfo(DisplayName(entry->data(ccName, PathRole).toString())).fileName();
    return entry->text(ccPath) + image + QStringLiteral(": ") + track;
}

// With many short files the events come every few milliseconds; taking and
// painting each at once would cost the conversions a good part of a core.
void TPageConverting::EventsArrived() {
    if (eventsTimer_->isActive()) return;
    const qint64 since = eventsTaken_.isValid() ? eventsTaken_.elapsed() : EventsRefreshMs;
    if (since >= EventsRefreshMs) TakeEvents();
    else eventsTimer_->start(static_cast<int>(EventsRefreshMs - since));
}

void TPageConverting::TakeEvents() {
    // The call under way, held by a box, goes on once the box is closed.
    if (takingEvents_) return;
    takingEvents_ = true;
    eventsTaken_.start();
    // EndRun lets the batch go meanwhile: what it told is then dropped.
    TPageBatchEvents* const events = events_.get();
    while (events && events == events_.get()) {
        const std::vector<TPageBatchEvent> taken = events->Take();
        if (taken.empty()) break;
        for (const TPageBatchEvent& event : taken) {
            if (events != events_.get()) break;
            switch (event.Kind) {
            case TPageBatchEvent::Queued: FileQueued(event.End.Index); break;
            case TPageBatchEvent::Started: FileStarted(event.End.Index); break;
            case TPageBatchEvent::Finished: FileFinished(event.End); break;
            case TPageBatchEvent::AlbumTagged: AlbumTagged(event.Album); break;
            case TPageBatchEvent::Ended: BatchEnded(); break;
            }
        }
    }
    takingEvents_ = false;
}

void TPageConverting::ReleaseRunner() {
    if (!run_) return;
    // Run() returns as soon as it has told the end. Its threads may hand log
    // lines to this one meanwhile.
    while (!runReturned_) CheckSynchronize(5);
    runThread_.join();
    run_.reset();
    events_.reset();
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
    queueFailureCame_ = false;
    ShowFailure(text, QString());
}

void TPageConverting::FinishBatch() {
    // The user reads the failures first; the summary follows once the boxes
    // are closed.
    if (openFailureBoxes_ > 0 || !queueFailures_.isEmpty()) {
        finishPending_ = true;
        if (openFailureBoxes_ == 0) ShowQueueFailures();
        return;
    }
    finishPending_ = false;
    QCoreApplication::postEvent(host_, new QEvent(WM_CONVERTDONE));
}

bool TPageConverting::CancelConversion() {
    if (!AskCancelConversion()) return false;
    StopRun();
    return true;
}

bool TPageConverting::AskCancelConversion() {
    QMessageBox question(QMessageBox::Question, Text(ApplicationTitle()),
                         QStringLiteral("Do you really want to cancel the conversion?"),
                         QMessageBox::Yes | QMessageBox::No, host_);
    cancelQuestion_ = &question;
    const bool yes = question.exec() == QMessageBox::Yes;
    cancelQuestion_ = nullptr;
    if (yes) stopping_ = true;
    // Stopped, the batch starts nothing and ends at once.
    if (const TFileListModel* files = std::exchange(deferredStart_, nullptr)) StartConvert(*files);
    return yes;
}

// A stop that comes before the batch starts is kept: the start looks at it.
// The runner ends the running files and reports every file, then the end.
void TPageConverting::StopRun() {
    stopping_ = true;
    if (run_) run_->Stop();
}

void TPageConverting::EndRun() {
    // A batch being started (its page being painted) starts nothing.
    starting_ = false;
    stopping_ = true;
    deferredStart_ = nullptr;
    if (run_) run_->Stop();
    ReleaseRunner();
    if (!runError_.empty()) Log(std::exchange(runError_, {}));
    DropStatusRefresh();
}
