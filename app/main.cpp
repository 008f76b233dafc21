// The desktop program: binds the media libraries, sets up the application
// object and its icon, greets with the splash and runs the main window until
// it closes.
// The files and folders named on the command line are added at the start.
#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <memory>

#include "ApplicationIcon.h"
#include "CommandLine.h"
#include "FFLoad.h"
#include "FormSplash.h"
#include "FormMain.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "OpenFileLimit.h"
#include "PageInputList.h"
#include "PreviewWindow.h"
#include "ProgramFiles.h"
#include "TerminationSignals.h"

namespace {

// The splash is a greeting only: without a usable picture the program starts
// all the same, and says why on standard error. Closing the splash frees it.
QPointer<TFormSplash> ShowSplash() {
    QPointer<TFormSplash> splash = new TFormSplash;
    try {
        splash->FadeIn(QString::fromLocal8Bit(ProgramDataFile(ExecutableFolder(), SplashFileName).c_str()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tembrio: no splash window: %s\n", e.what());
        delete splash.data();
    }
    return splash;
}

// Without the handlers the program still runs; those signals then end it at once.
std::unique_ptr<TTerminationSignals> ListenForTerminationSignals() {
    try {
        return std::make_unique<TTerminationSignals>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tembrio: %s\n", e.what());
        return nullptr;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    IgnoreWriteFailureSignals();
    TFFBindProcess binding;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(ApplicationIcon());
    // Ties the windows to tembrio.desktop (its name and icon in a Wayland taskbar).
    QGuiApplication::setDesktopFileName(QStringLiteral("tembrio"));
    const std::unique_ptr<TTerminationSignals> termination = ListenForTerminationSignals();
    InitMainThread();
    RaiseOpenFileLimit();
    TMainThreadWaker waker;
    SetPreviewWindowFactory(CreatePreviewWindow);
    const QPointer<TFormSplash> splash = ShowSplash();
    TFormMain form(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    // The window opens even when start-up stopped early; after a successful
    // start WM_AFTERSTART shows it as well.
    form.show();
    if (termination) termination->OnSignal = [&form] { form.CloseForSignal(); };
    const QStringList names = CommandLineNames(argc, argv);
    if (!names.isEmpty()) form.TabSheetStep1->AddCommandLineFiles(names);
    const int result = app.exec();
    delete splash.data();  // still open when the program ended within its second
    return result;
}
