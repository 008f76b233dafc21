// The wizard as a user walks it: from the file list to the output page and
// back, a whole batch to the summary and round to an empty page 1, the
// questions and warnings on the way, and the timed shut-down after a batch.
#include <QAbstractButton>
#include <QComboBox>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "GuiTestSupport.h"
#include "EndSound.h"
#include "FFLoad.h"
#include "FFDecode.h"
#include "FakePowerRequests.h"
#include "FileNames.h"
#include "Fixtures.h"
#include "FormShutdown.h"
#include "FormMain.h"
#include "LinkLabel.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "WizardEvents.h"
#include "globals.h"

namespace {

// Counts the events of one type delivered to the object it watches.
class TEventCounter : public QObject {
public:
    TEventCounter(QEvent::Type type, int* count) : type_(type), count_(count) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) ++*count_;
        return false;
    }

private:
    QEvent::Type type_;
    int* count_;
};

} // namespace

class WizardTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;
    TFakePowerRequests power_;

    QString Media(const char* name) const { return media_.path() + "/" + QString::fromUtf8(name); }
    int Page() const { return form_->PageControlMain->currentIndex(); }
    int Rows() const { return form_->TabSheetStep1->Model()->rowCount(); }

    // Answers the next message box with `button`; its text goes to `text`.
    void AnswerNextBox(QMessageBox::StandardButton button, QString* text = nullptr) {
        OnNextModal(this, [button, text](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            if (text) *text = box->text();
            box->button(button)->click();
        });
    }

    void AddMedia(const QStringList& names) {
        QStringList paths;
        for (const QString& n : names) paths << media_.path() + "/" + n;
        QVERIFY(AddAndWait(form_->TabSheetStep1, paths));
        QCOMPARE(Rows(), names.size());
    }

    // Page 1 → 2 → Convert, with the output going to `folder` as FLAC.
    void Convert(const QString& folder) {
        form_->ActionNext->trigger();
        QCOMPARE(Page(), 1);
        form_->TabSheetStep2->ButtonFormatClick(ofFLAC);
        form_->TabSheetStep2->EditOutputDir->setText(folder);
        form_->ActionNext->trigger();
    }

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        for (const char* name : {"tone-44k-stereo.wav", "tone.mp3", "tagged-48k.flac"})
            GenerateFixture(WidePath(name), WidePath(media_.path().toStdString()));
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(UseFreshFolders(*home_, *appDir_));
        power_.Calls.clear();
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        form_->PowerRequests = &power_;
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        QCOMPARE(Page(), 0);
    }

    void cleanup() {
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    void nextNeedsFilesAndExitAnsweredNoKeepsEverything() {
        QString text;
        AnswerNextBox(QMessageBox::Ok, &text);
        form_->ActionNext->trigger();
        QCOMPARE(text, QString("Please add the audio/video files you want to convert!"));
        QCOMPARE(Page(), 0);

        AddMedia({"tone.mp3"});
        AnswerNextBox(QMessageBox::No, &text);
        form_->ActionExit->trigger();
        QCOMPARE(text, QString("Are you sure to quit now?"));
        QCOMPARE(Page(), 0);
        QCOMPARE(Rows(), 1);
        QVERIFY(form_->isVisible());
    }

    void backKeepsTheListAndCancelEmptiesIt() {
        AddMedia({"tone.mp3", "tagged-48k.flac"});
        form_->ActionNext->trigger();
        QCOMPARE(Page(), 1);
        QCOMPARE(form_->ButtonNext->text(), QString("&Convert"));
        QVERIFY(form_->ButtonBack->isEnabled());
        // The stored format is on show.
        QVERIFY(form_->TabSheetStep2->FormatButtons[ofMP3]->isChecked());

        form_->ActionBack->trigger();
        QCOMPARE(Page(), 0);
        QCOMPARE(Rows(), 2);
        QCOMPARE(form_->ButtonNext->text(), QString("&Next"));

        form_->ActionNext->trigger();
        QString text;
        AnswerNextBox(QMessageBox::No, &text);
        form_->ActionExit->trigger();
        QCOMPARE(text, QString("Are you sure to cancel?"));
        QCOMPARE(Page(), 1);
        QCOMPARE(Rows(), 2);

        AnswerNextBox(QMessageBox::Yes);
        form_->ActionExit->trigger();
        QCOMPARE(Page(), 0);
        QCOMPARE(Rows(), 0);
        QCOMPARE(form_->ButtonExit->text(), QString("E&xit"));
    }

    void aFolderThatCannotBeMadeKeepsPageTwo() {
        AddMedia({"tone.mp3"});
        QFile blocker(home_->path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString text;
        AnswerNextBox(QMessageBox::Ok, &text);
        Convert(home_->path() + "/file/out");
        QCOMPARE(text, QString("Fail to create directory! Please check if output folder have the right format!"));
        QCOMPARE(Page(), 1);
        QCOMPARE(form_->TabSheetStep3->EntryCount(), 0);
    }

    void aBatchEndsOnTheSummaryAndFinishStartsAfresh() {
        AddMedia({"tone-44k-stereo.wav", "tone.mp3", "tagged-48k.flac"});
        const QString out = home_->path() + "/new/output";
        Convert(out);
        QCOMPARE(Page(), 2);
        QCOMPARE(form_->ButtonExit->text(), QString("C&ancel"));
        QVERIFY(!form_->ButtonNext->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QCOMPARE(form_->LabelTitle->text(), QString("The conversion is finished."));
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("3"));
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("3"));
        QCOMPARE(form_->LabelFinishFailed->text(), QString("0"));
        for (const char* name : {"tone-44k-stereo.flac", "tone.flac", "tagged-48k.flac"})
            QVERIFY2(QFile::exists(out + "/" + name), name);
        QCOMPARE(form_->Vars().OutputFileDir, (out + "/").toStdString());
        QVERIFY(power_.Calls.isEmpty());

        form_->ActionNext->trigger();  // "Finish"
        QCOMPARE(Page(), 0);
        QCOMPARE(Rows(), 0);
        QCOMPARE(form_->TabSheetStep3->EntryCount(), 0);
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("0"));
        QCOMPARE(form_->ButtonNext->text(), QString("&Next"));
        QVERIFY(!form_->ButtonBack->isEnabled());
    }

    // A sheet's tracks, listed on page 1, convert into a file each, named
    // and as long as the sheet says, two at once.
    void aSheetConvertsIntoItsTracks() {
        TFixtureMedia image;
        image.Seconds = 6.0;
        image.Audio.push_back({"flac", 44100, 2});
        WriteMedia(WidePath(Media("image.flac").toStdString()), image);
        QFile sheet(Media("image.cue"));
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write("TITLE \"Album\"\nFILE \"image.flac\" WAVE\n"
                    "  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 00:01:00\n"
                    "  TRACK 03 AUDIO\n    TITLE \"Outro\"\n    INDEX 00 00:02:50\n    INDEX 01 00:03:00\n");
        sheet.close();
        QVERIFY(AddAndWait(form_->TabSheetStep1, {Media("image.cue")}));
        QCOMPARE(Rows(), 3);
        const QString out = home_->path() + "/tracks";
        form_->ActionNext->trigger();
        form_->TabSheetStep2->SpinBoxParallelTasks->setValue(2);
        form_->TabSheetStep2->ButtonFormatClick(ofFLAC);
        form_->TabSheetStep2->EditOutputDir->setText(out);
        form_->ActionNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("3"));
        QStringList entries;
        for (int i = 0; i < 3; ++i)
            entries << form_->TabSheetStep3->ListViewConverting->topLevelItem(i)->text(TPageConverting::ccName);
        QCOMPARE(entries, QStringList({"01 - Intro", "02 - Song", "03 - Outro"}));
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
                 QStringList({"01 - Intro.flac", "02 - Song.flac", "03 - Outro.flac"}));
        QList<int64_t> samples;
        for (const QString& name : QDir(out).entryList(QDir::Files, QDir::Name)) {
            TFFDecoder probe;
            QVERIFY(probe.LoadFile(WideName(out + "/" + name)));
            TAudioStreamInfo audio;
            QVERIFY(probe.GetAudioStreamInfo(probe.FirstAudioStream(), audio));
            samples << audio.StreamDuration;
            probe.CloseFile();
        }
        QCOMPARE(samples, QList<int64_t>({44100, 88200, 132300}));
    }

    // Two at once, and a file gone from its folder by the time the batch is
    // queued: it fails, named in the failure box, and every file counts.
    void twoAtOnceCountEveryFile() {
        for (const char* name : {"one.wav", "two.wav", "gone.wav"})
            WriteToneWav(WidePath(Media(name).toStdString()), 22050, 2, 0.5);
        AddMedia({"one.wav", "tone.mp3", "gone.wav", "two.wav", "tagged-48k.flac"});
        QVERIFY(QFile::remove(Media("gone.wav")));
        QString failure;
        AnswerNextBox(QMessageBox::Ok, &failure);
        form_->ActionNext->trigger();
        form_->TabSheetStep2->SpinBoxParallelTasks->setValue(2);
        form_->TabSheetStep2->ButtonFormatClick(ofMP3);
        form_->TabSheetStep2->EditOutputDir->setText(home_->path() + "/two");
        form_->ActionNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QCOMPARE(form_->Vars().ParallelTasks, 2);
        QVERIFY2(failure.contains(Media("gone.wav")), qPrintable(failure));
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("5"));
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("4"));
        QCOMPARE(form_->LabelFinishFailed->text(), QString("1"));
        QVERIFY(form_->LabelFinishStopped->isHidden());
        QStringList statuses;
        for (int i = 0; i < 5; ++i)
            statuses << form_->TabSheetStep3->ListViewConverting->topLevelItem(i)->text(TPageConverting::ccStatus);
        QCOMPARE(statuses, QStringList({"Finish", "Finish", "Failed", "Finish", "Finish"}));
        QCOMPARE(form_->ListViewUnfinished->topLevelItemCount(), 1);
        QCOMPARE(form_->ListViewUnfinished->topLevelItem(0)->text(0), QString("gone.wav"));
        QCOMPARE(form_->ListViewUnfinished->topLevelItem(0)->text(1), QString("Failed"));
    }

    // Cancelled at once: nothing converted, and page 4 says every file was
    // stopped, until "Finish" clears it.
    void aCancelledBatchShowsItsStoppedFiles() {
        for (const char* name : {"long1.wav", "long2.wav", "long3.wav"})
            WriteToneWav(WidePath(Media(name).toStdString()), 44100, 2, 30);
        AddMedia({"long1.wav", "long2.wav", "long3.wav"});
        form_->ActionNext->trigger();
        form_->TabSheetStep2->SpinBoxParallelTasks->setValue(1);
        form_->TabSheetStep2->ButtonFormatClick(ofMP3);
        form_->TabSheetStep2->EditOutputDir->setText(home_->path() + "/out");
        form_->ActionNext->trigger();
        // The run starts now, and the cancel follows at once.
        QCoreApplication::sendPostedEvents(form_.get(), WM_STARTCONVERT);
        QVERIFY(form_->TabSheetStep3->Running());
        AnswerNextBox(QMessageBox::Yes);
        form_->ActionExit->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("3"));
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("0"));
        QCOMPARE(form_->LabelFinishFailed->text(), QString("0"));
        QCOMPARE(form_->LabelFinishStopped->text(), QString("3"));
        QVERIFY(form_->LabelFinishStopped->isVisible() && form_->LabelFinishStoppedCaption->isVisible());
        QCOMPARE(form_->ListViewUnfinished->topLevelItemCount(), 3);
        form_->ActionNext->trigger();  // "Finish"
        QVERIFY(form_->LabelFinishStopped->isHidden() && form_->LabelFinishStoppedCaption->isHidden());
        QVERIFY(form_->ListViewUnfinished->isHidden());
        QCOMPARE(form_->ListViewUnfinished->topLevelItemCount(), 0);
    }

    // Cancelled while the first file converts: page 4 names the files that
    // did not convert and what the stopped one kept, under a name that says
    // it is not the whole song.
    void theSummaryListsTheStoppedFilesAndWhatTheyKept() {
        WriteToneWav(WidePath(Media("ten-minutes.wav").toStdString()), 8000, 1, 600.0);
        AddMedia({"ten-minutes.wav", "tone.mp3"});
        form_->ActionNext->trigger();
        form_->TabSheetStep2->SpinBoxParallelTasks->setValue(1);
        form_->TabSheetStep2->ButtonFormatClick(ofMP3);
        const QString out = home_->path() + "/out";
        form_->TabSheetStep2->EditOutputDir->setText(out);
        form_->ActionNext->trigger();
        QTreeWidget* converting = form_->TabSheetStep3->ListViewConverting;
        QTRY_VERIFY_WITH_TIMEOUT(converting->topLevelItemCount() == 2 &&
                                     converting->topLevelItem(0)->text(TPageConverting::ccStatus) == "Converting",
                                 60000);
        AnswerNextBox(QMessageBox::Yes);
        form_->ActionExit->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QVERIFY(form_->ListViewUnfinished->isVisible() && form_->LabelFinishUnfinished->isVisible());
        QCOMPARE(form_->ListViewUnfinished->topLevelItemCount(), 2);
        QStringList rows;
        for (int i = 0; i < 2; ++i) {
            const QTreeWidgetItem* item = form_->ListViewUnfinished->topLevelItem(i);
            rows << item->text(0) + " | " + item->text(1) + " | " + item->text(2);
        }
        QCOMPARE(rows, QStringList({"ten-minutes.wav | Stopped | Kept as ten-minutes (stopped).mp3",
                                    "tone.mp3 | Stopped | Not started"}));
        QVERIFY(QFile::exists(out + "/ten-minutes (stopped).mp3"));
        QVERIFY(!QFile::exists(out + "/ten-minutes.mp3"));
    }

    // Every choice is in the settings file as soon as it is made, and again
    // as the batch starts: a session that never closes its window loses none.
    void choicesAreSavedAsTheyAreMade() {
        const QString settings = home_->path() + "/.config/Tembrio Audio Converter/system20120110.dat";
        const auto saved = [&settings](const char* line) {
            QFile file(settings);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("\n" + QByteArray(line) + "\n");
        };
        AddMedia({"tone.mp3"});
        form_->ActionNext->trigger();
        TPageOutput* p2 = form_->TabSheetStep2;
        QVERIFY(saved("OutputFormat=1"));
        p2->FormatButtons[ofFLAC]->click();
        QVERIFY(saved("OutputFormat=6"));
        p2->PresetLists[ofFLAC]->setCurrentIndex(3);
        QVERIFY(saved("OutputFLACPreset=3"));
        p2->SpinBoxParallelTasks->setValue(3);
        QVERIFY(saved("ParallelTasks=3"));
        p2->ComboBoxLoudness->setCurrentIndex(lcReplayGain);
        QVERIFY(saved("Loudness=1"));
        const QString out = home_->path() + "/saved";
        p2->ApplySelectedDir(out);
        QVERIFY(saved(("OutputFileDir=" + out + "/").toUtf8()));
        form_->TabSheetStep3->CheckBoxPlayASound->click();
        QVERIFY(saved("PlayASoundWhenFinished=1"));

        // "Back" keeps what was chosen; the batch starts with it.
        form_->ActionBack->trigger();
        form_->ActionNext->trigger();
        QCOMPARE(p2->PresetLists[ofFLAC]->currentIndex(), 3);
        QVERIFY(QFile::remove(settings));
        form_->ActionNext->trigger();
        QVERIFY(saved("OutputFLACPreset=3"));
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);
    }

    // The window manager's close goes the way of "Exit": the quit question on
    // pages 1 and 2, the cancel question on page 3, where Yes stops the run,
    // keeps the stopped file and quits without the end of the batch.
    void aWindowManagerCloseAsksFirst() {
        // Long enough to be still converting when the window closes.
        WriteToneWav(WidePath(Media("long.wav").toStdString()), 8000, 1, 600);
        AddMedia({"long.wav"});
        QString text;
        AnswerNextBox(QMessageBox::No, &text);
        QVERIFY(!form_->close());
        QCOMPARE(text, QString("Are you sure to quit now?"));
        form_->ActionNext->trigger();
        text.clear();
        AnswerNextBox(QMessageBox::No, &text);
        QVERIFY(!form_->close());
        QCOMPARE(text, QString("Are you sure to quit now?"));
        QCOMPARE(Page(), 1);

        form_->Vars().ShutDownWhenFinished = true;
        const QString out = home_->path() + "/out";
        form_->TabSheetStep2->ButtonFormatClick(ofMP3);
        form_->TabSheetStep2->PresetLists[ofMP3]->setCurrentIndex(3);
        form_->TabSheetStep2->EditOutputDir->setText(out);
        form_->ActionNext->trigger();
        QTreeWidgetItem* entry = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((entry = form_->TabSheetStep3->ListViewConverting->topLevelItem(0)) &&
                                     entry->text(TPageConverting::ccStatus) == "Converting",
                                 60000);
        AnswerNextBox(QMessageBox::No, &text);
        QVERIFY(!form_->close());
        QCOMPARE(text, QString("Do you really want to cancel the conversion?"));
        QVERIFY(form_->TabSheetStep3->Running());

        AnswerNextBox(QMessageBox::Yes);
        QVERIFY(form_->close());
        QVERIFY(QFileInfo(out + "/long (stopped).mp3").size() > 0);
        QTest::qWait(100);  // a posted end of the batch would show the countdown now
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(Page(), 2);
        QVERIFY(power_.Calls.isEmpty());
    }

    // A second "Convert" while the first is being started is ignored: one
    // batch, counted once, ended once.
    void aDoubleClickOnConvertStartsOneBatch() {
        AddMedia({"tone-44k-stereo.wav", "tone.mp3", "tagged-48k.flac"});
        int ends = 0;
        TEventCounter counter(WM_CONVERTDONE, &ends);
        form_->installEventFilter(&counter);
        form_->ActionNext->trigger();
        form_->TabSheetStep2->ButtonFormatClick(ofFLAC);
        form_->TabSheetStep2->EditOutputDir->setText(home_->path() + "/out");
        QMetaObject::invokeMethod(form_->ActionNext, &QAction::trigger, Qt::QueuedConnection);
        form_->ActionNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);
        QTest::qWait(200);  // time for a second batch to end as well
        form_->removeEventFilter(&counter);
        QCOMPARE(ends, 1);
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("3"));
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("3"));
    }

    // "Cancel" confirmed before the batch is queued (the start arrives while
    // the question is open): nothing is queued or converted.
    void aCancelBeforeTheQueueIsBuiltIsKept() {
        AddMedia({"tone-44k-stereo.wav", "tone.mp3"});
        const QString out = home_->path() + "/out";
        Convert(out);
        QCOMPARE(Page(), 2);
        AnswerNextBox(QMessageBox::Yes);
        form_->ActionExit->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("2"));
        QCOMPARE(form_->LabelFinishStopped->text(), QString("2"));
        QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
    }

    // An empty output folder is the current one: "Open folder" opens it.
    void openFolderOpensTheFolderWrittenTo() {
        AddMedia({"tone.mp3"});
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(home_->path()));
        Convert(QString());
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);
        QVERIFY(QDir::setCurrent(saved));
        QVERIFY(QFile::exists(home_->path() + "/tone.flac"));
        TUrlRecorder urls;
        QDesktopServices::setUrlHandler("file", &urls, "open");
        emit form_->LabelOpenFolder->Clicked();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(urls.Urls, QList<QUrl>{QUrl::fromLocalFile(home_->path() + "/")});
    }

    // WMA's highest preset sizes the bit rate by the source's rate: 16 kbit/s
    // for this 500 Hz file, which the encoder refuses only when the run starts.
    void aFailureCountsOnTheSummaryWithTheSoundAndTheFolderLink() {
        WriteToneWav(WidePath(Media("low-rate.wav").toStdString()), 500, 1, 0.5, AV_SAMPLE_FMT_U8);
        AddMedia({"tone-44k-stereo.wav", "low-rate.wav", "tone.mp3", "tagged-48k.flac"});
        form_->Vars().PlayASoundWhenFinished = true;
        auto* sound = form_->findChild<TEndSound*>("EndSound");
        QVERIFY(sound);
        QSignalSpy beeped(sound, &TEndSound::Beeped);  // no sound files beside this test's program
        QString failure;
        AnswerNextBox(QMessageBox::Ok, &failure);
        const QString out = home_->path() + "/wma";
        form_->ActionNext->trigger();
        form_->TabSheetStep2->ButtonFormatClick(ofWMA);
        form_->TabSheetStep2->PresetLists[ofWMA]->setCurrentIndex(4);
        form_->TabSheetStep2->EditOutputDir->setText(out);
        form_->ActionNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);

        QVERIFY(!failure.isEmpty());
        QCOMPARE(form_->LabelFinishTotalFiles->text(), QString("4"));
        QCOMPARE(form_->LabelFinishSuccessed->text(), QString("3"));
        QCOMPARE(form_->LabelFinishFailed->text(), QString("1"));
        QCOMPARE(beeped.count(), 1);

        TUrlRecorder urls;
        QDesktopServices::setUrlHandler("file", &urls, "open");
        emit form_->LabelOpenFolder->Clicked();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(urls.Urls, QList<QUrl>{QUrl::fromLocalFile(out + "/")});
        form_->ActionNext->trigger();
    }

    void theShutDownCountdownCanBeCancelledOrRunOut() {
        for (const bool runOut : {false, true}) {
            form_->Vars().ShutDownWhenFinished = true;
            AddMedia({"tone.mp3"});
            bool counted = false;
            OnNextModal(this, [&](QWidget* modal) {
                auto* countdown = qobject_cast<TFormShutdown*>(modal);
                QVERIFY(countdown);
                counted = true;
                if (!runOut) {
                    for (int i = 0; i < 18; ++i) countdown->TimerShutdownTimer();
                    QCOMPARE(countdown->LabelTimeOut->text(), QString("Time left: 12"));
                    countdown->ButtonCancel->click();
                    return;
                }
                for (int i = 0; i < 31; ++i) countdown->TimerShutdownTimer();
            });
            Convert(home_->path() + "/out");
            QTRY_COMPARE_WITH_TIMEOUT(Page(), 3, 60000);
            QVERIFY(counted);
            QCOMPARE(power_.Calls, runOut ? QStringList{"PowerOff"} : QStringList{});
            form_->ActionNext->trigger();
        }
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<WizardTest>(argc, argv); }

#include "WizardTest.moc"
