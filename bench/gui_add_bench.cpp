// Adding files to page 1 of the real main window, as a drop does: the time
// until the last row is listed, and the longest the main thread's event loop
// went without a turn (a 5 ms timer notes the largest gap between its ticks).
//   QT_QPA_PLATFORM=offscreen HOME=<fresh folder> tembrio-gui-add-bench FILE|FOLDER...
// The libraries are loaded from "lib" beside the executable, as the program does.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "CommandLine.h"
#include "FFLoad.h"
#include "FormMain.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PageInputList.h"

int main(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    TMainThreadWaker waker;
    const QStringList names = CommandLineNames(argc, argv);
    if (names.isEmpty()) {
        std::fprintf(stderr, "usage: tembrio-gui-add-bench FILE|FOLDER...\n");
        return 2;
    }
    TFormMain form(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    form.show();
    TPageInputList* page = form.TabSheetStep1;
    if (!page->ActionAdd->isEnabled()) {
        std::fprintf(stderr, "the media libraries are not loaded\n");
        return 1;
    }

    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0, total = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    QObject::connect(page, &TPageInputList::AddingChanged, [&] {
        if (page->Adding()) return;
        total = clock.nsecsElapsed();
        const qint64 now = total;
        longestGap = std::max(longestGap, now - lastTick);
        ticker.stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        ticker.start();
        page->AddFiles(names);
    });
    app.exec();

    std::printf("rows: %d\n", page->Model()->rowCount());
    std::printf("failed: %zu\n", form.Vars().FailedFiles.size());
    std::printf("threads: %d\n", QThread::idealThreadCount());
    std::printf("total: %.3f s\n", static_cast<double>(total) / 1e9);
    std::printf("longest stall: %.1f ms\n", static_cast<double>(longestGap) / 1e6);
    return 0;
}
