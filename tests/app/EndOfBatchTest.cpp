// The end of a batch: the shut-down countdown, the power requests (a fake in
// place of the platform, and the real requests against a peer that stands in
// for logind), the end sound and the generated sound files.
#include <QApplication>
#include <QAudioDevice>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServer>
#include <QFile>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstdlib>

#include "EndSound.h"
#include "FFDecode.h"
#include "FFLoad.h"
#include "FakePowerRequests.h"
#include "FormShutdown.h"
#include "MainThread.h"
#include "PowerControl.h"
#include "globals.h"

namespace {

// The logind manager's four power calls, as a peer on a private connection.
class TFakeLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList Calls;

public slots:
    void PowerOff(bool interactive) { Record("PowerOff", interactive); }
    void Reboot(bool interactive) { Record("Reboot", interactive); }
    void Suspend(bool interactive) { Record("Suspend", interactive); }
    // polkit's answer to a user who may not hibernate.
    void Hibernate(bool interactive) {
        Record("Hibernate", interactive);
        sendErrorReply(QDBusError::AccessDenied, "Interactive authentication required.");
    }

private:
    void Record(const char* method, bool interactive) {
        Calls << QString("%1(%2)").arg(method, interactive ? "true" : "false");
    }
};

bool HasLogLine(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// A report that appends to `log`.
TPowerReport LogTo(std::vector<std::string>& log) {
    return [&log](const std::string& line) { log.push_back(line); };
}

QString SoundFile(const char* name) { return QString(TEMBRIO_SOUNDS_DIR) + "/" + name; }

// The 16-bit samples of a canonical mono PCM WAV file's data chunk.
QList<int> WavSamples(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    const int data = bytes.indexOf("data");
    if (data < 0) return {};
    QList<int> samples;
    for (qsizetype i = data + 8; i + 1 < bytes.size(); i += 2)
        samples << int(int16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
    return samples;
}

int SignChanges(const QList<int>& samples, int count) {
    int changes = 0;
    for (int i = 1; i < count && i < samples.size(); ++i) changes += (samples[i - 1] < 0) != (samples[i] < 0);
    return changes;
}

} // namespace

class EndOfBatchTest : public QObject {
    Q_OBJECT

private slots:
    void theCountdownStartsAtThirty() {
        TFormShutdown form;
        QCOMPARE(form.windowTitle(), QString("Shutdown"));
        QCOMPARE(form.Counter(), 30);
        QCOMPARE(form.LabelTimeOut->text(), QString("Time left: 30"));
        QCOMPARE(form.LabelWarning->text(), QString("Warning!"));
        QVERIFY(form.LabelWarning->font().bold());
        QVERIFY(form.LabelWarning->font().pointSizeF() > form.LabelMessage->font().pointSizeF());
        QCOMPARE(form.LabelMessage->text(),
                 QString("If you don't press cancel now, \nTembrio Audio Converter will\nshutdown the computer."));
        QCOMPARE(form.ButtonCancel->text(), QString("&Cancel"));
        QVERIFY(form.ButtonCancel->isDefault());
        QCOMPARE(form.TimerShutdown->interval(), 1000);
        QVERIFY(form.TimerShutdown->isActive());
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.width() > 0 && form.height() > 0);
    }

    void theCountdownEndsWithAccept() {
        TFormShutdown form;
        QSignalSpy accepted(&form, &QDialog::accepted);
        form.open();
        for (int i = 0; i < 12; ++i) form.TimerShutdownTimer();
        QCOMPARE(form.LabelTimeOut->text(), QString("Time left: 18"));
        for (int i = 0; i < 18; ++i) form.TimerShutdownTimer();
        QCOMPARE(form.LabelTimeOut->text(), QString("Time left: 0"));
        QVERIFY(form.isVisible());
        QCOMPARE(accepted.count(), 0);

        form.TimerShutdownTimer();  // the 31st
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(accepted.count(), 1);
        QVERIFY(!form.TimerShutdown->isActive());
        // A late tick closes nothing a second time.
        form.TimerShutdownTimer();
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(form.LabelTimeOut->text(), QString("Time left: 0"));
    }

    void cancelEscapeAndEnterReject() {
        for (int way = 0; way < 3; ++way) {
            TFormShutdown form;
            QSignalSpy accepted(&form, &QDialog::accepted);
            QSignalSpy rejected(&form, &QDialog::rejected);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            for (int i = 0; i < 18; ++i) form.TimerShutdownTimer();
            QCOMPARE(form.LabelTimeOut->text(), QString("Time left: 12"));
            if (way == 0) form.ButtonCancel->click();
            else QTest::keyClick(&form, way == 1 ? Qt::Key_Escape : Qt::Key_Return);
            QCOMPARE(rejected.count(), 1);
            QVERIFY(!form.isVisible());
            QVERIFY(!form.TimerShutdown->isActive());
            // The count does not run on into a shut-down.
            for (int i = 0; i < 20; ++i) form.TimerShutdownTimer();
            QCOMPARE(accepted.count(), 0);
            QCOMPARE(form.Counter(), 12);
        }
    }

    void theCountdownIsCentredOnTheOwner() {
        QWidget owner;
        owner.setGeometry(100, 80, 698, 542);
        TFormShutdown form;
        form.CenterOn(&owner);
        const QRect frame = owner.frameGeometry();
        QCOMPARE(form.x(), frame.left() + (frame.width() - form.width()) / 2);
        QCOMPARE(form.y(), frame.top() + (frame.height() - form.height()) / 2);
        QVERIFY(frame.contains(form.geometry().center()));
    }

    void everyModeMakesItsRequest() {
        TFakePowerRequests fake;
        const QStringList expected = {"Quit", "PowerOff", "PowerOff", "Reboot", "Hibernate", "Suspend"};
        for (int mode = 0; mode <= 5; ++mode) {
            fake.Calls.clear();
            ShutdownComputer(mode, fake);
            QCOMPARE(fake.Calls, QStringList(expected[mode]));
        }
        fake.Calls.clear();
        for (int mode : {-1, 6, 100}) ShutdownComputer(mode, fake);
        QCOMPARE(fake.Calls, QStringList());
        // Without the platform the request is still made, and reports itself.
        fake.CanRequest = false;
        ShutdownComputer(1, fake);
        QCOMPARE(fake.Calls, QStringList("PowerOff"));
    }

    void thePrivilegeSaysWhetherRequestsCanBeMade() {
        TFakePowerRequests fake;
        QVERIFY(SetPrivilege("SeShutdownPrivilege", true, fake));
        QVERIFY(SetPrivilege("SeShutdownPrivilege", false, fake));
        fake.CanRequest = false;
        QVERIFY(!SetPrivilege("SeShutdownPrivilege", true, fake));
        QVERIFY(SetPrivilege("SeShutdownPrivilege", false, fake));
        fake.CanRequest = true;
        QVERIFY(!SetPrivilege("SeBackupPrivilege", true, fake));
        QVERIFY(!SetPrivilege("", false, fake));
        QVERIFY(fake.Calls.isEmpty());
    }

    // The real Quit ends the application's event loop.
    void modeZeroQuitsTheEventLoop() {
        TLogindPowerRequests real{TPowerReport()};
        QTimer::singleShot(0, [&real] { ShutdownComputer(0, real); });
        // Only a broken Quit gets here; it must not hang the suite.
        QTimer safety;
        safety.setSingleShot(true);
        connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        safety.start(20000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void logindGetsInteractiveRequests() {
        QTemporaryDir socketDir;
        QDBusServer server("unix:dir=" + socketDir.path());
        QVERIFY2(server.isConnected(), qPrintable(server.lastError().message()));
        TFakeLogind logind;
        bool registered = false;
        connect(&server, &QDBusServer::newConnection, this, [&](const QDBusConnection& peer) {
            QDBusConnection connection(peer);
            registered = connection.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportAllSlots);
        });
        QDBusConnection client = QDBusConnection::connectToPeer(server.address(), "fake-logind");
        QVERIFY(client.isConnected());
        QTRY_VERIFY(registered);

        std::vector<std::string> log;
        TLogindPowerRequests requests(client, LogTo(log));
        QVERIFY(requests.Available());
        requests.PowerOff();
        requests.Reboot();
        requests.Suspend();
        requests.Hibernate();
        QTRY_COMPARE(logind.Calls.size(), 4);
        QCOMPARE(logind.Calls, QStringList({"PowerOff(true)", "Reboot(true)", "Suspend(true)", "Hibernate(true)"}));
        // The refusal reaches the log once its answer arrives.
        const std::string refused = "Shutdown request Hibernate failed: org.freedesktop.DBus.Error.AccessDenied: "
                                    "Interactive authentication required.";
        QTRY_VERIFY(HasLogLine(log, refused));
        QCOMPARE(log.size(), size_t(1));

        // Requests that have gone (with the window whose log they report to)
        // drop the answers still on their way. Answers come in the order the
        // calls went out, so once the later refusal is in, the earlier one has
        // been delivered too.
        std::vector<std::string> goneLog;
        {
            TLogindPowerRequests gone(client, LogTo(goneLog));
            gone.Hibernate();
        }
        requests.Hibernate();
        QTRY_COMPARE(log.size(), size_t(2));
        QCOMPARE(logind.Calls.size(), 6);
        QVERIFY(goneLog.empty());

        QDBusConnection::disconnectFromPeer("fake-logind");
    }

    void aMissingBusIsLoggedNotFatal() {
        QTemporaryDir nowhere;
        QDBusConnection bus =
            QDBusConnection::connectToBus("unix:path=" + nowhere.path() + "/no-socket", "tembrio-no-bus");
        QVERIFY(!bus.isConnected());
        std::vector<std::string> log;
        TLogindPowerRequests requests(bus, LogTo(log));
        QVERIFY(!requests.Available());
        requests.PowerOff();
        QCOMPARE(log.size(), size_t(1));
        QVERIFY2(log[0].rfind("Shutdown request PowerOff failed: ", 0) == 0, log[0].c_str());

        // Through ShutdownComputer: the privilege cannot be had and the
        // request reports why.
        QVERIFY(!SetPrivilege("SeShutdownPrivilege", true, requests));
        ShutdownComputer(3, requests);
        QCOMPARE(log.size(), size_t(2));
        QVERIFY(log[1].rfind("Shutdown request Reboot failed: ", 0) == 0);
        QDBusConnection::disconnectFromBus("tembrio-no-bus");
    }

    void theSoundDependsOnFailures() {
        QCOMPARE(EndSoundFile("/opt/tembrio/", 0, 0), std::string("/opt/tembrio/sounds/done.wav"));
        QCOMPARE(EndSoundFile("/opt/tembrio/", -3, 0), std::string("/opt/tembrio/sounds/done.wav"));
        QCOMPARE(EndSoundFile("/opt/tembrio/", 1, 0), std::string("/opt/tembrio/sounds/fail.wav"));
        QCOMPARE(EndSoundFile("/opt/tembrio/", 40, 0), std::string("/opt/tembrio/sounds/fail.wav"));
        // A batch cut short did not convert everything either.
        QCOMPARE(EndSoundFile("/opt/tembrio/", 0, 2), std::string("/opt/tembrio/sounds/fail.wav"));
    }

    void anUnplayableSoundFallsBackToTheBeep() {
        QTemporaryDir dir;
        const QString notWav = dir.path() + "/done.wav";
        QFile f(notWav);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("not a sound at all") > 0);
        f.close();

        TEndSound sound;
        QSignalSpy beeped(&sound, &TEndSound::Beeped);
        sound.Play(dir.path() + "/missing.wav");
        QCOMPARE(beeped.count(), 1);  // at once: nothing to load
        sound.Play(dir.path());       // a folder is no sound either
        QCOMPARE(beeped.count(), 2);
        sound.Play(notWav);
        QTRY_COMPARE(beeped.count(), 3);

        // Playing again while a sound loads or plays starts the new one.
        const bool device = !QMediaDevices::defaultAudioOutput().isNull();
        sound.Play(SoundFile("done.wav"));
        sound.Play(SoundFile("fail.wav"));
        sound.Play(SoundFile("fail.wav"));
        sound.Play(dir.path() + "/missing.wav");
        if (!device) QCOMPARE(beeped.count(), 7);  // no device: every sound is the beep
        else QVERIFY(beeped.count() >= 4);
    }

    void theGeneratedSoundsAreShortWavs() {
        struct Expected {
            const char* name;
            int64_t duration;  // microseconds
        };
        for (const Expected& e : {Expected{"done.wav", 600000}, Expected{"fail.wav", 800000}}) {
            TFFDecoder probe;
            QVERIFY2(probe.LoadFile(SoundFile(e.name).toStdWString()), probe.LastErrMsg().c_str());
            TFileStreamInfo file;
            QVERIFY(probe.GetFileStreamInfo(file));
            QVERIFY2(std::llabs(file.Duration - e.duration) <= 1000, qPrintable(QString::number(file.Duration)));
            QCOMPARE(probe.AudioStreamCount(), 1);
            QCOMPARE(probe.VideoStreamCount(), 0);
            TAudioStreamInfo audio;
            QVERIFY(probe.GetAudioStreamInfo(probe.FirstAudioStream(), audio));
            QCOMPARE(audio.SampleRate, 44100);
            QCOMPARE(audio.Channels, 1);
            QCOMPARE(audio.SampleFormat, int(AV_SAMPLE_FMT_S16));
            QVERIFY2(QString::fromStdString(audio.CodecDesc).startsWith("pcm_s16le"), audio.CodecDesc.c_str());
        }

        // Audible without clipping, and silent at both ends so they do not click.
        const QList<int> done = WavSamples(SoundFile("done.wav"));
        const QList<int> fail = WavSamples(SoundFile("fail.wav"));
        QCOMPARE(done.size(), 26460);
        QCOMPARE(fail.size(), 35280);
        for (const QList<int>& samples : {done, fail}) {
            int peak = 0;
            for (int s : samples) peak = std::max(peak, std::abs(s));
            QVERIFY2(peak > 16000 && peak < 24000, qPrintable(QString::number(peak)));
            QCOMPARE(samples.first(), 0);
            QCOMPARE(samples.last(), 0);
        }
        // The chime is high, the failure low.
        QVERIFY(SignChanges(done, 4410) > 2 * SignChanges(fail, 4410));
    }
};

int main(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    QApplication::setApplicationDisplayName(QString::fromUtf8(ApplicationTitleText));
    FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
    if (!FFLoader()->Load(EngineLibraries)) {
        qCritical("%s", FFLoader()->LastError().c_str());
        return 1;
    }
    EndOfBatchTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EndOfBatchTest.moc"
