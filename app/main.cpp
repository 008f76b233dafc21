// The desktop program: binds the media libraries, sets up the application
// object and runs the main window until it closes.
#include <QApplication>

#include "FFLoad.h"
#include "Main.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "UtilFuncs.h"
#include "globals.h"

int main(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    RaiseOpenFileLimit();
    TMainThreadWaker waker;
    QApplication::setApplicationDisplayName(QString::fromUtf8(ApplicationTitleText));
    TFormMain form(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    // The window opens even when start-up stopped early; after a successful
    // start WM_AFTERSTART shows it as well.
    form.show();
    return app.exec();
}
