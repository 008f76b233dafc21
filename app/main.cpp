// The desktop program: binds the media libraries, sets up the application
// object, greets with the splash and runs the main window until it closes.
#include <QApplication>
#include <QPointer>
#include <cstdio>

#include "FFLoad.h"
#include "FormSplash.h"
#include "FormMain.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "OpenFileLimit.h"
#include "PreviewWindow.h"
#include "globals.h"

namespace {

// The splash is a greeting only: without a usable picture the program starts
// all the same, and says why on standard error. Closing the splash frees it.
QPointer<TFormSplash> ShowSplash() {
    QPointer<TFormSplash> splash = new TFormSplash;
    try {
        splash->FadeIn(QCoreApplication::applicationDirPath() + "/" + SplashFileName);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tembrio: no splash window: %s\n", e.what());
        delete splash.data();
    }
    return splash;
}

} // namespace

int main(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    RaiseOpenFileLimit();
    TMainThreadWaker waker;
    SetPreviewWindowFactory(CreatePreviewWindow);
    const QPointer<TFormSplash> splash = ShowSplash();
    QApplication::setApplicationDisplayName(QString::fromUtf8(ApplicationTitleText));
    TFormMain form(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    // The window opens even when start-up stopped early; after a successful
    // start WM_AFTERSTART shows it as well.
    form.show();
    const int result = app.exec();
    delete splash.data();  // still open when the program ended within its second
    return result;
}
