// A file whose name is not valid UTF-8, as the desktop program meets it: a
// drop and the add-files dialog hand it over byte for byte, the lists show the
// byte escaped, and the batch writes the output under the same bytes.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

#include "GuiTestSupport.h"
#include "FileDrop.h"
#include "FileNames.h"
#include "Fixtures.h"
#include "FormMain.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "globals.h"

namespace {

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

class NonUtf8NamesTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;

    // "café" in Latin-1: 0xE9 alone is no UTF-8.
    std::string Source() const { return media_.path().toStdString() + "/caf\xE9.wav"; }
    TPageInputList* Page1() const { return form_->TabSheetStep1; }

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        WriteToneWav(WidePath(Source()), 44100, 2, 0.5);
        QVERIFY(IsFile(Source()));
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
    }

    // QTemporaryDir cannot remove names that are not UTF-8, for the same reason.
    void cleanup() {
        form_.reset();
        appDir_.reset();
        std::filesystem::remove_all(home_->path().toStdString());
        home_.reset();
    }

    void cleanupTestCase() { std::filesystem::remove(Source()); }

    void aDroppedNameConvertsUnderItsBytes() {
        QMimeData drop;
        drop.setData("text/uri-list", "file://" + media_.path().toUtf8() + "/caf%E9.wav\r\n");
        const QStringList names = DroppedFileNames(drop);
        QCOMPARE(names.size(), 1);
        QCOMPARE(NameBytes(names[0]), Source());
        QVERIFY(AddAndWait(Page1(), names));
        QCOMPARE(Page1()->Model()->rowCount(), 1);
        QVERIFY(Page1()->Model()->Cell(0, NxTextColumnFileMinName).endsWith("/caf\\xE9.wav"));

        form_->ActionNext->trigger();
        form_->TabSheetStep2->ButtonFormatClick(ofFLAC);
        const std::string out = home_->path().toStdString() + "/out";
        form_->TabSheetStep2->EditOutputDir->setText(NameFromBytes(out));
        form_->ActionNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(form_->PageControlMain->currentIndex(), 3, 60000);
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("1"));
        QCOMPARE(form_->TabSheetStep3->ListViewConverting->topLevelItem(0)->text(TPageConverting::ccName),
                 QString("caf\\xE9.wav"));
        QVERIFY(IsFile(out + "/caf\xE9.flac"));
    }

    void theAddDialogHandsOverTheNameOnDisk() {
        TFileDialog* dialog = Page1()->OpenDialog;
        dialog->setDirectory(media_.path());
        // What Qt's dialog lists for the file, and refuses as missing.
        dialog->selectFile(QFile::decodeName(QByteArray("caf\xE9.wav")));
        QObject guard;  // a refusal's message box would be closed, not waited for
        OnNextModal(&guard, [](QWidget* modal) { modal->close(); });
        dialog->accept();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->ChosenFiles().size(), 1);
        QCOMPARE(NameBytes(dialog->ChosenFiles()[0]), Source());
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<NonUtf8NamesTest>(argc, argv); }

#include "NonUtf8NamesTest.moc"
