// The window without a mouse: where the focus starts and returns, the order
// Tab takes on the pages, the format tiles on the arrow keys, the links on
// Enter and Space, and what assistive technology is told about the controls.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QSpinBox>
#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "AddFailed.h"
#include "FFLoad.h"
#include "Fixtures.h"
#include "FormAbout.h"
#include "FormLog.h"
#include "FormMain.h"
#include "GuiTestSupport.h"
#include "LinkLabel.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "globals.h"

namespace {

// The control that has the focus, as the user sees it: a spin box rather than
// its inner edit.
QWidget* Focused() {
    QWidget* w = QApplication::focusWidget();
    if (w && qobject_cast<QAbstractSpinBox*>(w->parentWidget())) return w->parentWidget();
    return w;
}

// The controls Tab visits from the focused one until it comes back there.
QList<QWidget*> TabRound(QWidget* window) {
    QList<QWidget*> visited;
    QWidget* first = Focused();
    for (int i = 0; i < 60; ++i) {
        visited << Focused();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
        if (Focused() == first) break;
    }
    return visited;
}

QStringList Names(const QList<QWidget*>& widgets) {
    QStringList names;
    for (const QWidget* w : widgets) names << (w ? w->objectName() : QStringLiteral("(none)"));
    return names;
}

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name) : QString();
}

// Lists, input controls and progress bars of `window` without an accessible name.
QStringList Unnamed(QWidget* window) {
    QStringList unnamed;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || qobject_cast<QHeaderView*>(w)) continue;
        if (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget())) continue;
        const bool field = qobject_cast<QAbstractItemView*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
                           qobject_cast<QProgressBar*>(w);
        if (field && AccessibleName(w).isEmpty())
            unnamed << w->objectName() + " (" + w->metaObject()->className() + ")";
    }
    return unnamed;
}

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;
    TUrlRecorder urls_;

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        GenerateFixture(WidePath("tone.mp3"), WidePath(media_.path().toStdString()));
        for (const char* scheme : {"https", "file"}) QDesktopServices::setUrlHandler(scheme, &urls_, "open");
    }

    void cleanupTestCase() {
        for (const char* scheme : {"https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        urls_.Urls.clear();
    }

    void cleanup() {
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    // Focus starts on the list, empty or not, and comes back there when the
    // add dialog closes; Tab goes round each page, then the page's own
    // buttons before "Help" and "Log", passing over what is disabled.
    void focusStartsOnPageOneAndTabGoesRoundEachPage() {
        TPageInputList* p1 = form_->TabSheetStep1;
        QCOMPARE(Focused(), p1->NextGrid);
        QVERIFY(AddAndWait(p1, {media_.path() + "/tone.mp3"}));
        QCOMPARE(Focused(), p1->NextGrid);
        form_->ButtonLog->setFocus();
        OnNextModal(this, [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
        p1->ActionAdd->trigger();
        QCOMPARE(form_->focusWidget(), p1->NextGrid);  // what has the focus once the window is active again
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(TabRound(form_.get()),
                 (QList<QWidget*>{p1->NextGrid, p1->ButtonAddAFile, p1->ButtonAddFolder, p1->ButtonRemoveAll,
                                  form_->ButtonNext, form_->ButtonExit, form_->ButtonHelp, form_->ButtonLog}));

        form_->ActionNext->trigger();
        TPageOutput* p2 = form_->TabSheetStep2;
        p2->EditOutputDir->setFocus();
        QCOMPARE(Names(TabRound(form_.get())),
                 Names(QList<QWidget*>{p2->EditOutputDir, p2->ButtonSelectDir, p2->FormatButtons[ofMP3],
                                       p2->PresetLists[ofMP3], p2->SpinBoxParallelTasks,
                                       p2->ComboBoxLoudness, p2->CheckBoxKeepFolderStructure,
                                       p2->CheckBoxSplitChapters, form_->ButtonBack, form_->ButtonNext,
                                       form_->ButtonExit, form_->ButtonHelp, form_->ButtonLog}));

        // Page 4 starts on "Finish", and Tab reaches "Open folder".
        form_->PageControlMain->setCurrentIndex(3);
        form_->ShowSummary();
        QCOMPARE(Focused(), form_->ButtonNext);
        QVERIFY(TabRound(form_.get()).contains(form_->LabelOpenFolder));
    }

    // Enter presses the page's default button, wherever the focus is but on
    // another button; the access keys press theirs.
    void enterAndTheAccessKeysPressTheButtons() {
        TPageInputList* p1 = form_->TabSheetStep1;
        QVERIFY(AddAndWait(p1, {media_.path() + "/tone.mp3"}));
        QCOMPARE(Focused(), p1->NextGrid);
        QTest::keyClick(p1->NextGrid, Qt::Key_Return);
        QCOMPARE(form_->PageControlMain->currentIndex(), 1);
        // A button's access key presses it as a click does, after a moment.
        QTest::keyClick(form_.get(), Qt::Key_B, Qt::AltModifier);
        QTRY_COMPARE(form_->PageControlMain->currentIndex(), 0);
        QTest::keyClick(form_.get(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(form_->PageControlMain->currentIndex(), 1);

        // On page 4 "Finish" starts afresh.
        form_->PageControlMain->setCurrentIndex(3);
        form_->ShowSummary();
        QTest::keyClick(Focused(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form_->PageControlMain->currentIndex(), 0);
        QCOMPARE(p1->Model()->rowCount(), 0);
    }

    // The arrow keys move the choice along the row; the chosen tile keeps the
    // focus and is announced as the checked one of a group of radio buttons.
    void formatTilesMoveWithTheArrowKeys() {
        QVERIFY(AddAndWait(form_->TabSheetStep1, {media_.path() + "/tone.mp3"}));
        form_->ActionNext->trigger();
        TPageOutput* p2 = form_->TabSheetStep2;
        p2->FormatButtons[ofMP3]->setFocus();
        QTest::keyClick(p2->FormatButtons[ofMP3], Qt::Key_Right);
        QCOMPARE(Focused(), p2->FormatButtons[ofWMA]);
        QCOMPARE(p2->ChosenFormat(), int(ofWMA));
        QCOMPARE(int(form_->Vars().OutputFormat), int(ofWMA));
        QVERIFY(p2->PresetLists[ofWMA]->isVisible());
        QTest::keyClick(p2->FormatButtons[ofWMA], Qt::Key_Left);
        QTest::keyClick(p2->FormatButtons[ofMP3], Qt::Key_Left);
        QCOMPARE(p2->ChosenFormat(), int(ofWAV));

        QAccessibleInterface* chosen = QAccessible::queryAccessibleInterface(p2->FormatButtons[ofWAV]);
        QAccessibleInterface* other = QAccessible::queryAccessibleInterface(p2->FormatButtons[ofMP3]);
        QCOMPARE(chosen->role(), QAccessible::RadioButton);
        QVERIFY(chosen->state().checked && chosen->state().focused);
        QVERIFY(!other->state().checked);
        QCOMPARE(chosen->text(QAccessible::Name), QString("WAV"));

        // The row goes on past MP2 to Opus and ALAC, and Tab leads from the
        // chosen one to its own list.
        p2->ButtonFormatClick(ofMP2);
        p2->FormatButtons[ofMP2]->setFocus();
        QTest::keyClick(p2->FormatButtons[ofMP2], Qt::Key_Right);
        QCOMPARE(Focused(), p2->FormatButtons[ofOpus]);
        QCOMPARE(int(form_->Vars().OutputFormat), int(ofOpus));
        QVERIFY(p2->PresetLists[ofOpus]->isVisible());
        QCOMPARE(p2->PresetLists[ofOpus]->currentText(), QString("Normal Quality - Opus: 48000 Hz, Stereo, 128 kbps"));
        QTest::keyClick(p2->FormatButtons[ofOpus], Qt::Key_Right);
        QCOMPARE(Focused(), p2->FormatButtons[ofALAC]);
        QCOMPARE(int(form_->Vars().OutputFormat), int(ofALAC));
        QTest::keyClick(p2->FormatButtons[ofALAC], Qt::Key_Tab);
        QCOMPARE(Focused(), p2->PresetLists[ofALAC]);
    }

    // "Open folder" and the About window's links open with Enter and Space,
    // and a screen reader can press them.
    void linksOpenFromTheKeyboard() {
        TLinkLabel* folder = form_->LabelOpenFolder;
        form_->PageControlMain->setCurrentIndex(3);
        folder->setFocus();
        QCOMPARE(Focused(), folder);
        QTest::keyClick(folder, Qt::Key_Space);
        QTest::keyClick(folder, Qt::Key_Return);
        QCOMPARE(urls_.Urls.size(), 2);

        TFormAbout about(form_->Vars(), appDir_->path().toStdString() + "/", form_.get());
        about.show();
        QTest::keyClick(about.labHomePage, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(urls_.Urls.last(), QUrl("https://tembrio.org/"));
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(about.labHomePage);
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), QString("https://tembrio.org/"));
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(urls_.Urls.size(), 4);
    }

    // Every list, input control and progress bar has a name, mostly from the
    // label beside it, whose buddy it is.
    void everyFieldHasAnAccessibleName() {
        QCOMPARE(Unnamed(form_.get()), QStringList());
        TFormLog log(form_->Vars().LogLines, form_.get());
        QCOMPARE(Unnamed(&log), QStringList());
        TFormFailedAddFile failed({"broken.mp3"}, form_->Vars().HelpAddress, form_.get());
        QCOMPARE(Unnamed(&failed), QStringList());
        TPageOutput* p2 = form_->TabSheetStep2;
        QCOMPARE(AccessibleName(p2->EditOutputDir), QString("Output directory:"));
        QCOMPARE(AccessibleName(form_->TabSheetStep3->ProgressBar), QString("Overall Progress:"));
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<KeyboardTest>(argc, argv); }

#include "KeyboardTest.moc"
