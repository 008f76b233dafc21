#include "FormMain.h"

#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>
#include <filesystem>

#include "EndSound.h"
#include "Exception.h"
#include "FFLoad.h"
#include "Format.h"
#include "HelpManual.h"
#include "LogLines.h"
#include "MessageDlg.h"
#include "OutputNaming.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PowerControl.h"
#include "ProgramFiles.h"
#include "UtilFuncs.h"
#include "UtilFuncsGui.h"
#include "WizardEvents.h"

namespace {

const char* const FormSection = "Form";

const char* const HelpAddressText = "https://tembrio.org/help/";
const char* const HomePageAddressText = "https://tembrio.org/";
const char* const UpdatesAddressText = "https://tembrio.org/download/";
const char* const SupportAddressText = "support@tembrio.org";

struct TPageCaptions {
    const char* Title;
    const char* Exit;
    const char* Next;
    bool BackEnabled;
    bool NextEnabled;
};

// The captions carry their access keys ("&"): Alt and the underlined letter
// press the button.
const TPageCaptions PageCaptions[] = {
    {"Select the audios/videos you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.",
     "E&xit", "&Next", false, true},
    {"Select an output mode and specify a path for the output files.", "C&ancel", "&Convert", true, true},
    {"Conversion information.", "C&ancel", "&Next", false, false},
    {"The conversion is finished.", "E&xit", "&Finish", false, true},
};

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
std::string Text(const QString& s) { return s.toLocal8Bit().toStdString(); }

// A design text with one "%s", filled with the application title.
void FormatCaption(QLabel* label, const std::string& title) { label->setText(Text(Format(Text(label->text()), title))); }

} // namespace

TFormMain::TFormMain(const std::string& exeName, QWidget* parent)
    : QMainWindow(parent), FFLogger(this), exeName_(exeName),
      logindRequests_(std::make_unique<TLogindPowerRequests>(
          [this](const std::string& line) { vars_.LogLines.push_back(line); })) {
    appDir_ = IncludeBackslash(std::filesystem::path(exeName).parent_path().string());
    PowerRequests = logindRequests_.get();
    FFLogger.OnLog = [this](void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
        FFLoggerLog(sender, threadId, level, message);
    };
    // Converting threads hand their lines over without waiting for the
    // window, which may be busy queueing or painting.
    FFLogger.WaitForMainThread = false;
    endSound_ = new TEndSound(this);
    endSound_->setObjectName("EndSound");
    CreateControls();
    ConnectSettingsSaving();
    connect(TabSheetStep1, &TPageInputList::AddingChanged, this, [this] {
        if (PageControlMain->currentIndex() <= 1) UpdatePageCaptions();
    });
    FormCreate();
}

// FormDestroy: the controls belong to the window, and the probe and the
// logger are members. Page 3 ends a running batch and page 1 lets go of the
// probe first, which ends a running add and joins its threads, while the
// libraries and the logger are still there.
TFormMain::~TFormMain() {
    TabSheetStep3->EndRun();
    TabSheetStep1->SetDecoder(nullptr);
    FFLogger.OnLog = nullptr;
}

void TFormMain::FormCreate() {
    const std::string title = ApplicationTitle();
    // The window manager's title bar names the program.
    setWindowTitle(Text(title));
    FormatCaption(LabelFinishTitle1, title);
    FormatCaption(LabelFinishTitle2, title);
    // No skin is loaded: the toolkit's own look stands in for it.

    TGlobalVars& g = vars_;
    // The manual installed with the program; the web pages are a link in it.
    g.HelpAddress = HelpAddressFor(appDir_, HelpAddressText);
    g.HomePageAddress = HomePageAddressText;
    g.UpdatesAddress = UpdatesAddressText;
    g.SupportAddress = SupportAddressText;

    g.AppDataDir = DetermineAppDataDir(title);
    g.LastOpenDir = GetShellFolder("Personal");
    g.OutputFileDir = g.LastOpenDir;
    g.OutputFormat = ofMP3;
    g.Presets = DefaultPresets();
    g.PlayASoundWhenFinished = false;
    g.ShutDownWhenFinished = false;
    g.ParallelTasks = DefaultParallelTasks();
    g.KeepFolderStructure = false;
    g.Loudness = lcKeep;

    bool settingsExisted = true;
    try {
        settingsExisted = LoadSettings(g);
    } catch (const std::exception& e) {
        settingsExisted = false;
        ShowException(e);
    }
    RememberSavedChoices();
    if (!settingsExisted) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect s = screen->availableGeometry();
            move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
        }
    }

    LoadLogFile(exeName_, g.LogLines);
    LoadWindowPlacement(FormSection, this, "", g);
    UpdatePageCaptions();

    if (!FFEncoder.LibrariesLoaded() && !FFEncoder.LoadLibraries(ProgramLibraryFolder(appDir_))) {
        // The wizard is not started: the page tabs stay and the log holds the reason.
        g.LogLines.push_back(FFEncoder.LastErrorMessage);
        return;
    }
    TabSheetStep1->SetDecoder(&FFEncoder.Decoder());
    PageControlMain->tabBar()->hide();
    // Tab would stop at the hidden tab bar, the page control's focus proxy.
    PageControlMain->tabBar()->setFocusPolicy(Qt::NoFocus);
    PageControlMain->setFocusPolicy(Qt::NoFocus);
    PageControlMain->setCurrentIndex(0);
    UpdatePageCaptions();
    QCoreApplication::postEvent(this, new QEvent(WM_AFTERSTART));
}

void TFormMain::UpdatePageCaptions() {
    const int page = PageControlMain->currentIndex();
    if (page < 0 || page >= static_cast<int>(std::size(PageCaptions))) return;
    const TPageCaptions& c = PageCaptions[page];
    LabelTitle->setText(QString::fromUtf8(c.Title));
    ActionExit->setText(QString::fromUtf8(c.Exit));
    ActionExit->setEnabled(true);
    ActionNext->setText(QString::fromUtf8(c.Next));
    // A batch never starts with half a list: "Next" and "Convert" wait for a running add.
    ActionNext->setEnabled(c.NextEnabled && !(page <= 1 && TabSheetStep1->Adding()));
    ActionBack->setText(QStringLiteral("&Back"));
    ActionBack->setEnabled(c.BackEnabled);
}

void TFormMain::customEvent(QEvent* event) {
    if (event->type() == WM_AFTERSTART) WMAfterStart();
    else if (event->type() == WM_STARTCONVERT) WMStartConvert();
    else if (event->type() == WM_CONVERTDONE) WMConvertDone();
    else QMainWindow::customEvent(event);
}

void TFormMain::WMAfterStart() {
    show();
    TabSheetStep1->FocusList();
    const QString helper = Text(appDir_ + UpdateHelperName);
    const QFileInfo info(helper);
    if (info.isFile() && info.isExecutable()) QProcess::startDetached(helper, {});
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A signal that came while the question was open closes all the same.
    if (!closed_ && !ConfirmClose() && !closeUnasked_) {
        event->ignore();
        return;
    }
    if (!closed_) {
        FormCloseQuery();
        FormClose();
        closed_ = true;
    }
    event->accept();
}

bool TFormMain::ConfirmClose() {
    if (quitConfirmed_ || closeUnasked_) return true;
    // On page 3 the batch is stopped once the user has said so; closing stops it then.
    if (PageControlMain->currentIndex() == 2) return TabSheetStep3->AskCancelConversion();
    return Ask("Are you sure to quit now?");
}

void TFormMain::CloseForSignal() {
    closeUnasked_ = true;
    // The open dialogs and questions go first, each as its Escape would close it.
    QApplication::closeAllWindows();
}

// A running batch is stopped, its files finalised, before the window goes;
// its events are no longer wanted, and a batch about to start does not.
// Closing is always allowed.
bool TFormMain::FormCloseQuery() {
    TabSheetStep3->EndRun();
    FFEncoder.ClearEvents();
    return true;
}

void TFormMain::FormClose() {
    try {
        SaveSettings(vars_);
        SaveWindowPlacement(FormSection, this, "", vars_);
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TFormMain::ShowException(const std::exception& e) { ShowErrorMessage(isVisible() ? this : nullptr, e); }

void TFormMain::FFLoggerLog(void*, uint32_t threadId, TLogLevel level, const std::string& message) {
    vars_.LogLines.push_back(FormatLogLine(threadId, level, message));
}

// Enter presses the page's default button ("Next", "Convert", "Finish"), as
// in a dialog; a focused button takes it itself, and a control that uses
// Enter (a link, an open list of presets) keeps it.
void TFormMain::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (button && button->window() == this && button->isEnabled()) button->click();
    else if (ActionNext->isEnabled()) ActionNext->trigger();
    event->accept();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabelTitle && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ImageMainMouseMove();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Besides its title bar, the window is dragged by its instruction line.
void TFormMain::ImageMainMouseMove() {
    if (QWindow* window = windowHandle()) window->startSystemMove();
}
