// Page 1's add operations: the add-files and add-folder dialogs, drops and the
// command line, the rows the adder hands over, the progress line, and the
// report of the files that could not be added.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "AddFailed.h"
#include "AudioIcon.h"
#include "Exception.h"
#include "FileAdder.h"
#include "FileDialog.h"
#include "FileNames.h"
#include "FileRowDelegate.h"
#include "PageInputList.h"
#include "UtilFuncsGui.h"
#include "globals.h"
#include "MessageDlg.h"

void TPageInputList::ActionAddExecute() {
    if (!decoder_) return;
    OpenDialog->setDirectory(NameFromBytes(vars_.LastOpenDir));
    const bool accepted = OpenDialog->exec() == QDialog::Accepted;
    FocusList();
    if (accepted) AddSelectedFiles(OpenDialog->ChosenFiles());
}

void TPageInputList::ActionAddFolderExecute() {
    if (!decoder_) return;
    FolderDialog->setDirectory(NameFromBytes(vars_.LastOpenDir));
    const bool accepted = FolderDialog->exec() == QDialog::Accepted;
    FocusList();
    if (!accepted) return;
    const QStringList chosen = FolderDialog->ChosenFiles();
    if (!chosen.isEmpty()) AddSelectedFolder(chosen.first());
}

void TPageInputList::AddSelectedFiles(const QStringList& fileNames) {
    if (fileNames.isEmpty()) return;
    try {
        AddFiles(fileNames);
        // Several names in the name field would all be chosen again next time.
        if (fileNames.size() > 1) ClearOpenDialogFileName();
        vars_.LastOpenDir = NameBytes(QFileInfo(fileNames.first()).absolutePath());
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

// The next dialog opens where the chosen folder lies, beside its siblings.
void TPageInputList::AddSelectedFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    try {
        AddFiles({folder});
        vars_.LastOpenDir = NameBytes(QFileInfo(QDir::cleanPath(folder)).absolutePath());
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TPageInputList::AddDroppedFiles(const QStringList& fileNames) {
    if (fileNames.isEmpty()) return;
    try {
        AddFiles(fileNames);
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TPageInputList::AddCommandLineFiles(const QStringList& fileNames) { AddDroppedFiles(fileNames); }

void TPageInputList::AddFiles(const QStringList& fileNames) {
    if (!decoder_) throw Exception("The media libraries are not loaded; no file can be added.");
    const bool starting = !adder_->Running();
    if (starting) {
        look_ = RowLook();
        failures_.clear();
        reportFailures_ = true;
    }
    adder_->Add(fileNames, look_.DevicePictureArea());
    if (!starting) return;
    AddProgress();
    PanelAdding->show();
    emit AddingChanged();
}

bool TPageInputList::Adding() const { return adder_->Running(); }

void TPageInputList::StopAdding() { adder_->Stop(); }

void TPageInputList::CancelAdding() {
    if (!adder_->Running()) return;
    reportFailures_ = false;
    adder_->Stop();
}

void TPageInputList::AddedFile(TProbedRow& file) {
    if (!file.Opened) {
        vars_.LogLines.push_back("File load error: " + file.Error);
        failures_.push_back(file.Error);
        return;
    }
    // Its sheet could not be read: it is listed whole, and the user is told why.
    if (!file.TracksProblem.empty()) {
        vars_.LogLines.push_back(file.TracksProblem);
        failures_.push_back(file.TracksProblem);
    }
    for (TFileRow& row : MakeFileRows(std::move(file), look_, vars_.SplitChapters)) model_->AppendRow(std::move(row));
}

void TPageInputList::SplitChapters(bool split) {
    if (model_->rowCount() == 0) return;
    std::vector<TFileRow> rows = RegroupChapterRows(model_->Rows(), split);
    // The list changes only when a file with chapters is in it.
    bool same = rows.size() == static_cast<size_t>(model_->rowCount());
    for (size_t i = 0; same && i < rows.size(); ++i)
        same = rows[i].Track.has_value() == model_->Row(static_cast<int>(i)).Track.has_value();
    if (!same) model_->ResetRows(std::move(rows));
}

void TPageInputList::AddProgress() {
    const int found = adder_->Found();
    if (found == 0 && adder_->Searching()) {
        LabelAdding->setText(QStringLiteral("Searching for files\u2026"));
        return;
    }
    LabelAdding->setText(QStringLiteral("Adding %1 of %2 files\u2026").arg(adder_->Settled()).arg(found));
}

// A stopped add reports the failures among the files it got to.
void TPageInputList::AddDone(bool /*stopped*/) {
    // "Stop" goes with the line it is on.
    if (ButtonStopAdding->hasFocus()) FocusList();
    PanelAdding->hide();
    vars_.FailedFiles = std::move(failures_);
    failures_.clear();
    if (reportFailures_ && !vars_.FailedFiles.empty()) ShowFailedAddFile();
    emit AddingChanged();
}

TFileRowLook TPageInputList::RowLook() const {
    TFileRowLook look;
    look.AudioIcon = ImageAudioIcon->pixmap();
    // The file name is measured in the bold font it is drawn in.
    look.NameFont = NextGrid->font();
    look.NameFont.setBold(true);
    look.NameWidth = TFileRowDelegate::TextWidth;
    look.PictureArea = QSize(TFileRowDelegate::PictureWidth, TFileRowDelegate::PictureHeight);
    look.DevicePixelRatio = NextGrid->devicePixelRatioF();
    return look;
}

// Modal to the main window, centred on it. It is opened rather than run in a
// nested event loop, so the add operation that found the failures is complete
// while the user reads them.
void TPageInputList::ShowFailedAddFile() {
    delete FormFailedAddFile.data();
    auto* form = new TFormFailedAddFile(vars_.FailedFiles, vars_.HelpAddress, host_);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowModality(Qt::WindowModal);
    form->adjustSize();
    const QRect main = host_->frameGeometry();
    form->move(main.left() + (main.width() - form->width()) / 2, main.top() + (main.height() - form->height()) / 2);
    FormFailedAddFile = form;
    form->open();
}

// Qt's dialog keeps the chosen names in its name field.
void TPageInputList::ClearOpenDialogFileName() {
    if (auto* edit = OpenDialog->findChild<QLineEdit*>("fileNameEdit")) edit->clear();
}

void TPageInputList::ShowError(const std::exception& e) {
    ShowErrorMessage(host_, e);
}
