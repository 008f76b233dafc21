// Renders every page and window of the desktop program to PNG files, so that
// a layout can be looked at under the fonts and scalings it must survive
// (scripts/screenshots runs it at 10, 11 and 14 pt and at 2x).
//
//   tembrio_screenshots OUTDIR [POINTS]
//
// POINTS sets the application font's size; without it the desktop's stays.
// The pages show generated files, long names and the longest texts they take.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "AddFailed.h"
#include "ElidedLabel.h"
#include "FFLoad.h"
#include "FFEncoder.h"
#include "FileListModel.h"
#include "Fixtures.h"
#include "FormAbout.h"
#include "FormLog.h"
#include "FormMain.h"
#include "FormShutdown.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "PreviewWindow.h"
#include "Previewer.h"
#include "globals.h"

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

bool Save(QWidget* window, const QString& folder, const QString& name) {
    window->show();
    Settle();
    const QString file = folder + "/" + name + ".png";
    const bool saved = window->grab().save(file);
    std::printf("%s %dx%d\n", qPrintable(file), window->width(), window->height());
    return saved;
}

// The preview window as a running video task shows it: a clip converted on
// a worker with the preview on, the window saved once it shows a picture.
bool SavePreview(const QString& media, const QString& folder) {
    TFixtureMedia clip;
    clip.Seconds = 20;
    clip.Video.push_back({"mpeg4", 320, 240, 25});
    const std::wstring source = WidePath((media + "/clip.mkv").toStdString());
    WriteMedia(source, clip);
    SetPreviewWindowFactory(CreatePreviewWindow);
    TFFEncoder encoder;
    const int index = encoder.AddTask(source);
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    options.DisableAudio = true;
    if (index < 0 || !encoder.SetOutputFile(index, WidePath((media + "/clip.avi").toStdString()), &options)) return false;
    std::atomic<bool> ended{false};
    encoder.OnTerminate = [&](void*, const TTerminateInfo& info) {
        if (info.TaskIndex < 0) ended = true;
    };
    encoder.SetPreview(true);
    encoder.StartTask(1);
    TFormPreview* window = nullptr;
    while (!window && !ended) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<TFormPreview*>(w); preview && preview->isVisible()) window = preview;
    }
    const bool saved = window && Save(window, folder, "preview");
    encoder.Stop(true);
    while (!ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    encoder.ClearTasks();
    SetPreviewWindowFactory({});
    return saved;
}

} // namespace

int main(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [POINTS]\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (argc > 2) {
        QFont font = QApplication::font();
        font.setPointSizeF(std::atof(argv[2]));
        QApplication::setFont(font);
    }
    InitMainThread();
    TMainThreadWaker waker;
    QTemporaryDir home, appDir, media;
    if (!QDir().mkpath(out) || !home.isValid() || !appDir.isValid() || !media.isValid()) return 1;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    if (!QFile::link(TEMBRIO_LIB_DIR, appDir.path() + "/lib")) return 1;
    FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
    if (!FFLoader()->Load(EngineLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader()->LastError().c_str());
        return 1;
    }

    const QString deep = media.path() + "/Recordings of the spring concert season/Second evening/Orchestra";
    QDir().mkpath(deep);
    const QString names[] = {media.path() + "/tone.mp3", deep + "/03 - Symphony No. 5 in C minor, first movement.wav",
                             media.path() + "/video-audio.mp4"};
    GenerateFixture(WidePath("tone.mp3"), WidePath(media.path().toStdString()));
    GenerateFixture(WidePath("video-audio.mp4"), WidePath(media.path().toStdString()));
    WriteToneWav(WidePath(names[1].toStdString()), 44100, 2, 2.0);

    TFormMain form((appDir.path() + "/tembrio").toStdString());
    QCoreApplication::sendPostedEvents(&form, WM_AFTERSTART);
    bool ok = true;

    // Page 1 empty, with the focus on the list; while files are being added;
    // then with its rows.
    form.activateWindow();
    form.TabSheetStep1->FocusList();
    ok &= Save(&form, out, "1-empty");
    form.TabSheetStep1->AddFiles({names[0], names[1], names[2]});
    Settle();
    ok &= Save(&form, out, "1-files-adding");
    while (form.TabSheetStep1->Adding()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.TabSheetStep1->SelectRow(1);
    ok &= Save(&form, out, "1-files");

    form.ActionNext->trigger();
    ok &= Save(&form, out, "2-output");

    // Page 3 as a run shows it: page 1's files as entries, one running, the longest texts.
    TPageConverting* p3 = form.TabSheetStep3;
    form.PageControlMain->setCurrentIndex(2);
    form.UpdatePageCaptions();
    p3->LoadPostOptions();
    p3->BeginBatch(*form.TabSheetStep1->Model());
    QTreeWidgetItem* first = p3->ListViewConverting->topLevelItem(0);
    first->setText(TPageConverting::ccStatus, QStringLiteral("Converting"));
    first->setText(TPageConverting::ccProgress, QStringLiteral("100%"));
    p3->ListViewConverting->topLevelItem(1)->setText(TPageConverting::ccStatus, QStringLiteral("Finish (warning)"));
    p3->ListViewConverting->topLevelItem(2)->setText(TPageConverting::ccDuration,
                                                     QStringLiteral("Duration is not preseted"));
    p3->LabelCurrentFile->setText(names[1] + " + 2 more");
    for (QLabel* label : {p3->LabelEstimated, p3->LabelElapsed, p3->LabelTimeLeft})
        label->setText(QStringLiteral("12:59:59"));
    p3->ProgressBar->setValue(45);
    p3->LabelProgress->setText(QStringLiteral("100%"));
    ok &= Save(&form, out, "3-converting");

    form.PageControlMain->setCurrentIndex(3);
    form.UpdatePageCaptions();
    form.LabelFinishTotalFiles->setText(QStringLiteral("1000"));
    form.LabelFinishSuccessed->setText(QStringLiteral("997"));
    form.LabelFinishFailed->setText(QStringLiteral("1"));
    form.LabelFinishStopped->setText(QStringLiteral("2"));
    form.LabelFinishStoppedCaption->show();
    form.LabelFinishStopped->show();
    form.LabelFinishWarned->setText(QStringLiteral("12"));
    form.LabelFinishWarnedCaption->show();
    form.LabelFinishWarned->show();
    const QStringList unfinished[] = {
        {"03 - Symphony No. 5 in C minor, first movement.wav", "Stopped",
         "Kept as 03 - Symphony No. 5 in C minor, first movement (stopped).mp3"},
        {"video-audio.mp4", "Stopped", "Not started"},
        {"broken.mp3", "Failed", "Invalid data found when processing input"}};
    for (const QStringList& row : unfinished) form.ListViewUnfinished->addTopLevelItem(new QTreeWidgetItem(row));
    form.ListViewUnfinished->resizeColumnToContents(1);
    form.LabelFinishUnfinished->show();
    form.ListViewUnfinished->show();
    form.ButtonNext->setFocus();
    ok &= Save(&form, out, "4-summary");

    std::vector<std::string>& logLines = form.Vars().LogLines;
    logLines.push_back("#2484.3: no video stream.");
    for (int i = 0; i < 40; ++i) logLines.push_back("File has been added to convert list.");
    TFormLog log(logLines, &form);
    log.ShowLines(logLines);
    ok &= Save(&log, out, "log");
    log.resize(log.minimumSize());
    ok &= Save(&log, out, "log-smallest");

    TFormAbout about(form.Vars(), appDir.path().toStdString() + "/", &form);
    ok &= Save(&about, out, "about");

    TFormShutdown countdown(&form);
    ok &= Save(&countdown, out, "countdown");

    ok &= SavePreview(media.path(), out);

    TFormFailedAddFile failed({"Invalid data found when processing input: " + names[1].toStdString(),
                               "No such file or directory"},
                              form.Vars().HelpAddress, &form);
    ok &= Save(&failed, out, "failed-to-add");

    return ok ? 0 : 1;
}
