// Moving through the wizard: the buttons of each page, the reset to an empty
// page 1, and what follows the end of a batch (the sound, the timed shut-down,
// the summary on page 4).
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <filesystem>

#include "EndSound.h"
#include "FormShutdown.h"
#include "FormMain.h"
#include "OutputNaming.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "PowerControl.h"
#include "UtilFuncs.h"
#include "UtilFuncsGui.h"
#include "WizardEvents.h"

namespace {

enum TWizardPage { wpInputList, wpOutput, wpConverting, wpFinish };

QString Title() { return QString::fromLocal8Bit(ApplicationTitle().c_str()); }

} // namespace

void TFormMain::ActionNextExecute() {
    // Pages 1 and 2 wait for a running add ("Next" and "Convert" are disabled
    // meanwhile): a batch never starts with half a list.
    if (PageControlMain->currentIndex() <= wpOutput && TabSheetStep1->Adding()) return;
    switch (PageControlMain->currentIndex()) {
    case wpInputList:
        if (TabSheetStep1->Model()->rowCount() == 0) {
            Inform(QStringLiteral("Please add the audio/video files you want to convert!"));
            return;
        }
        PageControlMain->setCurrentIndex(wpOutput);
        UpdatePageCaptions();
        ApplyOutputSettings();
        break;
    case wpOutput:
        ConvertExecute();
        break;
    case wpFinish:
        ResetWizard();
        UpdatePageCaptions();
        break;
    default:
        break;  // page 3 has "Next" disabled
    }
}

void TFormMain::ActionBackExecute() {
    if (PageControlMain->currentIndex() != wpOutput) return;
    PageControlMain->setCurrentIndex(wpInputList);
    UpdatePageCaptions();
    TabSheetStep1->FocusList();
}

void TFormMain::ActionExitExecute() {
    switch (PageControlMain->currentIndex()) {
    case wpOutput:
        if (Ask("Are you sure to cancel?")) {
            ResetWizard();
            UpdatePageCaptions();
        }
        break;
    case wpConverting:
        // The stopped run ends through the usual end-of-batch path, on page 4.
        if (TabSheetStep3->CancelConversion()) UpdatePageCaptions();
        break;
    default:
        if (Ask("Are you sure to quit now?")) {
            quitConfirmed_ = true;
            if (!close()) quitConfirmed_ = false;
        }
        break;
    }
}

// "Convert" on page 2. A second "Convert" while the folder is checked is
// ignored; once page 3 shows, "Next" is disabled and a second start message
// finds nothing to start.
void TFormMain::ConvertExecute() {
    if (convertStarting_) return;
    convertStarting_ = true;
    struct TStarted {
        bool& flag;
        ~TStarted() { flag = false; }
    } started{convertStarting_};
    TabSheetStep2->ReadOutputSettings();
    SaveChoices(true);
    // An empty folder name means the current folder, as it does for the outputs.
    const std::string& chosen = vars_.OutputFileDir;
    const std::filesystem::path folder = chosen.empty() ? std::filesystem::path(".") : std::filesystem::path(chosen);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        Inform(QStringLiteral("Fail to create directory! Please check if output folder have the right format!"));
        return;
    }
    // Where the outputs go, for "Open folder": an empty name is the current folder.
    const std::filesystem::path written =
        chosen.empty() ? std::filesystem::current_path(ec) : std::filesystem::absolute(folder, ec);
    batchOutputDir_ = written.empty() ? chosen : IncludeBackslash(written.string());
    // Page 3 first: what the window does meanwhile is meant for the batch, and
    // a "Cancel" confirmed from now on stops it.
    PageControlMain->setCurrentIndex(wpConverting);
    UpdatePageCaptions();
    TabSheetStep3->LoadPostOptions();
    TabSheetStep3->PrepareRun();
    QCoreApplication::processEvents();
    // Posted, so that page 3 is painted before the files are queued.
    QCoreApplication::postEvent(this, new QEvent(WM_STARTCONVERT));
}

void TFormMain::WMStartConvert() { TabSheetStep3->StartConvert(*TabSheetStep1->Model()); }

void TFormMain::WMConvertDone() {
    // A batch stopped by closing the window ends with it.
    if (closed_) return;
    if (vars_.PlayASoundWhenFinished) {
        const TPageConverting::TBatchTotals totals = TabSheetStep3->Totals();
        endSound_->Play(QString::fromLocal8Bit(EndSoundFile(appDir_, totals.Failed, totals.Stopped).c_str()));
    }
    if (vars_.ShutDownWhenFinished) {
        TFormShutdown countdown(this);
        countdown.CenterOn(this);
        if (countdown.exec() == QDialog::Accepted) ShutdownComputer(1, *PowerRequests);
    }
    ShowSummary();
}

void TFormMain::ShowSummary() {
    PageControlMain->setCurrentIndex(wpFinish);
    UpdatePageCaptions();
    // Every file of page 1 counts once: converted, failed (also when it could
    // not be queued), or stopped (cut short, or never started).
    const TPageConverting::TBatchTotals totals = TabSheetStep3->Totals();
    LabelFinishTotalFiles->setText(QString::number(totals.Total));
    LabelFinishSuccessed->setText(QString::number(totals.Succeeded));
    LabelFinishFailed->setText(QString::number(totals.Failed));
    LabelFinishStopped->setText(QString::number(totals.Stopped));
    LabelFinishStoppedCaption->setVisible(totals.Stopped > 0);
    LabelFinishStopped->setVisible(totals.Stopped > 0);
    LabelFinishWarned->setText(QString::number(totals.Warned));
    LabelFinishWarnedCaption->setVisible(totals.Warned > 0);
    LabelFinishWarned->setVisible(totals.Warned > 0);
    ShowUnfinishedFiles();
    // "Finish" is what most want next; Enter presses it.
    ButtonNext->setFocus();
}

// Each file that did not convert, and what became of it: the reason it
// failed, or what a stopped one kept (under a name that says it is not the
// whole song).
void TFormMain::ShowUnfinishedFiles() {
    ListViewUnfinished->clear();
    const std::vector<TPageConverting::TUnfinishedFile> files = TabSheetStep3->UnfinishedFiles();
    for (const TPageConverting::TUnfinishedFile& file : files) {
        QString details;
        if (file.Failed) details = file.Error.section('\n', 0, 0);
        else if (!file.Kept.isEmpty()) details = QStringLiteral("Kept as ") + QFileInfo(file.Kept).fileName();
        else if (file.Started) details = QStringLiteral("Nothing was kept");
        else details = QStringLiteral("Not started");
        auto* item = new QTreeWidgetItem(
            {file.Name, file.Failed ? QStringLiteral("Failed") : QStringLiteral("Stopped"), details});
        item->setToolTip(0, file.Folder + file.Name);
        item->setToolTip(2, file.Failed ? file.Error : file.Kept.isEmpty() ? details : file.Kept);
        ListViewUnfinished->addTopLevelItem(item);
    }
    ListViewUnfinished->resizeColumnToContents(1);
    LabelFinishUnfinished->setVisible(!files.empty());
    ListViewUnfinished->setVisible(!files.empty());
}

void TFormMain::ResetWizard() {
    TabSheetStep3->ResetPage();
    for (QLabel* label :
         {LabelFinishTotalFiles, LabelFinishSuccessed, LabelFinishFailed, LabelFinishStopped, LabelFinishWarned})
        label->setText(QStringLiteral("0"));
    for (QLabel* label : {LabelFinishStoppedCaption, LabelFinishStopped, LabelFinishWarnedCaption, LabelFinishWarned,
                          LabelFinishUnfinished})
        label->hide();
    ListViewUnfinished->clear();
    ListViewUnfinished->hide();
    TGlobalVars& g = vars_;
    g.FailedFiles.clear();
    g.FailedCount = 0;
    g.FinishedDuration = 0;
    g.BatchDuration = 0;
    TabSheetStep1->ActionClearExecute();
    PageControlMain->setCurrentIndex(wpInputList);
    TabSheetStep1->FocusList();
}

void TFormMain::LabelOpenFolderClick() {
    ShellOpen(batchOutputDir_.empty() ? vars_.OutputFileDir : batchOutputDir_, this);
}

bool TFormMain::Ask(const char* question) {
    return QMessageBox::question(this, Title(), QString::fromUtf8(question), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TFormMain::Inform(const QString& text) { QMessageBox::information(this, Title(), text); }
