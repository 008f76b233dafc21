// Page 1's add operations: the add-files dialog, drops, probing each file into
// a row, and the report of the files that could not be added.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>

#include "AddFailed.h"
#include "AudioIcon.h"
#include "Exception.h"
#include "FFDecode.h"
#include "FileDialog.h"
#include "FileNames.h"
#include "FileRowDelegate.h"
#include "PageInputList.h"
#include "UtilFuncsGui.h"
#include "globals.h"
#include "MessageDlg.h"

namespace {

// The busy cursor for as long as the object lives.
class TBusyGuard {
public:
    TBusyGuard() { BeginBusy(); }
    ~TBusyGuard() { EndBusy(); }
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;
};

// The list does not repaint while rows are added one by one.
class TUpdatesSuspended {
public:
    explicit TUpdatesSuspended(QWidget* widget) : widget_(widget) { widget_->setUpdatesEnabled(false); }
    ~TUpdatesSuspended() { widget_->setUpdatesEnabled(true); }
    TUpdatesSuspended(const TUpdatesSuspended&) = delete;
    TUpdatesSuspended& operator=(const TUpdatesSuspended&) = delete;

private:
    QWidget* widget_;
};

} // namespace

void TPageInputList::ActionAddExecute() {
    if (!decoder_) return;
    OpenDialog->setDirectory(NameFromBytes(GlobalVars.LastOpenDir));
    if (OpenDialog->exec() != QDialog::Accepted) return;
    AddSelectedFiles(OpenDialog->ChosenFiles());
}

void TPageInputList::AddSelectedFiles(const QStringList& fileNames) {
    if (fileNames.isEmpty()) return;
    try {
        TBusyGuard busy;
        AddFiles(fileNames);
        // Several names in the name field would all be chosen again next time.
        if (fileNames.size() > 1) ClearOpenDialogFileName();
        GlobalVars.LastOpenDir = NameBytes(QFileInfo(fileNames.first()).absolutePath());
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TPageInputList::AddDroppedFiles(const QStringList& fileNames) {
    try {
        TBusyGuard busy;
        AddFiles(fileNames);
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TPageInputList::AddFiles(const QStringList& fileNames) {
    if (!decoder_) throw Exception("The media libraries are not loaded; no file can be added.");
    TGlobalVars& g = GlobalVars;
    g.FailedFiles.clear();
    // Lets the window repaint where the dialog or the drag was.
    QCoreApplication::processEvents();
    {
        TUpdatesSuspended suspended(NextGrid);
        const TFileRowLook look = RowLook();
        for (const QString& name : fileNames) {
            TFileRow row;
            if (!BuildFileRow(*decoder_, name, look, row)) {
                const std::string error = decoder_->LastErrMsg();
                g.LogLines.push_back("File load error: " + error);
                g.FailedFiles.push_back(error);
                continue;
            }
            Thumbnails.push_back(row.Picture);
            model_->AppendRow(std::move(row));
        }
    }
    if (!g.FailedFiles.empty()) ShowFailedAddFile();
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
// (busy cursor gone, folder remembered) while the user reads them.
void TPageInputList::ShowFailedAddFile() {
    delete FormFailedAddFile.data();
    auto* form = new TFormFailedAddFile(GlobalVars.FailedFiles, host_);
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
