// The log window as a user meets it: opened from the main window with the log
// as it was at that moment, cleared after a confirmation, saved to a file of
// the user's choice, and its buttons centred however it is sized. Also the
// message box the confirmation uses.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QScrollBar>
#include <QtTest>
#include <cstring>
#include <functional>
#include <libavutil/log.h>
#include <memory>

#include "GuiTestSupport.h"
#include "FFLoad.h"
#include "FormLog.h"
#include "FormMain.h"
#include "MainThread.h"
#include "MessageDlg.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// What a message box showed before it was answered.
struct TBoxSeen {
    bool Shown = false;
    QString Text;
    QString Caption;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
};

} // namespace

class LogWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;

    // The main window's log.
    std::vector<std::string>& Log() { return form_->Vars().LogLines; }

    void AnswerNextBox(QMessageBox::StandardButton button, TBoxSeen* seen) {
        OnNextModal(this, [button, seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            seen->Shown = true;
            seen->Text = box->text();
            seen->Caption = box->windowTitle();
            seen->Icon = box->icon();
            seen->Buttons = box->standardButtons();
            box->button(button)->click();
        });
    }

    // Opens the log window from the main window; `look` sees it while it is open.
    void OpenLogWindow(std::function<void(TFormLog*)> look) {
        bool seen = false;
        OnNextModal(this, [&](QWidget* modal) {
            auto* log = qobject_cast<TFormLog*>(modal);
            QVERIFY(log);
            seen = true;
            look(log);
            log->ButtonOK->click();
        });
        form_->ActionLog->trigger();
        QVERIFY(seen);
        // Freed once closed.
        QVERIFY(form_->findChildren<TFormLog*>().isEmpty());
    }

    static void VerifyButtonsCentred(const TFormLog& log) {
        const QWidget* panel = log.PanelBottom;
        QCOMPARE(panel->width(), log.width());
        QCOMPARE(panel->geometry().bottom(), log.rect().bottom());
        for (const QPushButton* b : {log.ButtonOK, log.ButtonDelete, log.ButtonSave}) {
            QCOMPARE(b->y(), log.ButtonOK->y());
            QVERIFY(panel->rect().contains(b->geometry()));
        }
        QCOMPARE(log.ButtonDelete->x(), log.ButtonOK->geometry().right() + 1 + 8);
        QCOMPARE(log.ButtonSave->x(), log.ButtonDelete->geometry().right() + 1 + 8);
        const int leftMargin = log.ButtonOK->x();
        const int rightMargin = panel->width() - (log.ButtonSave->geometry().right() + 1);
        QVERIFY2(std::abs(leftMargin - rightMargin) <= 1, qPrintable(QString("%1 / %2").arg(leftMargin).arg(rightMargin)));
    }

private slots:
    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        QVERIFY(Log().empty());
    }

    void cleanup() {
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    void theWindowShowsTheLogAsItWasWhenOpened() {
        Log() = {"#10.5: from the log file", "File load error: broken.mp3"};
        // A library message of thread 100, through the main window's logger.
        form_->FFLogger.LibraryLog(100, AV_LOG_WARNING, "hello");
        QCOMPARE(Log().back(), std::string("#100.4: hello"));

        form_->move(40, 30);
        OpenLogWindow([this](TFormLog* log) {
            QCOMPARE(log->windowTitle(), QString("Log"));
            QCOMPARE(log->parentWidget(), form_.get());
            const QRect main = form_->frameGeometry();
            QCOMPARE(log->x(), main.left() + (main.width() - log->width()) / 2);
            QCOMPARE(log->y(), main.top() + (main.height() - log->height()) / 2);
            QCOMPARE(log->MemoLog->toPlainText(),
                     QString("#10.5: from the log file\nFile load error: broken.mp3\n#100.4: hello"));
            // What arrives while the window is open waits for the next opening.
            form_->FFLogger.Log(nullptr, llError, "later");
            QCOMPARE(Log().size(), size_t(4));
            QCOMPARE(log->MemoLog->blockCount(), 3);
        });
        OpenLogWindow([](TFormLog* log) { QCOMPARE(log->MemoLog->blockCount(), 4); });
    }

    void theWindowOpensAtTheNewestLine() {
        for (int i = 0; i < 500; ++i) Log().push_back("#1.5: line " + std::to_string(i));
        OpenLogWindow([](TFormLog* log) {
            const QScrollBar* bar = log->MemoLog->verticalScrollBar();
            QVERIFY(bar->maximum() > 0);
            QCOMPARE(bar->value(), bar->maximum());
            QCOMPARE(log->MemoLog->horizontalScrollBar()->value(), 0);
        });
    }

    void theWindowIsAReadOnlyMemoAboveThreeButtons() {
        std::vector<std::string> lines;
        TFormLog log(lines);
        QVERIFY(log.MemoLog->isReadOnly());
        QCOMPARE(log.MemoLog->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(log.MemoLog->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(log.MemoLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(log.ButtonOK->text(), QString("&OK"));
        QCOMPARE(log.ButtonDelete->text(), QString("&Delete Log"));
        QCOMPARE(log.ButtonSave->text(), QString("&Save Log..."));
        QVERIFY(log.ButtonOK->isDefault());
        QVERIFY(log.ButtonSave->isEnabled());

        QSignalSpy rejected(&log, &QDialog::rejected);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        QCOMPARE(log.MemoLog->geometry().bottom() + 1, log.PanelBottom->y());
        QTest::keyClick(&log, Qt::Key_Escape);
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!log.isVisible());
    }

    void theButtonsStayCentredWhenResized() {
        std::vector<std::string> lines;
        TFormLog log(lines);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        VerifyButtonsCentred(log);
        log.resize(100, 50);  // held at the minimum, where the buttons still fit
        QCOMPARE(log.size(), log.minimumSize());
        QVERIFY(log.ButtonOK->x() > 0);
        VerifyButtonsCentred(log);
        log.resize(900, 400);
        VerifyButtonsCentred(log);
        log.resize(266, 130);
        VerifyButtonsCentred(log);
    }

    void deleteAskedAndOnlyYesEmptiesTheLog() {
        Log() = {"#1.5: one", "#2.3: two"};
        TFormLog log(Log());
        log.ShowLines(Log());
        for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Cancel}) {
            TBoxSeen seen;
            AnswerNextBox(answer, &seen);
            log.ButtonDelete->click();
            QVERIFY(seen.Shown);
            QCOMPARE(seen.Text, QString("Really delete log file?"));
            QCOMPARE(seen.Caption, QString("Delete log?"));
            QCOMPARE(seen.Icon, QMessageBox::Question);
            QCOMPARE(seen.Buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QCOMPARE(Log().size(), size_t(2));
            QCOMPARE(log.MemoLog->toPlainText(), QString("#1.5: one\n#2.3: two"));
            QVERIFY(log.ButtonSave->isEnabled());
        }

        TBoxSeen seen;
        AnswerNextBox(QMessageBox::Yes, &seen);
        log.ButtonDelete->click();
        QVERIFY(Log().empty());
        QCOMPARE(log.MemoLog->toPlainText(), QString());
        QVERIFY(!log.ButtonSave->isEnabled());

        OpenLogWindow([](TFormLog* later) {
            QCOMPARE(later->MemoLog->toPlainText(), QString());
            QVERIFY(later->ButtonSave->isEnabled());
        });
    }

    void deletingLeavesTheLogFileAlone() {
        const QString logFile = appDir_->path() + "/tembrio.log";
        QVERIFY(WriteAll(logFile, "#1.5: kept\r\n"));
        std::vector<std::string> lines = {"#1.5: kept"};
        TFormLog log(lines);
        TBoxSeen seen;
        AnswerNextBox(QMessageBox::Yes, &seen);
        log.ButtonDeleteClick();
        QVERIFY(lines.empty());
        QCOMPARE(ReadAll(logFile), QByteArray("#1.5: kept\r\n"));
    }

    void savingWritesOneCrLfLinePerEntry() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/saved.log";
        QVERIFY(WriteAll(file, "an older, longer file that is replaced\r\n"));
        std::vector<std::string> lines;
        TFormLog log(lines);
        QVERIFY(log.SaveLog(file));  // an empty log
        QVERIFY(QFile::exists(file));
        QCOMPARE(ReadAll(file), QByteArray());

        lines = {"#7.3: first", "", "#8.4: third"};
        QVERIFY(log.SaveLog(file));
        QCOMPARE(ReadAll(file), QByteArray("#7.3: first\r\n\r\n#8.4: third\r\n"));
        QCOMPARE(lines.size(), size_t(3));
    }

    void aFailedSaveShowsTheErrorAndChangesNothing() {
        QTemporaryDir dir;
        std::vector<std::string> lines = {"#1.5: one"};
        TFormLog log(lines);
        log.ShowLines(lines);
        TBoxSeen seen;
        AnswerNextBox(QMessageBox::Ok, &seen);
        QVERIFY(!log.SaveLog(dir.path()));  // a folder cannot be written as a file
        QVERIFY(seen.Shown);
        QCOMPARE(seen.Caption, QString("Tembrio Audio Converter"));
        QCOMPARE(seen.Icon, QMessageBox::Critical);
        QCOMPARE(seen.Text, QString("Cannot create file \"%1\". %2").arg(dir.path(), std::strerror(EISDIR)));
        QCOMPARE(lines, std::vector<std::string>{"#1.5: one"});
        QCOMPARE(log.MemoLog->toPlainText(), QString("#1.5: one"));
        QVERIFY(log.ButtonSave->isEnabled());
    }

    void theSaveDialogWritesTheChosenFile() {
        QTemporaryDir dir;
        std::vector<std::string> lines = {"#3.5: saved", "#4.6: too"};
        TFormLog log(lines);

        // Cancelled: nothing is written.
        bool cancelled = false;
        OnNextModal(this, [&](QWidget* modal) {
            cancelled = qobject_cast<QFileDialog*>(modal) != nullptr;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        });
        log.ButtonSave->click();
        QVERIFY(cancelled);
        QVERIFY(QDir(dir.path()).isEmpty());

        bool shown = false;
        OnNextModal(this, [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            shown = true;
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog->defaultSuffix(), QString("log"));
            QCOMPARE(dialog->nameFilters(),
                     QStringList({"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*.*)"}));
            QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
            dialog->setDirectory(dir.path());
            // Typed as a user would; the name field has the focus.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(name);
            name->setText("session");
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) dialog->reject();  // fail below rather than hang
        });
        log.ButtonSave->click();
        QVERIFY(shown);
        QCOMPARE(ReadAll(dir.path() + "/session.log"), QByteArray("#3.5: saved\r\n#4.6: too\r\n"));
    }

    void messageDlgCaptionRenamesButtonsInOrder() {
        QString yes, no, cancel;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString caption;
        OnNextModal(this, [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            yes = box->button(QMessageBox::Yes)->text();
            no = box->button(QMessageBox::No)->text();
            cancel = box->button(QMessageBox::Cancel)->text();
            icon = box->icon();
            caption = box->windowTitle();
            box->button(QMessageBox::No)->click();
        });
        const auto pressed = MessageDlgCaption("Replace it?", "Question time", mtWarning,
                                               QMessageBox::Cancel | QMessageBox::No | QMessageBox::Yes,
                                               {"Replace", "", "Give up"});
        QCOMPARE(pressed, QMessageBox::No);
        QCOMPARE(yes, QString("Replace"));
        QCOMPARE(cancel, QString("Give up"));
        QMessageBox plain;
        QCOMPARE(no, plain.addButton(QMessageBox::No)->text());  // no text given: its own
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(caption, QString("Question time"));

        const std::pair<TMsgDlgType, QMessageBox::Icon> icons[] = {{mtError, QMessageBox::Critical},
                                                                    {mtInformation, QMessageBox::Information},
                                                                    {mtConfirmation, QMessageBox::Question},
                                                                    {mtCustom, QMessageBox::NoIcon}};
        for (const auto& [type, expected] : icons) {
            TBoxSeen seen;
            AnswerNextBox(QMessageBox::Ok, &seen);
            QCOMPARE(MessageDlgCaption("Done.", "Note", type, QMessageBox::Ok), QMessageBox::Ok);
            QCOMPARE(seen.Icon, expected);
            QCOMPARE(seen.Text, QString("Done."));
        }
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<LogWindowTest>(argc, argv); }

#include "LogWindowTest.moc"
