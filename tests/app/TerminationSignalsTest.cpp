// Signals the desktop program meets: SIGTERM and SIGHUP close it without a
// question (a running batch stopped, its file finalised, the settings saved),
// and a write over the file-size limit or into a closed pipe fails instead of
// ending it.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include "GuiTestSupport.h"
#include "Fixtures.h"
#include "FormMain.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "TerminationSignals.h"
#include "globals.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The process's file-size limit for as long as the object lives.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit saved_{};
};

} // namespace

class TerminationSignalsTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;
    std::unique_ptr<TTerminationSignals> termination_;

    QString SettingsPath() const { return home_->path() + "/.config/Tembrio Audio Converter/system20120110.dat"; }

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        // Long enough to be still converting when the signal comes, on a fast machine too.
        WriteToneWav(WidePath((media_.path() + "/long.wav").toStdString()), 44100, 2, 600.0);
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        QVERIFY(form_->isVisible());
        termination_ = std::make_unique<TTerminationSignals>();
        termination_->OnSignal = [this] { form_->CloseForSignal(); };
    }

    void cleanup() {
        termination_.reset();
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    void termMidBatchStopsItAndFinalisesTheRunningFile() {
        QVERIFY(AddAndWait(form_->TabSheetStep1, {media_.path() + "/long.wav"}));
        form_->ActionNext->trigger();
        form_->TabSheetStep2->ButtonFormatClick(ofM4A);
        const QString out = home_->path() + "/out";
        form_->TabSheetStep2->EditOutputDir->setText(out);
        form_->ActionNext->trigger();
        QTreeWidget* list = form_->TabSheetStep3->ListViewConverting;
        QTRY_VERIFY_WITH_TIMEOUT(list->topLevelItemCount() == 1 &&
                                     list->topLevelItem(0)->text(TPageConverting::ccStatus) == "Converting",
                                 60000);

        raise(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->isVisible(), 60000);
        QVERIFY(ReadAll(SettingsPath()).contains("\n[Form]\n"));
        // An M4A whose end was never written has no index: ffprobe fails on
        // it. It is kept under a name that says it was stopped.
        QVERIFY(!QFile::exists(out + "/long.m4a"));
        const QString probe = "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 '" +
                              out + "/long (stopped).m4a' >'" + home_->path() + "/probe' 2>&1";
        QCOMPARE(std::system(probe.toLocal8Bit().constData()), 0);
        QCOMPARE(ReadAll(home_->path() + "/probe"), QByteArray("aac\n"));
    }

    // Also while the window manager's close waits for an answer: nobody may
    // be there to give it.
    void hangUpClosesTheWindowAndSavesTheSettings() {
        OnNextModal(this, [](QWidget*) { raise(SIGHUP); });
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QVERIFY(ReadAll(SettingsPath()).contains("\n[Form]\n"));
    }

    void aWriteOverTheFileSizeLimitOrIntoAClosedPipeFailsInsteadOfEndingTheProgram() {
        IgnoreWriteFailureSignals();
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        ::close(ends[0]);
        const ssize_t written = ::write(ends[1], "x", 1);
        const int pipeError = errno;
        ::close(ends[1]);
        QCOMPARE(written, ssize_t(-1));
        QCOMPARE(pipeError, EPIPE);

        const QByteArray path = (home_->path() + "/big").toLocal8Bit();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const std::string block(4096, 'x');
        int error = 0;
        {
            TFileSizeLimit limit(3 * block.size());
            for (int i = 0; i < 4 && error == 0; ++i)
                if (::write(fd, block.data(), block.size()) < 0) error = errno;
        }
        ::close(fd);
        QCOMPARE(error, EFBIG);
        QCOMPARE(QFile(home_->path() + "/big").size(), qint64(3 * block.size()));
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<TerminationSignalsTest>(argc, argv); }

#include "TerminationSignalsTest.moc"
