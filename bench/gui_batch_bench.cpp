// The desktop program's wizard converting one batch, offscreen, for timing
// the files at once setting (bench/gui-batch.sh). The files are added on
// page 1, page 2 chooses MP3 with its first preset, and the time runs from
// "Convert" to the summary page.
//   tembrio-gui-batch-bench FILES_AT_ONCE OUTPUT_FOLDER FILE...
// Prints the seconds taken; exits with 1 when not every file converted.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "FFLoad.h"
#include "FileListModel.h"
#include "FormMain.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "globals.h"

namespace {

constexpr int SummaryPage = 3;

// Runs the event loop until `done` holds; false after `seconds`. The loop
// sleeps between events: a busy wait would take a core from the conversions.
bool WaitFor(const std::function<bool()>& done, int seconds) {
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || timer.elapsed() > seconds * 1000) loop.quit();
    });
    poll.start(10);
    loop.exec();
    return done();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: tembrio-gui-batch-bench FILES_AT_ONCE OUTPUT_FOLDER FILE...\n");
        return 2;
    }
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    TMainThreadWaker waker;
    QApplication::setApplicationDisplayName(QString::fromUtf8(ApplicationTitleText));
    // Beside the executable, as for the program: the libraries in lib/.
    TFormMain form(QCoreApplication::applicationFilePath().toStdString());
    if (!form.FFEncoder.LibrariesLoaded()) {
        std::fprintf(stderr, "the media libraries did not load\n");
        return 1;
    }
    const QStringList args = QCoreApplication::arguments();
    const QStringList files = args.mid(3);
    form.TabSheetStep1->AddFiles(files);
    if (!WaitFor([&] { return form.TabSheetStep1->Model()->rowCount() == files.size(); }, 600)) {
        std::fprintf(stderr, "page 1 listed %d of %d files\n", form.TabSheetStep1->Model()->rowCount(),
                     int(files.size()));
        return 1;
    }

    form.ActionNext->trigger();
    TPageOutput& output = *form.TabSheetStep2;
    output.ButtonFormatClick(ofMP3);
    output.PresetLists[ofMP3]->setCurrentIndex(0);
    output.SpinBoxParallelTasks->setValue(args[1].toInt());
    output.EditOutputDir->setText(args[2]);
    QElapsedTimer timer;
    timer.start();
    form.ActionNext->trigger();  // "Convert"
    if (!WaitFor([&] { return form.PageControlMain->currentIndex() == SummaryPage; }, 3600)) {
        std::fprintf(stderr, "the batch did not end\n");
        return 1;
    }
    const double seconds = timer.elapsed() / 1000.0;
    if (form.LabelFinishSuccessed->text().toInt() != files.size()) {
        std::fprintf(stderr, "converted %s of %d files\n", qPrintable(form.LabelFinishSuccessed->text()),
                     int(files.size()));
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
