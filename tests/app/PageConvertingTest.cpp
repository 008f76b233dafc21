// Page 3 as a view of the batch runner: real small batches run to their end
// (failures before and while converting, files of unknown length, a kept
// folder tree, files handed over while converting, cancelling), and the
// progress and time texts the runner's events give.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QHelpEvent>
#include <QToolTip>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

#include "GuiTestSupport.h"
#include "EndSound.h"
#include "BatchRun.h"
#include "FFDecode.h"
#include "ElidedLabel.h"
#include "FFLoad.h"
#include "FileListModel.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PageConverting.h"
#include "TimeSpan.h"
#include "UtilFuncs.h"
#include "WizardEvents.h"
#include "globals.h"

namespace {

constexpr double SecondDays = 1.0 / 86400.0;
constexpr int RunTimeoutMs = 120000;

// Stands in for the main window: counts the end-of-batch events.
class THost : public QWidget {
public:
    int ConvertDone = 0;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() == WM_CONVERTDONE) ++ConvertDone;
        else QWidget::customEvent(event);
    }
};

// Answers every message box that becomes the active modal window, and keeps
// what it showed. Questions get `Answer`; notices are closed with OK.
class TBoxAnswerer : public QObject {
public:
    struct TSeen {
        QString Title;
        QString Text;
        QString Details;  // the informative text
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
    };
    QList<TSeen> Seen;
    QMessageBox::StandardButton Answer = QMessageBox::No;
    // When set, a box stays open until this holds (or a generous number of
    // checks has passed, so that a fault cannot hang the suite).
    std::function<bool()> AnswerWhen;
    std::function<void()> OnAnswer;  // runs just before the answer

    TBoxAnswerer() {
        connect(&timer_, &QTimer::timeout, this, [this] { AnswerActiveBox(); });
        timer_.start(5);
    }

private:
    void AnswerActiveBox() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (AnswerWhen && !AnswerWhen() && ++held_ < 4000) return;
        held_ = 0;
        if (OnAnswer) OnAnswer();
        Seen.push_back({box->windowTitle(), box->text(), box->informativeText(), box->icon(), box->standardButtons()});
        const QMessageBox::StandardButton button = box->standardButtons() & Answer ? Answer : QMessageBox::Ok;
        if (QAbstractButton* b = box->button(button)) b->click();
        else box->reject();
    }

    QTimer timer_;
    int held_ = 0;
};

// root: the folder the file was found under, "" for a file added by itself.
void AppendRow(TFileListModel& model, const QString& path, int64_t durationUs, const QString& root = QString()) {
    TFileRow row;
    row.Cells[NxTextColumnFileFullName] = path;
    row.Cells[NxTextColumnRealDuration] = QString::number(durationUs);
    row.Root = root;
    model.AppendRow(std::move(row));
}

// What the engine's probe sees in an output file.
struct TProbed {
    QString Format;
    QString Codec;
    int SampleRate = 0;
    int Channels = 0;
    int64_t Duration = -1;
};

TProbed ProbeFile(const QString& path) {
    TProbed result;
    TFFDecoder probe;
    if (!probe.LoadFile(path.toStdWString())) return result;
    result.Format = QString::fromUtf8(probe.FormatContext()->iformat->name);
    const int stream = probe.FirstAudioStream();
    if (stream >= 0) {
        const AVCodecParameters* par = probe.FormatContext()->streams[stream]->codecpar;
        result.SampleRate = par->sample_rate;
        result.Channels = par->ch_layout.nb_channels;
        TAudioStreamInfo audio;
        if (probe.GetAudioStreamInfo(stream, audio)) result.Codec = QString::fromStdString(audio.CodecDesc);
    }
    TFileStreamInfo info;
    if (probe.GetFileStreamInfo(info)) result.Duration = info.Duration;
    probe.CloseFile();
    return result;
}

// A tag of an output as ffprobe reads it, its key in any case; "" when it has none.
QString ProbedTag(const QString& path, const QString& key) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1", path});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0) return "(ffprobe failed)";
    const QString prefix = "TAG:" + key + "=";
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n'))
        if (line.startsWith(prefix, Qt::CaseInsensitive)) return line.mid(prefix.size()).trimmed();
    return {};
}

// The integrated loudness of a file as the ffmpeg tool's R128 meter finds it; NaN when it does not say.
double ReferenceLoudness(const QString& path) {
    QProcess meter;
    meter.start("ffmpeg", {"-hide_banner", "-nostats", "-i", path, "-af", "ebur128", "-f", "null", "-"});
    if (!meter.waitForFinished(60000) || meter.exitCode() != 0) return NAN;
    double lufs = NAN;
    for (const QString& line : QString::fromUtf8(meter.readAllStandardError()).split('\n')) {
        const QStringList words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "I:") lufs = words[1].toDouble();
    }
    return lufs;
}

// A FLAC file whose header does not tell its length, as one written to a pipe.
void ForgetFlacLength(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("fLaC"));
    // The stream info block starts at byte 8; its 36-bit sample count ends it
    // 18 bytes in: the low half of byte 21 and bytes 22 to 25.
    bytes[21] = static_cast<char>(bytes[21] & 0xF0);
    for (int i = 22; i <= 25; ++i) bytes[i] = 0;
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class PageConvertingTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> out_;
    // The state record the main window would hand the page.
    TGlobalVars vars_;
    std::unique_ptr<THost> host_;
    TPageConverting* page_ = nullptr;
    TBoxAnswerer boxes_;

    QString Media(const char* name) const { return media_.path() + "/" + QString::fromUtf8(name); }
    QString Out(const char* name) const { return out_->path() + "/" + QString::fromUtf8(name); }
    QTreeWidgetItem* Entry(int i) const { return page_->ListViewConverting->topLevelItem(i); }
    QString Status(int i) const { return Entry(i)->text(TPageConverting::ccStatus); }
    QString Progress(int i) const { return Entry(i)->text(TPageConverting::ccProgress); }

    void ChooseOutput(TOutputFormat format, int preset) {
        vars_.OutputFormat = format;
        vars_.Presets[format] = preset;
    }

    // Runs the batch the way the main window does and waits for its end.
    void RunBatch(const TFileListModel& files) {
        page_->PrepareRun();
        page_->StartConvert(files);
        QTRY_COMPARE_WITH_TIMEOUT(host_->ConvertDone, 1, RunTimeoutMs);
    }

    void VerifyStatusAtRest() {
        QCOMPARE(page_->LabelCurrentFile->text(), QString("..."));
        QCOMPARE(page_->LabelProgress->text(), QString("0%"));
        QCOMPARE(page_->ProgressBar->value(), 0);
    }

    static TBatchFileEnd End(size_t index, TBatchOutcome outcome) {
        TBatchFileEnd end;
        end.Index = index;
        end.Outcome = outcome;
        return end;
    }

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        const std::wstring folder = media_.path().toStdWString();
        for (const wchar_t* name : {L"tone-44k-stereo.wav", L"text.mp3"}) GenerateFixture(name, folder);
        WriteToneWav(folder + L"/short.wav", 22050, 2, 1.0);
        // 500 Hz: WMA's highest item gives it 16 kbit/s, below what the
        // encoder takes.
        WriteToneWav(folder + L"/low-rate.wav", 500, 1, 1.0, AV_SAMPLE_FMT_U8);
        // Long enough for the engine to report on it, every half second, for
        // a few seconds while it converts, however fast the machine.
        WriteTone(folder + L"/streamed.flac", "flac", 44100, 2, 400.0);
        ForgetFlacLength(Media("streamed.flac"));
        // Its header says ten seconds; its frames stop at about five.
        WriteTone(folder + L"/cut.flac", "flac", 44100, 2, 10.0);
        QFile cut(Media("cut.flac"));
        QVERIFY(cut.resize(cut.size() / 2));
        for (const wchar_t* name : {L"/long1.wav", L"/long2.wav", L"/long3.wav"})
            WriteToneWav(folder + name, 44100, 2, 30.0);
        // Still converting whenever a test looks.
        WriteToneWav(folder + L"/ten-minutes.wav", 8000, 1, 600.0);
    }

    void init() {
        out_ = std::make_unique<QTemporaryDir>();
        QVERIFY(out_->isValid());
        vars_ = TGlobalVars{};
        vars_.OutputFileDir = out_->path().toStdString();
        vars_.ParallelTasks = 1;
        boxes_.Seen.clear();
        boxes_.Answer = QMessageBox::No;
        boxes_.AnswerWhen = nullptr;
        boxes_.OnAnswer = nullptr;
        host_ = std::make_unique<THost>();
        page_ = new TPageConverting(vars_, host_.get());
        page_->setParent(host_.get());
    }

    // The page goes with its host, as with the main window: a batch still
    // running ends first.
    void cleanup() {
        host_.reset();
        page_ = nullptr;
        out_.reset();
    }

    // Under a large font the narrow columns still fit their texts, and a
    // current file longer than its line is shortened, whole in the tooltip.
    void longTextsFitOrShowWholeInATooltip() {
        const QFont saved = QApplication::font();
        QFont big = saved;
        big.setPointSize(14);
        QApplication::setFont(big);
        {
            QWidget host;
            TPageConverting page(vars_, &host);
            page.resize(698, 400);
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            const QFontMetrics metrics(page.ListViewConverting->font());
            QVERIFY(page.ListViewConverting->columnWidth(TPageConverting::ccDuration) >
                    metrics.horizontalAdvance(QStringLiteral("00:00:02.000")));
            const QString path = QString("/music/").repeated(30) + "song.wav";
            page.LabelCurrentFile->setText(path);
            QVERIFY(page.LabelCurrentFile->Elided());
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), page.LabelCurrentFile->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(page.LabelCurrentFile, &help);
            QCOMPARE(QToolTip::text(), path);
        }
        QApplication::setFont(saved);
    }

    void timeTexts() {
        QCOMPARE(FormatTimeSpan(80 * SecondDays), std::string("0:01:20"));
        QCOMPARE(FormatTimeSpan(25.0 / 24), std::string("1:00:00"));
        QCOMPARE(FormatTimeSpan(-(90 * 60 + 5) * SecondDays), std::string("1:30:05"));
        // Rounded to milliseconds first: 59.9996 s is a minute, a whisker
        // short of a day is a whole day and drops out.
        QCOMPARE(FormatTimeSpan(59.9996 * SecondDays), std::string("0:01:00"));
        QCOMPARE(FormatTimeSpan(1.0 - 0.0004 * SecondDays), std::string("0:00:00"));
        QCOMPARE(FormatTimeSpan(std::nan("")), std::string("0:00:00"));

        // The worked example: 30 s of 240 s done after 10 s.
        TBatchTimeTexts t = BatchTimeTexts(10 * SecondDays, 30000, 240000000);
        QCOMPARE(t.Estimated, std::string("0:01:20"));
        QCOMPARE(t.Elapsed, std::string("0:00:10"));
        QCOMPARE(t.TimeLeft, std::string("0:01:10"));
        // Nothing done yet, or no length known: no estimate.
        for (const TBatchTimeTexts& none :
             {BatchTimeTexts(10 * SecondDays, 0, 240000000), BatchTimeTexts(10 * SecondDays, 5000, 0)}) {
            QCOMPARE(none.Estimated, std::string("..."));
            QCOMPARE(none.Elapsed, std::string("0:00:10"));
            QCOMPARE(none.TimeLeft, std::string("..."));
        }
        // More done than the known length (files of unknown length): the
        // estimate is the time so far, nothing is left.
        t = BatchTimeTexts(10 * SecondDays, 60000, 30000000);
        QCOMPARE(t.Estimated, std::string("0:00:10"));
        QCOMPARE(t.TimeLeft, std::string("0:00:00"));
        // A clock set back shows no time gone by.
        QCOMPARE(BatchTimeTexts(-5 * SecondDays, 1000, 2000000).Elapsed, std::string("0:00:00"));

        const double now = LocalTimeDays();
        const QDateTime local = QDateTime::currentDateTime();
        const double expected = QDate(1899, 12, 30).daysTo(local.date()) +
                                local.time().msecsSinceStartOfDay() / 86400000.0;
        QVERIFY2(std::abs(now - expected) < 60 * SecondDays, QByteArray::number(now - expected, 'f', 8));
    }

    void checkBoxesStoreTheirState() {
        page_->CheckBoxPlayASound->click();
        QVERIFY(vars_.PlayASoundWhenFinished);
        QVERIFY(!vars_.ShutDownWhenFinished);
        page_->CheckBoxShutdown->click();
        QVERIFY(vars_.ShutDownWhenFinished);
        page_->CheckBoxPlayASound->click();
        QVERIFY(!vars_.PlayASoundWhenFinished);

        vars_.PlayASoundWhenFinished = true;
        vars_.ShutDownWhenFinished = false;
        page_->LoadPostOptions();
        QVERIFY(page_->CheckBoxPlayASound->isChecked());
        QVERIFY(!page_->CheckBoxShutdown->isChecked());
        QVERIFY(vars_.PlayASoundWhenFinished);
        QVERIFY(!vars_.ShutDownWhenFinished);
    }

    // Every row gets an entry at once; each settles as its file does, and
    // the log says what became of it. A file that cannot be read fails
    // before it is queued, is named in the failure box, and the batch ends
    // only once the box is closed.
    void eachFileSettlesOnItsEntryAndInTheLog() {
        TFileListModel files;
        AppendRow(files, Media("text.mp3"), 0);
        AppendRow(files, Media("tone-44k-stereo.wav"), 2000000);
        ChooseOutput(ofMP3, 0);
        vars_.LogLines.clear();
        int doneWhileOpen = -1;
        boxes_.OnAnswer = [&] { doneWhileOpen = host_->ConvertDone; };
        page_->PrepareRun();
        page_->StartConvert(files);
        QCOMPARE(page_->EntryCount(), 2);
        QCOMPARE(Status(1), QString("Waiting"));
        QCOMPARE(vars_.BatchDuration, int64_t(2000000));
        QTRY_COMPARE_WITH_TIMEOUT(host_->ConvertDone, 1, RunTimeoutMs);

        QCOMPARE(Status(0), QString("Failed"));
        QCOMPARE(Entry(0)->text(TPageConverting::ccDuration), QString("Duration is not preseted"));
        QStringList texts;
        for (int c = 0; c < 5; ++c) texts << Entry(1)->text(c);
        QCOMPARE(texts, QStringList({"tone-44k-stereo.wav", "00:00:02.000", "Finish", "100%", media_.path() + "/"}));
        QCOMPARE(vars_.FailedCount, 1);
        QCOMPARE(vars_.FinishedDuration, int64_t(2000));
        const TPageConverting::TBatchTotals totals = page_->Totals();
        QCOMPARE(totals.Total, 2);
        QCOMPARE(totals.Succeeded, 1);
        QCOMPARE(totals.Failed, 1);

        QCOMPARE(vars_.LogLines.size(), size_t(3));
        QVERIFY2(vars_.LogLines[0].rfind("File load error: ", 0) == 0, vars_.LogLines[0].c_str());
        QVERIFY(vars_.LogLines[0].find("text.mp3") != std::string::npos);
        QCOMPARE(vars_.LogLines[1], "File not queued for conversion: " + Media("text.mp3").toStdString());
        QCOMPARE(vars_.LogLines[2], std::string("File has been added to convert list."));

        QCOMPARE(boxes_.Seen.size(), 1);
        QCOMPARE(boxes_.Seen[0].Icon, QMessageBox::Warning);
        QVERIFY2(boxes_.Seen[0].Text.contains(Media("text.mp3")), qPrintable(boxes_.Seen[0].Text));
        QCOMPARE(doneWhileOpen, 0);
        // The output is named with the format's extension.
        const TProbed probed = ProbeFile(Out("tone-44k-stereo.mp3"));
        QCOMPARE(probed.Format, QString("mp3"));
        QVERIFY(probed.Duration > 1900000);
        // Loudness kept as it is: nothing is measured or tagged.
        QCOMPARE(ProbedTag(Out("tone-44k-stereo.mp3"), "REPLAYGAIN_TRACK_GAIN"), QString());
        QVERIFY(!page_->Running());
        VerifyStatusAtRest();
    }

    // The runner's events fed straight to the page: each entry shows its own
    // file, the status group the whole batch, with the media time of every
    // running file.
    void eventsShowEachFileAndTheWholeBatch() {
        TFileListModel files;
        AppendRow(files, Media("tone-44k-stereo.wav"), 2000000);
        AppendRow(files, Media("short.wav"), 1000000);
        page_->BeginBatch(files);
        QCOMPARE(page_->EntryCount(), 2);
        QCOMPARE(vars_.BatchDuration, int64_t(3000000));
        const double start = 45000.5;
        vars_.BatchStartTime = start;
        page_->Clock = [start] { return start + 10 * SecondDays; };
        page_->StatusRefreshMs = 0;  // the status group after every event

        // Started, nothing written yet: nothing is done, and there is no estimate.
        page_->FileStarted(0);
        page_->FileProgress(0, 0, 2000000);
        QCOMPARE(Progress(0), QString("0%"));
        QCOMPARE(Status(0), QString("Converting"));
        QCOMPARE(page_->LabelProgress->text(), QString("0%"));
        QCOMPARE(page_->LabelEstimated->text(), QString("..."));
        QCOMPARE(page_->LabelTimeLeft->text(), QString("..."));
        QCOMPARE(page_->LabelElapsed->text(), QString("0:00:10"));
        QCOMPARE(page_->LabelCurrentFile->text(), Media("tone-44k-stereo.wav"));

        // 1.5 s of the batch's 3 s after 10 s.
        page_->FileProgress(0, 1500000, 2000000);
        QCOMPARE(Progress(0), QString("75%"));
        QCOMPARE(page_->ProgressBar->value(), 50);
        QCOMPARE(page_->LabelProgress->text(), QString("50%"));
        QCOMPARE(page_->LabelEstimated->text(), QString("0:00:20"));
        QCOMPARE(page_->LabelTimeLeft->text(), QString("0:00:10"));
        QCOMPARE(Status(1), QString("Waiting"));

        // A second file running beside it, before it reports, then with its
        // progress: both count, 2.25 s of 3 s.
        page_->FileStarted(1);
        QCOMPARE(page_->LabelCurrentFile->text(), Media("tone-44k-stereo.wav") + " + 1 more");
        page_->FileProgress(1, 750000, 1000000);
        QCOMPARE(Progress(1), QString("75%"));
        QCOMPARE(Progress(0), QString("75%"));
        QCOMPARE(page_->ProgressBar->value(), 75);
        QCOMPARE(page_->LabelEstimated->text(), QString("0:00:13"));
        QCOMPARE(page_->LabelTimeLeft->text(), QString("0:00:03"));

        // The first converts: its length is finished time now, not running
        // time, and the bar does not move back.
        page_->FileFinished(End(0, TBatchOutcome::Converted));
        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Progress(0), QString("100%"));
        QCOMPARE(vars_.FinishedDuration, int64_t(2000));
        QCOMPARE(page_->ProgressBar->value(), 91);
        QCOMPARE(page_->LabelCurrentFile->text(), Media("short.wav"));
        // Its late reports change nothing, nor do reports for no entry.
        page_->FileProgress(0, 100000, 2000000);
        page_->FileProgress(7, 100000, 2000000);
        QCOMPARE(Progress(0), QString("100%"));
        QCOMPARE(page_->ProgressBar->value(), 91);

        // A report past the total stays at the end; without a total the entry
        // says so.
        page_->FileProgress(1, 1100000, 1000000);
        QCOMPARE(Progress(1), QString("100%"));
        QCOMPARE(page_->ProgressBar->value(), 100);
        page_->FileProgress(1, 1100000, -1);
        QCOMPARE(Progress(1), QString("N/A"));

        // No length known at all: the bar counts the files that have ended.
        vars_.BatchDuration = 0;
        page_->FileProgress(1, 1100000, -1);
        QCOMPARE(page_->LabelProgress->text(), QString("50%"));
        QCOMPARE(page_->LabelEstimated->text(), QString("..."));

        // Events in quick succession: the status group may lag behind, but
        // it ends up showing the last of them.
        page_->StatusRefreshMs = 200;
        vars_.BatchDuration = 3000000;
        for (const int64_t done : {100000, 200000, 400000}) page_->FileProgress(1, done, -1);
        QTRY_COMPARE(page_->LabelProgress->text(), QString("80%"));  // 2 s + 0.4 s of 3 s

        page_->ResetPage();
        QCOMPARE(page_->EntryCount(), 0);
        for (QLabel* label : {page_->LabelEstimated, page_->LabelElapsed, page_->LabelTimeLeft})
            QCOMPARE(label->text(), QString("..."));
        VerifyStatusAtRest();
    }

    // WMA's highest item keeps the source's rate and sizes the bit rate by it;
    // the encoder refuses 16 kbit/s only when it is opened, at the start of
    // the file's run.
    void secondOfThreeFailsWhileConverting() {
        TFileListModel files;
        AppendRow(files, Media("tone-44k-stereo.wav"), 2400000000);  // counted as 40 minutes
        AppendRow(files, Media("low-rate.wav"), 1000000);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofWMA, 4);
        vars_.ParallelTasks = 2;
        // The failure box stays open until the other two files are written
        // to their end, and a good while after: the run goes on meanwhile,
        // but the third file's end and the batch's end wait for the box.
        bool othersWritten = false;
        int heldAfter = 0;
        auto othersDone = [&] {
            othersWritten = othersWritten || (ProbeFile(Out("tone-44k-stereo.wma")).Duration > 1900000 &&
                                              ProbeFile(Out("short.wma")).Duration > 900000);
            return othersWritten && ++heldAfter > 200;
        };
        QString thirdStatusWhileOpen;
        int doneWhileOpen = -1;
        boxes_.AnswerWhen = othersDone;
        boxes_.OnAnswer = [&] {
            thirdStatusWhileOpen = Status(2);
            doneWhileOpen = host_->ConvertDone;
        };
        RunBatch(files);
        QVERIFY(othersWritten);
        QVERIFY2(thirdStatusWhileOpen != "Finish", qPrintable(thirdStatusWhileOpen));
        QCOMPARE(doneWhileOpen, 0);

        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Status(1), QString("Failed"));
        QCOMPARE(Status(2), QString("Finish"));
        QCOMPARE(Progress(0), QString("100%"));
        QCOMPARE(Progress(2), QString("100%"));
        QCOMPARE(vars_.FailedCount, 1);
        // The converted files count with the durations page 1 recorded.
        QCOMPARE(vars_.FinishedDuration, int64_t(2400000 + 1000));

        QCOMPARE(boxes_.Seen.size(), 1);
        const TBoxAnswerer::TSeen& box = boxes_.Seen[0];
        QCOMPARE(box.Title, QString("Tembrio Audio Converter"));
        QCOMPARE(box.Icon, QMessageBox::Warning);
        QVERIFY2(box.Text.startsWith("Error while opening encoder for output stream #0.0 (Audio)"),
                 qPrintable(box.Text));
        QCOMPARE(box.Details, Media("low-rate.wav"));

        for (const auto& [name, rate] : {std::pair{"tone-44k-stereo.wma", 44100}, std::pair{"short.wma", 22050}}) {
            const TProbed probed = ProbeFile(Out(name));
            QCOMPARE(probed.Format, QString("asf"));
            QVERIFY2(probed.Codec.startsWith("wmav2"), qPrintable(probed.Codec));
            QCOMPARE(probed.SampleRate, rate);
            QCOMPARE(probed.Channels, 2);
        }
        VerifyStatusAtRest();
        QCOMPARE(host_->ConvertDone, 1);
    }

    void fileOfUnknownLength() {
        QCOMPARE(ProbeFile(Media("streamed.flac")).Duration, int64_t(-1));
        TFileListModel files;
        AppendRow(files, Media("streamed.flac"), 0);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        page_->StatusRefreshMs = 0;  // every report is painted at the next tick
        QStringList seen;
        connect(page_->ListViewConverting, &QTreeWidget::itemChanged, this, [&](QTreeWidgetItem* item, int column) {
            if (page_->ListViewConverting->indexOfTopLevelItem(item) == 0 && column == TPageConverting::ccProgress)
                seen << item->text(column);
        });
        RunBatch(files);

        QCOMPARE(Entry(0)->text(TPageConverting::ccDuration), QString("Duration is not preseted"));
        QCOMPARE(Entry(1)->text(TPageConverting::ccDuration), QString("00:00:01.000"));
        QCOMPARE(vars_.BatchDuration, int64_t(1000000));
        QVERIFY2(seen.contains("N/A"), qPrintable(seen.join(',')));
        // No percentage before the file's end: the engine never knew a total.
        QCOMPARE(seen.filter(QRegularExpression("^[0-9]+%$")), QStringList({"100%"}));
        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Status(1), QString("Finish"));
        const TProbed probed = ProbeFile(Out("streamed.mp3"));
        QCOMPARE(probed.Format, QString("mp3"));
        QVERIFY(probed.Duration > 399000000);
    }

    // What could be read of a damaged source converts, and its entry says
    // so; the batch counts it as converted, with a warning.
    void sourceCutShortConvertsWithAWarning() {
        TFileListModel files;
        AppendRow(files, Media("cut.flac"), 10000000);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        RunBatch(files);

        QCOMPARE(Status(0), QString("Finish (warning)"));
        const QString warning = Entry(0)->toolTip(TPageConverting::ccStatus);
        const QRegularExpression damaged("^source damaged: only [0-9.]+ s of 10.0 s could be read$");
        QVERIFY2(damaged.match(warning).hasMatch(), qPrintable(warning));
        QCOMPARE(Progress(0), QString("100%"));
        QCOMPARE(Status(1), QString("Finish"));
        QVERIFY(Entry(1)->toolTip(TPageConverting::ccStatus).isEmpty());
        const TPageConverting::TBatchTotals totals = page_->Totals();
        QCOMPARE(totals.Succeeded, 2);
        QCOMPARE(totals.Warned, 1);
        QVERIFY(boxes_.Seen.isEmpty());
        QVERIFY(ProbeFile(Out("cut.mp3")).Duration > 3000000);
    }

    // Files found under folders go to the same folders below the output
    // folder, made as needed; a file added by itself goes to the output
    // folder. Names are made unique in each folder, and a folder that cannot
    // be made fails its file only.
    void keepingTheFolderStructureMirrorsATree() {
        const QString root = Media("tree");
        QVERIFY(QDir().mkpath(root + "/a/b") && QDir().mkpath(root + "/c"));
        for (const char* name : {"/top.wav", "/a/mid.wav", "/a/b/deep.wav", "/c/blocked.wav"})
            WriteToneWav((root + name).toStdWString(), 22050, 1, 0.3);
        WriteTone((root + "/a/b/deep.flac").toStdWString(), "flac", 22050, 1, 0.3);
        QFile blocker(Out("c"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        TFileListModel files;
        for (const char* name : {"/top.wav", "/a/mid.wav", "/a/b/deep.wav", "/a/b/deep.flac", "/c/blocked.wav"})
            AppendRow(files, root + name, 300000, root);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        vars_.KeepFolderStructure = true;
        vars_.ParallelTasks = 2;
        RunBatch(files);

        for (const char* name : {"top.mp3", "a/mid.mp3", "a/b/deep.mp3", "a/b/deep(1).mp3", "short.mp3"})
            QCOMPARE(ProbeFile(Out(name)).Format, QString("mp3"));
        QCOMPARE(Status(4), QString("Failed"));
        const TPageConverting::TBatchTotals totals = page_->Totals();
        QCOMPARE(totals.Total, 6);
        QCOMPARE(totals.Succeeded, 5);
        QCOMPARE(totals.Failed, 1);
        QCOMPARE(boxes_.Seen.size(), 1);
        QVERIFY2(boxes_.Seen[0].Text.contains(root + "/c/blocked.wav"), qPrintable(boxes_.Seen[0].Text));
    }

    // Page 2's loudness choice reaches the runner: the output carries its
    // track gain.
    void replayGainChoiceTagsTheOutput() {
        TFileListModel files;
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        vars_.Loudness = lcReplayGain;
        RunBatch(files);
        QCOMPARE(Status(0), QString("Finish"));
        const QString gain = ProbedTag(Out("short.mp3"), "REPLAYGAIN_TRACK_GAIN");
        QVERIFY2(gain.endsWith(" dB"), qPrintable(gain));
        bool number = false;
        gain.chopped(3).toDouble(&number);
        QVERIFY2(number, qPrintable(gain));
    }

    // "Normalise albums to": the two files of an album keep the 10 LU
    // between them, where each alone would be brought to the target.
    void albumNormalisingChoiceKeepsTheAlbumsLevels() {
        TFileListModel files;
        for (const double dbfs : {-20.0, -30.0}) {
            const QString name = QString("album/%1.wav").arg(-dbfs);
            QVERIFY(QDir(media_.path()).mkpath("album"));
            WriteSignalWav(Media(qPrintable(name)).toStdString(), 48000, 2, 4, SineAt(dbfs, 1000, 48000),
                           {{"IPRD", "An Album"}});
            AppendRow(files, Media(qPrintable(name)), 4000000);
        }
        ChooseOutput(ofFLAC, 0);
        vars_.Loudness = lcNormaliseAlbums16;
        RunBatch(files);
        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Status(1), QString("Finish"));
        const double louder = ReferenceLoudness(Out("20.flac")), softer = ReferenceLoudness(Out("30.flac"));
        QVERIFY2(std::fabs(louder - softer - 10) < 0.2, qPrintable(QString("%1 %2").arg(louder).arg(softer)));
    }

    // No file could be queued: the batch still ends, and the page takes the
    // next batch.
    void batchWithNothingQueuedEnds() {
        TFileListModel files;
        AppendRow(files, Media("text.mp3"), 0);
        RunBatch(files);
        QCOMPARE(page_->EntryCount(), 1);
        QCOMPARE(Status(0), QString("Failed"));
        QCOMPARE(vars_.FailedCount, 1);
        QCOMPARE(boxes_.Seen.size(), 1);
        files.Clear();
        AppendRow(files, Media("short.wav"), 1000000);
        host_->ConvertDone = 0;
        RunBatch(files);
        QCOMPARE(page_->EntryCount(), 1);
        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(vars_.FailedCount, 0);
    }

    // Without the media libraries nothing can start: the user is told why,
    // and the batch ends.
    void runWithoutTheLibrariesSaysWhyAndEnds() {
        struct TReload {
            ~TReload() { FFLoader()->Load(EngineLibraries); }
        } reload;
        FFLoader()->Unload(EngineLibraries);
        TFileListModel files;
        AppendRow(files, Media("short.wav"), 1000000);
        boxes_.Answer = QMessageBox::Ok;
        RunBatch(files);
        QCOMPARE(boxes_.Seen.size(), 1);
        QCOMPARE(boxes_.Seen[0].Icon, QMessageBox::Critical);
        QCOMPARE(boxes_.Seen[0].Text.toStdString(), vars_.LogLines.back());
        QCOMPARE(page_->EntryCount(), 0);
    }

    // A file handed over while the batch converts joins it at its end, as
    // long as the batch runs.
    void aFileHandedOverWhileConvertingJoinsTheBatch() {
        TFileListModel files;
        AppendRow(files, Media("long1.wav"), 30000000);
        ChooseOutput(ofMP3, 0);
        QVERIFY(!page_->QueueFile(Media("short.wav"), 1000000));
        page_->PrepareRun();
        page_->StartConvert(files);
        QVERIFY(page_->QueueFile(Media("short.wav"), 1000000));
        QCOMPARE(page_->EntryCount(), 2);
        QCOMPARE(Status(1), QString("Waiting"));
        QCOMPARE(vars_.BatchDuration, int64_t(31000000));
        QTRY_COMPARE_WITH_TIMEOUT(host_->ConvertDone, 1, RunTimeoutMs);

        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Status(1), QString("Finish"));
        QCOMPARE(ProbeFile(Out("short.mp3")).Format, QString("mp3"));
        QVERIFY(!page_->QueueFile(Media("short.wav"), 1000000));
        QCOMPARE(page_->EntryCount(), 2);
    }

    void cancelAnsweredNoLetsTheRunFinish() {
        TFileListModel files;
        AppendRow(files, Media("tone-44k-stereo.wav"), 2000000);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        page_->PrepareRun();
        page_->StartConvert(files);
        boxes_.Answer = QMessageBox::No;
        QVERIFY(!page_->CancelConversion());
        QTRY_COMPARE_WITH_TIMEOUT(host_->ConvertDone, 1, RunTimeoutMs);

        QCOMPARE(boxes_.Seen.size(), 1);
        const TBoxAnswerer::TSeen& box = boxes_.Seen[0];
        QCOMPARE(box.Text, QString("Do you really want to cancel the conversion?"));
        QCOMPARE(box.Title, QString("Tembrio Audio Converter"));
        QCOMPARE(box.Icon, QMessageBox::Question);
        QCOMPARE(box.Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(Status(0), QString("Finish"));
        QCOMPARE(Status(1), QString("Finish"));
        QCOMPARE(vars_.FailedCount, 0);
        for (const char* name : {"tone-44k-stereo.mp3", "short.mp3"}) {
            const TProbed probed = ProbeFile(Out(name));
            QCOMPARE(probed.Format, QString("mp3"));
            QCOMPARE(probed.SampleRate, 44100);
            QCOMPARE(probed.Channels, 2);
        }
    }

    // The window goes mid-batch: the running file stops, kept as far as it
    // got under a name that says so, the next one never starts, and nothing
    // more is shown.
    void endingTheRunKeepsTheRunningFileAndShowsNothingMore() {
        TFileListModel files;
        AppendRow(files, Media("ten-minutes.wav"), 600000000);
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        page_->PrepareRun();
        page_->StartConvert(files);
        QTRY_COMPARE_WITH_TIMEOUT(Status(0), QString("Converting"), RunTimeoutMs);
        page_->EndRun();
        QVERIFY(!page_->Running());
        QTest::qWait(50);
        QCOMPARE(host_->ConvertDone, 0);
        QVERIFY(boxes_.Seen.isEmpty());
        QCOMPARE(Status(0), QString("Converting"));
        const TProbed kept = ProbeFile(Out("ten-minutes (stopped).mp3"));
        QCOMPARE(kept.Format, QString("mp3"));
        QVERIFY(kept.Duration > 0 && kept.Duration < 600000000);
        QVERIFY(!QFile::exists(Out("ten-minutes.mp3")));
        QVERIFY(!QFile::exists(Out("short.mp3")));
    }

    // The batch ends while "Cancel" asks: the question goes unanswered, as
    // its answer no longer matters, and the summary follows.
    void theCancelQuestionClosesWhenTheBatchEnds() {
        TFileListModel files;
        AppendRow(files, Media("short.wav"), 1000000);
        ChooseOutput(ofMP3, 0);
        page_->PrepareRun();
        page_->StartConvert(files);
        boxes_.Answer = QMessageBox::Yes;
        boxes_.AnswerWhen = [] { return false; };
        QVERIFY(!page_->CancelConversion());
        QVERIFY(boxes_.Seen.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(host_->ConvertDone, 1, RunTimeoutMs);
        QCOMPARE(Status(0), QString("Finish"));
        QVERIFY(QFile::exists(Out("short.mp3")));
    }

    // Cancelled once the first file is converted, two at a time: one file
    // cut short, one never started, and the counts say so.
    void cancelAnsweredYesStopsTheRun() {
        TFileListModel files;
        AppendRow(files, Media("short.wav"), 1000000);
        for (const char* name : {"long1.wav", "long2.wav", "long3.wav"}) AppendRow(files, Media(name), 30000000);
        ChooseOutput(ofMP3, 3);
        vars_.ParallelTasks = 2;
        boxes_.Answer = QMessageBox::Yes;
        connect(page_->ListViewConverting, &QTreeWidget::itemChanged, page_, [this](QTreeWidgetItem* item) {
            if (page_->ListViewConverting->indexOfTopLevelItem(item) == 0 && Status(0) == "Finish")
                QMetaObject::invokeMethod(page_, [this] { QVERIFY(page_->CancelConversion()); }, Qt::QueuedConnection);
        });
        RunBatch(files);

        QCOMPARE(Status(0), QString("Finish"));
        for (int i = 1; i < 4; ++i) QCOMPARE(Status(i), QString("Stopped"));
        QCOMPARE(Progress(3), QString());
        const TPageConverting::TBatchTotals totals = page_->Totals();
        QCOMPARE(totals.Total, 4);
        QCOMPARE(totals.Succeeded, 1);
        QCOMPARE(totals.Failed, 0);
        QCOMPARE(totals.Stopped, 3);
        QCOMPARE(vars_.FailedCount, 0);
        QCOMPARE(vars_.FinishedDuration, int64_t(1000));
        QCOMPARE(EndSoundFile("/t/", totals.Failed, totals.Stopped), std::string("/t/sounds/fail.wav"));
        QCOMPARE(boxes_.Seen.size(), 1);  // the question, and no failure
        QVERIFY(!QFile::exists(Out("long3.mp3")));
        VerifyStatusAtRest();
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<PageConvertingTest>(argc, argv); }

#include "PageConvertingTest.moc"
