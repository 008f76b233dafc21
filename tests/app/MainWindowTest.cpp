// The main window's start-up and shut-down: settings, placement, the log file,
// loading the libraries and the wizard's page captions.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "GuiTestSupport.h"
#include "FFLoad.h"
#include "FormMain.h"
#include "LogLines.h"
#include "MainThread.h"
#include "PageInputList.h"
#include "PowerControl.h"
#include "ThreadId.h"
#include "UtilFuncs.h"
#include "globals.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Counts the WM_AFTERSTART events delivered to the object it watches.
class TAfterStartCounter : public QObject {
public:
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == WM_AFTERSTART) ++Count;
        return false;
    }
};

QSize ScreenSize() { return QGuiApplication::primaryScreen()->geometry().size(); }

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home_;  // a fresh HOME per test
    std::unique_ptr<QTemporaryDir> appDir_;  // stands in for the executable's folder

    QString SettingsPath() const {
        return home_->path() + "/.config/Tembrio Audio Converter/system20120110.dat";
    }
    std::string ExeName() const { return (appDir_->path() + "/tembrio").toStdString(); }

    // The application folder gets the real libraries.
    void LinkLibraries() { QVERIFY(QFile::link(TEMBRIO_LIB_DIR, appDir_->path() + "/lib")); }

    // A library folder whose first library is not a library.
    void BreakLibraries() {
        QVERIFY(QDir(appDir_->path()).mkdir("lib"));
        QVERIFY(WriteAll(appDir_->path() + "/lib/libavcodec.so.59", "not a library"));
        FFLoader()->Unload(AllLibraries);
    }

    void WriteSettings(const QByteArray& text) {
        QVERIFY(QDir().mkpath(QFileInfo(SettingsPath()).path()));
        QVERIFY(WriteAll(SettingsPath(), text));
    }

    // Runs start-up and delivers what it posted; returns how many WM_AFTERSTART arrived.
    std::unique_ptr<TFormMain> Start(int* afterStartCount = nullptr) {
        auto form = std::make_unique<TFormMain>(ExeName());
        TAfterStartCounter counter;
        form->installEventFilter(&counter);
        QCoreApplication::sendPostedEvents(form.get(), WM_AFTERSTART);
        form->removeEventFilter(&counter);
        if (afterStartCount) *afterStartCount = counter.Count;
        return form;
    }

private slots:
    void initTestCase() {
        home_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid());
        qputenv("HOME", home_->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_->path() + "/.config").toUtf8());
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid() && appDir_->isValid());
        qputenv("HOME", home_->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_->path() + "/.config").toUtf8());
    }

    void failedLibraryLoadLeavesTheWizardUnstarted() {
        BreakLibraries();
        int afterStart = -1;
        auto form = Start(&afterStart);
        QCOMPARE(afterStart, 0);
        QVERIFY(!form->isVisible());
        QVERIFY(!form->PageControlMain->tabBar()->isHidden());
        QCOMPARE(form->Vars().LogLines.size(), size_t(1));
        const std::string expected = "Load library " + appDir_->path().toStdString() + "/lib/libavcodec.so.59 error: ";
        QVERIFY2(form->Vars().LogLines[0].rfind(expected, 0) == 0, form->Vars().LogLines[0].c_str());
        QVERIFY(!FFLoader()->AllLoaded(EngineLibraries));
        // Without the libraries files cannot be added.
        QCOMPARE(form->FFEncoder.LastErrorMessage, form->Vars().LogLines[0]);
        QVERIFY(!form->TabSheetStep1->ActionAdd->isEnabled());
        // The settings were still read and written.
        QVERIFY(QFile::exists(SettingsPath()));
    }

    void firstStartCreatesSettingsAndCentresTheWindow() {
        LinkLibraries();
        int afterStart = -1;
        auto form = Start(&afterStart);
        QCOMPARE(afterStart, 1);
        QVERIFY(form->isVisible());  // WM_AFTERSTART shows the window
        QVERIFY(form->PageControlMain->tabBar()->isHidden());
        QCOMPARE(form->PageControlMain->currentIndex(), 0);
        QVERIFY(FFLoader()->AllLoaded(EngineLibraries));
        QVERIFY(form->Vars().LogLines.empty());
        QVERIFY(form->FFEncoder.LibrariesLoaded());
        QVERIFY(form->TabSheetStep1->ActionAdd->isEnabled());
        // The timed shut-down goes to logind unless a test says otherwise.
        QVERIFY(dynamic_cast<TLogindPowerRequests*>(form->PowerRequests));

        const QByteArray written = ReadAll(SettingsPath());
        QVERIFY(written.startsWith("[System]\nLastOpenDir=" + home_->path().toUtf8() + "\nOutputFileDir="));
        QVERIFY(!written.contains("[Form]"));
        const QList<QByteArray> lines = written.trimmed().split('\n');
        QCOMPARE(lines.size(), 20);
        const char* keys[] = {"LastOpenDir", "OutputFileDir", "OutputFormat", "OutputWAVPreset", "OutputMP3Preset",
                              "OutputWMAPreset", "OutputOGGPreset", "OutputM4APreset", "OutputAACPreset",
                              "OutputFLACPreset", "OutputMP2Preset", "PlayASoundWhenFinished", "ShutDownWhenFinished",
                              "ParallelTasks", "KeepFolderStructure", "OutputOpusPreset", "OutputALACPreset",
                              "Loudness", "SplitChapters"};
        for (int i = 0; i < 19; ++i) QVERIFY2(lines[i + 1].startsWith(QByteArray(keys[i]) + "="), keys[i]);

        QCOMPARE(form->size(), QSize(698, 542));
        QCOMPARE(form->x(), (ScreenSize().width() - 698) / 2);
        QCOMPARE(form->y(), (ScreenSize().height() - 542) / 2);
        QCOMPARE(form->windowTitle(), QString("Tembrio Audio Converter"));

        const int x = form->x(), y = form->y();
        AnswerNextMessageBox(this, QMessageBox::Yes);
        QVERIFY(form->close());
        QVERIFY(ReadAll(SettingsPath()).endsWith(QString("\n\n[Form]\nx=%1\ny=%2\nheight=542\nwidth=698\nmaximized=0\n")
                                                     .arg(x).arg(y).toUtf8()));
    }

    void settingsAndPlacementSurviveARestart() {
        LinkLibraries();
        {
            auto form = Start();
            form->Vars().OutputFormat = ofFLAC;
            form->Vars().Presets[ofFLAC] = 2;
            form->Vars().Presets[ofM4A] = 1;
            form->Vars().OutputFileDir = "/srv/out put";
            form->Vars().PlayASoundWhenFinished = true;
            form->move(12, 34);
            form->resize(700, 560);
            AnswerNextMessageBox(this, QMessageBox::Yes);
            QVERIFY(form->close());
        }
        auto form = Start();
        QCOMPARE(int(form->Vars().OutputFormat), int(ofFLAC));
        QCOMPARE(form->Vars().Presets[ofFLAC], 2);
        QCOMPARE(form->Vars().Presets[ofM4A], 1);
        QCOMPARE(form->Vars().Presets[ofAAC], 0);
        QCOMPARE(form->Vars().OutputFileDir, std::string("/srv/out put"));
        QVERIFY(form->Vars().PlayASoundWhenFinished);
        QVERIFY(!form->Vars().ShutDownWhenFinished);
        QCOMPARE(form->pos(), QPoint(12, 34));
        QCOMPARE(form->size(), QSize(700, 560));
        QVERIFY(!form->isMaximized());
    }

    void placementIsClampedToTheScreen() {
        LinkLibraries();
        const QSize screen = ScreenSize();
        WriteSettings(QString("[System]\n[Form]\nx=40\ny=-30\nheight=560\nwidth=%1\nmaximized=0\n")
                          .arg(screen.width() + 500).toUtf8());
        auto form = Start();
        QCOMPARE(form->width(), screen.width());
        QCOMPARE(form->x(), 0);
        QCOMPARE(form->y(), 0);
        QCOMPARE(form->height(), 560);

        // Left of the screen, and on a screen that is no longer there.
        form.reset();
        WriteSettings("[System]\n[Form]\nx=-50\ny=10\nheight=560\nwidth=720\n");
        form = Start();
        QCOMPARE(form->pos(), QPoint(0, 10));
        QCOMPARE(form->size(), QSize(720, 560));
        form.reset();
        WriteSettings("[System]\n[Form]\nx=3000\ny=2000\nheight=560\nwidth=720\n");
        form = Start();
        QCOMPARE(form->pos(), QPoint(screen.width() - 720, screen.height() - 560));
    }

    void maximizedPlacementIsRestored() {
        LinkLibraries();
        WriteSettings("[System]\n[Form]\nx=5\ny=6\nheight=400\nwidth=500\nmaximized=1\n");
        auto form = Start();
        QVERIFY(form->windowState() & Qt::WindowMaximized);
        QVERIFY(form->isVisible());
        AnswerNextMessageBox(this, QMessageBox::Yes);
        QVERIFY(form->close());
        QVERIFY(ReadAll(SettingsPath()).endsWith("maximized=1\n"));
    }

    void settingsValuesAreReadAsStored() {
        LinkLibraries();
        WriteSettings("[System]\nOutputFormat=12\nOutputMP3Preset=0x10\nOutputWAVPreset=abc\nOutputOGGPreset=3\n");
        auto form = Start();
        QCOMPARE(int(form->Vars().OutputFormat), 12);
        QCOMPARE(form->Vars().Presets[ofMP3], 16);
        QCOMPARE(form->Vars().Presets[ofWAV], 0);
        QCOMPARE(form->Vars().Presets[ofOGG], 3);
        form.reset();

        WriteSettings("[System]\nOutputFormat=abc\n");
        form = Start();
        QCOMPARE(int(form->Vars().OutputFormat), int(ofMP3));
    }

    void logFileBesideTheExecutableSeedsTheLog() {
        LinkLibraries();
        QVERIFY(WriteAll(appDir_->path() + "/tembrio.log", "#10.5: first\r\n#11.3: second\r\n"));
        auto form = Start();
        QCOMPARE(form->Vars().LogLines, (std::vector<std::string>{"#10.5: first", "#11.3: second"}));
    }

    void unreadableLogFileLeavesTheLogEmpty() {
        LinkLibraries();
        QVERIFY(QDir(appDir_->path()).mkdir("tembrio.log"));  // exists, but cannot be read
        std::vector<std::string> log = {"stale"};
        LoadLogFile(ExeName(), log);
        QVERIFY(log.empty());
        auto form = Start();
        QVERIFY(form->Vars().LogLines.empty());
    }

    void loggerMessagesBecomeLogLines() {
        LinkLibraries();
        auto form = Start();
        form->FFLogger.Log(nullptr, llWarning, "hello");
        form->FFLogger.Log(nullptr, llDebug, "filtered at the default level");
        QCOMPARE(form->Vars().LogLines,
                 (std::vector<std::string>{"#" + std::to_string(CurrentThreadId()) + ".4: hello"}));
    }

    // A worker's lines reach the log through the event loop alone, a few at
    // a time; a hand-off the worker waits for is not held behind them.
    void workerLinesReachTheLogThroughTheEventLoop() {
        LinkLibraries();
        auto form = Start();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            form->FFLogger.Log(nullptr, llWarning, "first");
            form->FFLogger.Log(nullptr, llWarning, "second");
            RunInMainThread([] {});
            form->FFLogger.Log(nullptr, llWarning, "third");
            done = true;
        });
        QTRY_VERIFY(done);
        worker.join();
        QTRY_COMPARE(form->Vars().LogLines.size(), size_t(3));
        const std::vector<std::string>& lines = form->Vars().LogLines;
        for (size_t i = 0; i < 3; ++i) {
            const std::string text = std::vector<std::string>{"first", "second", "third"}[i];
            QVERIFY2(lines[i].size() > text.size() && lines[i].substr(lines[i].size() - text.size()) == text,
                     lines[i].c_str());
        }
    }

    void pageCaptionsFollowTheCurrentPage() {
        LinkLibraries();
        auto form = Start();
        QCOMPARE(form->LabelFinishTitle1->text(), QString("Tembrio Audio Converter has finished the conversion."));
        QCOMPARE(form->LabelFinishTitle2->text(),
                 QString("To convert other files, click \"Finish\". Click \"Exit\" to quit Tembrio Audio Converter."));

        // The captions with their access keys.
        struct Row { const char* title; const char* exit; const char* next; bool back; bool nextOn; };
        const Row rows[] = {
            {"Select the audios/videos you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.",
             "E&xit", "&Next", false, true},
            {"Select an output mode and specify a path for the output files.", "C&ancel", "&Convert", true, true},
            {"Conversion information.", "C&ancel", "&Next", false, false},
            {"The conversion is finished.", "E&xit", "&Finish", false, true},
        };
        for (int page : {1, 3, 0, 2}) {
            form->PageControlMain->setCurrentIndex(page);
            form->UpdatePageCaptions();
            const Row& r = rows[page];
            QCOMPARE(form->LabelTitle->text(), QString(r.title));
            QCOMPARE(form->ButtonExit->text(), QString(r.exit));
            QCOMPARE(form->ButtonNext->text(), QString(r.next));
            QCOMPARE(form->ButtonBack->text(), QString("&Back"));
            QCOMPARE(form->ButtonBack->isEnabled(), r.back);
            QCOMPARE(form->ButtonNext->isEnabled(), r.nextOn);
            QVERIFY(form->ButtonExit->isEnabled());
        }
        QCOMPARE(form->ButtonHelp->text(), QString("Help"));
        QCOMPARE(form->ButtonLog->text(), QString("Log"));
        QCOMPARE(form->ActionExit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    }

    void cleanup() {
        appDir_.reset();
        home_.reset();
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<MainWindowTest>(argc, argv); }

#include "MainWindowTest.moc"
