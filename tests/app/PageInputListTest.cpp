// Page 1 with real media: adding files by the dialog's names and by drops,
// the failure report, the rows' texts and pictures, and the list actions.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "GuiTestSupport.h"
#include "AddFailed.h"
#include "FFLoad.h"
#include "Fixtures.h"
#include "CommandLine.h"
#include "FileDrop.h"
#include "FileNames.h"
#include "FormMain.h"
#include "MainThread.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "SourceFiles.h"
#include "globals.h"

namespace {

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), text.size());
}

bool IsRedish(QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80; }
bool IsBlueish(QRgb c) { return qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80; }

} // namespace

class PageInputListTest : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QTemporaryDir> appDir_;
    std::unique_ptr<TFormMain> form_;
    TPageInputList* page_ = nullptr;
    TUrlRecorder urls_;

    TGlobalVars& Vars() const { return form_->Vars(); }
    int CountLogLines(const std::string& prefix) const { return ::CountLogLines(Vars().LogLines, prefix); }
    QString Media(const char* name) const { return media_.path() + "/" + QString::fromUtf8(name); }
    QStringList Order() const {
        QStringList names;
        for (int i = 0; i < page_->Model()->rowCount(); ++i) names << page_->Model()->FileFullName(i);
        return names;
    }
    QString Cell(int row, int column) const { return page_->Model()->Cell(row, column); }
    void Add(const QStringList& names) { QVERIFY(AddAndWait(page_, names)); }

    // The enabled states of Delete, Play, Clear, Move Up and Move Down.
    QString Enabled() const {
        QString s;
        for (QAction* a : {page_->ActionDelete, page_->ActionPlay, page_->ActionClear, page_->ActionMoveUp,
                           page_->ActionMoveDown})
            s += a->isEnabled() ? '1' : '0';
        return s;
    }

    void SendDrop(QWidget* target, const QList<QUrl>& urls, bool* accepted) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        *accepted = enter.isAccepted();
        if (!*accepted) return;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        // The drop is answered first and the files are added right after.
        QCoreApplication::sendPostedEvents(page_, QEvent::MetaCall);
    }

private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
        QVERIFY2(FFLoader()->Load(EngineLibraries), FFLoader()->LastError().c_str());
        const std::wstring folder = media_.path().toStdWString();
        for (const wchar_t* name : {L"tone-44k-stereo.wav", L"video-audio.mp4", L"video-only.mkv",
                                    L"unknown-duration.m4v", L"text.mp3"})
            GenerateFixture(name, folder);
        // A nominal bit rate just below 128 kbit/s, which the stream header keeps.
        TFixtureMedia vorbis;
        vorbis.Seconds = 1.0;
        vorbis.Audio.push_back({"libvorbis", 44100, 2, AV_SAMPLE_FMT_NONE, 440.0, 127999});
        WriteMedia(folder + L"/nominal.ogg", vorbis);
        QDesktopServices::setUrlHandler("file", &urls_, "open");
        QDesktopServices::setUrlHandler("https", &urls_, "open");
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("https");
    }

    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid() && appDir_->isValid());
        qputenv("HOME", home_->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_->path() + "/.config").toUtf8());
        urls_.Urls.clear();
        form_ = std::make_unique<TFormMain>((appDir_->path() + "/tembrio").toStdString());
        QCoreApplication::sendPostedEvents(form_.get(), WM_AFTERSTART);
        page_ = form_->TabSheetStep1;
        QVERIFY(page_->ActionAdd->isEnabled());
        Vars().LogLines.clear();
    }

    void cleanup() {
        form_.reset();
        appDir_.reset();
        home_.reset();
    }

    void oneBadFileAmongThreeIsReportedOnce() {
        // A second add while the first runs queues behind it: one add, one report.
        const QString bad = Media("text.mp3");
        page_->AddFiles({Media("tone-44k-stereo.wav"), bad});
        page_->AddFiles({Media("video-audio.mp4")});
        QVERIFY(WaitForAdd(page_));

        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav"), Media("video-audio.mp4")}));
        QCOMPARE(Vars().FailedFiles.size(), size_t(1));
        const std::string error = Vars().FailedFiles[0];
        QVERIFY2(error.find(bad.toStdString()) != std::string::npos, error.c_str());
        QCOMPARE(CountLogLines("File load error: "), 1);
        QVERIFY(std::find(Vars().LogLines.begin(), Vars().LogLines.end(), "File load error: " + error) !=
                Vars().LogLines.end());

        TFormFailedAddFile* dialog = page_->FormFailedAddFile;
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->windowTitle(), QString("Failed to Add Files"));
        QCOMPARE(dialog->findChild<QLabel*>("LabelExplanation")->text(),
                 QString("Failed to add the following files. The converter might not support the file type or might "
                         "not support the codec that was used to compress the file. Click \"More Information\" to "
                         "view a list of supported file types and releavant codecs."));
        QCOMPARE(dialog->ListViewFiles->headerItem()->text(0), QString("File"));
        QCOMPARE(dialog->ListViewFiles->columnWidth(0), 380);
        QCOMPARE(dialog->ListViewFiles->topLevelItemCount(), 1);
        QCOMPARE(dialog->ListViewFiles->topLevelItem(0)->text(0), QString::fromStdString(error));
        QCOMPARE(dialog->ButtonClose->text(), QString("Close"));
        QVERIFY(dialog->ButtonClose->isDefault());
        QCOMPARE(dialog->ButtonMoreInfo->text(), QString("More Information..."));
        const QRect main = form_->frameGeometry();
        QCOMPARE(dialog->x(), main.left() + (main.width() - dialog->width()) / 2);
        QCOMPARE(dialog->y(), main.top() + (main.height() - dialog->height()) / 2);
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());  // fixed size

        // "More Information..." opens the help pages and leaves the list open.
        dialog->ButtonMoreInfo->click();
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl("https://tembrio.org/help/")}));
        QVERIFY(dialog->isVisible());
        dialog->ButtonClose->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!page_->FormFailedAddFile);

        // The next add operation starts with no failures and shows nothing.
        Add({Media("video-only.mkv")});
        QVERIFY(Vars().FailedFiles.empty());
        QVERIFY(!page_->FormFailedAddFile);
        QCOMPARE(page_->Model()->rowCount(), 3);
    }

    void rowsShowTheProbedValues() {
        Add({Media("tone-44k-stereo.wav"), Media("video-audio.mp4")});
        QCOMPARE(Cell(0, NxTextColumnDuration), QString("Duration: 00:00:02.000"));
        QCOMPARE(Cell(0, NxTextColumnBitrate), QString("Audio Bit rate: 1411 Kbps"));
        QCOMPARE(Cell(0, NxTextColumnDimension), QString("Audio Encoder: pcm_s16le(PCM signed 16-bit little-endian)"));
        QCOMPARE(Cell(0, NxTextColumnFileFullName), Media("tone-44k-stereo.wav"));
        QCOMPARE(Cell(0, NxTextColumnRealDuration), QString("2000000"));
        QCOMPARE(page_->Model()->RealDuration(1), int64_t(4000000));
        QCOMPARE(Cell(1, NxTextColumnDimension), QString("Audio Encoder: aac(AAC (Advanced Audio Coding))"));
        QCOMPARE(page_->LabelFileCount->text(), QString("2 files, 6 s"));
        QVERIFY(Cell(1, NxTextColumnVideoEncoder).contains("MPEG-4"));

        // The shortened name ends with the file's name and fits its line in bold.
        const QString shortName = Cell(0, NxTextColumnFileMinName);
        QVERIFY2(shortName.endsWith("/tone-44k-stereo.wav"), qPrintable(shortName));
        QFont bold = page_->NextGrid->font();
        bold.setBold(true);
        QVERIFY(QFontMetrics(bold).horizontalAdvance(shortName) <= 280);

        // Audio rows share the fixed picture; video rows show their middle
        // picture in the test pattern's colours, the right way up.
        const QPixmap audio = page_->Model()->Row(0).Picture;
        QCOMPARE(audio.cacheKey(), page_->ImageAudioIcon->pixmap().cacheKey());
        QCOMPARE(audio.size(), QSize(118, 78));
        const QImage video = page_->Model()->Row(1).Picture.toImage();
        QVERIFY(!video.isNull());
        QVERIFY(video.width() <= 128 * video.devicePixelRatio() && video.height() <= 88 * video.devicePixelRatio());
        QVERIFY(qAbs(video.width() * 3 - video.height() * 4) <= 4);  // 160 × 120 keeps its shape
        const int x = video.width() * 3 / 4;
        QVERIFY(IsRedish(video.pixel(x, video.height() / 4)));
        QVERIFY(IsBlueish(video.pixel(x, video.height() * 3 / 4)));

        // The count follows the rows that go.
        page_->Model()->removeRows(0, 1);
        QCOMPARE(page_->LabelFileCount->text(), QString("1 file, 4 s"));
    }

    // Text that a format's probe takes (subtitles, here under a video CD's
    // extension) is refused with the files that cannot be opened.
    void aFileWithNothingToHearOrSeeIsRefusedWhenAdded() {
        const QString text = Media("notes.dat");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1\n00:00:00,000 --> 00:00:01,000\nProgramme notes\n\n");
        file.close();
        Add({text, Media("tone-44k-stereo.wav")});
        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav")}));
        QCOMPARE(Vars().FailedFiles, std::vector<std::string>({text.toStdString() + ": holds no audio or video stream"}));
        QCOMPARE(CountLogLines("File load error: "), 1);
    }

    void missingDurationAndAudioHaveTheirTexts() {
        Add({Media("unknown-duration.m4v")});
        QCOMPARE(page_->Model()->rowCount(), 1);
        QCOMPARE(Cell(0, NxTextColumnDuration), QString("Duration: Duration is not preseted"));
        QCOMPARE(Cell(0, NxTextColumnRealDuration), QString("0"));
        QCOMPARE(Cell(0, NxTextColumnBitrate), QString("Audio Bit rate: Bit rate is not preseted"));
        QCOMPARE(Cell(0, NxTextColumnDimension), QString("Audio Encoder: "));
        // The missing audio stream reaches the log through the probe; the
        // adding thread's line is handed over without waiting, so it may
        // come just after the row.
        const auto noAudioLogged = [this] {
            for (const std::string& line : Vars().LogLines)
                if (line.rfind("#", 0) == 0 && line.find(": no audio stream.") != std::string::npos) return true;
            return false;
        };
        QTRY_VERIFY(noAudioLogged());
        QVERIFY(!page_->Model()->Row(0).Picture.isNull());  // decoded from the start
    }

    // A sheet is its tracks: a row each, named as its output will be, as long
    // as its stretch of the image (a pregap stays with the track before),
    // with the image's cover; every row converts the image. A sheet that
    // names a file that is not there is reported with the files that could
    // not be added.
    void aSheetIsListedAsItsTracks() {
        const QString image = Media("album.flac");
        TFixtureMedia flac;
        flac.Seconds = 6.0;
        flac.Audio.push_back({"flac", 44100, 2});
        flac.Pictures.push_back({});
        // Its own sheet cannot be read; added by the sheet beside it, that is no failure.
        flac.Tags["cuesheet"] = "no tracks here";
        WriteMedia(WidePath(image.toStdString()), flac);
        WriteText(Media("album.cue"), "PERFORMER \"Artist\"\nTITLE \"Album\"\nFILE \"album.flac\" WAVE\n"
                                      "  TRACK 01 AUDIO\n    TITLE \"First\"\n    INDEX 01 00:00:00\n"
                                      "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    INDEX 01 00:01:00\n"
                                      "  TRACK 03 AUDIO\n    TITLE \"Third\"\n    INDEX 00 00:02:50\n"
                                      "    INDEX 01 00:03:00\n");
        WriteText(Media("lost.cue"), "FILE \"lost.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        Add({Media("album.cue"), Media("lost.cue")});

        QCOMPARE(Order(), QStringList(3, image));
        QStringList captions;
        QList<int64_t> lengths;
        for (int row = 0; row < 3; ++row) {
            captions << page_->Model()->data(page_->Model()->index(row, 0), TFileListModel::TrackCaptionRole).toString();
            lengths << page_->Model()->RealDuration(row);
            QVERIFY(page_->Model()->Track(row));
        }
        QCOMPARE(captions, QStringList({"01 - First", "02 - Second", "03 - Third"}));
        QCOMPARE(lengths, QList<int64_t>({1000000, 2000000, 3000000}));
        QCOMPARE(Cell(2, NxTextColumnDuration), QString("Duration: 00:00:03.000"));
        QCOMPARE(page_->LabelFileCount->text(), QString("3 files, 6 s"));
        const QPixmap cover = page_->Model()->Row(0).Picture;
        QVERIFY(!cover.isNull());
        QVERIFY(cover.cacheKey() != page_->ImageAudioIcon->pixmap().cacheKey());

        QCOMPARE(Vars().FailedFiles.size(), size_t(1));
        QVERIFY2(Vars().FailedFiles[0].find("lost.wav") != std::string::npos, Vars().FailedFiles[0].c_str());
    }

    // "Split by chapters" lists a file with chapters as its chapters, at once
    // and for the files added later, and as the whole file again when it is
    // turned off; a chapter's row the user deleted stays deleted only while
    // the file is split.
    void chaptersFollowTheSplitSwitch() {
        const QString book = Media("book.m4a");
        TFixtureMedia m4a;
        m4a.Seconds = 3.0;
        m4a.Audio.push_back({"aac", 44100, 2});
        m4a.Chapters = {{0, 1, "Opening"}, {1, 2, "Middle"}, {2, 3, "End"}};
        WriteMedia(WidePath(book.toStdString()), m4a);
        QCheckBox* split = form_->TabSheetStep2->CheckBoxSplitChapters;
        const auto captions = [this] {
            QStringList list;
            for (int row = 0; row < page_->Model()->rowCount(); ++row)
                list << page_->Model()->data(page_->Model()->index(row, 0), TFileListModel::TrackCaptionRole).toString();
            return list;
        };

        Add({Media("tone-44k-stereo.wav"), book});
        QCOMPARE(captions(), QStringList({"", ""}));
        const int64_t whole = page_->Model()->RealDuration(1);
        QVERIFY(whole > 0);
        split->setChecked(true);
        QVERIFY(Vars().SplitChapters);
        QCOMPARE(captions(), QStringList({"", "01 - Opening", "02 - Middle", "03 - End"}));
        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav"), book, book, book}));
        QCOMPARE(page_->Model()->RealDuration(2), int64_t(1000000));

        Add({book});
        QCOMPARE(page_->Model()->rowCount(), 7);
        page_->SelectRow(2);
        page_->ActionDelete->trigger();
        QCOMPARE(captions(), QStringList({"", "01 - Opening", "03 - End", "01 - Opening", "02 - Middle", "03 - End"}));

        split->setChecked(false);
        QCOMPARE(captions(), QStringList({"", "", ""}));
        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav"), book, book}));
        QCOMPARE(page_->Model()->RealDuration(1), whole);
        split->setChecked(true);
        QCOMPARE(page_->Model()->rowCount(), 7);
    }

    void bitRateIsShownInWholeKbps() {
        Add({Media("nominal.ogg")});
        QCOMPARE(Cell(0, NxTextColumnBitrate), QString("Audio Bit rate: 127 Kbps"));
        QCOMPARE(Cell(0, NxTextColumnAudioBitrate), QString("Audio Bit Rate: 127999 bps"));
    }

    void theSameFileTwiceIsListedTwice() {
        Add({Media("tone-44k-stereo.wav"), Media("tone-44k-stereo.wav")});
        Add({Media("tone-44k-stereo.wav")});
        QCOMPARE(Order(), QStringList(3, Media("tone-44k-stereo.wav")));
    }

    void deleteSelectsTheNextRemainingRow() {
        const QStringList three{Media("tone-44k-stereo.wav"), Media("nominal.ogg"), Media("video-only.mkv")};
        Add(three);
        page_->SelectRow(2);
        page_->ActionDelete->trigger();
        QCOMPARE(Order(), three.mid(0, 2));
        QCOMPARE(page_->SelectedRow(), 1);
        page_->SelectRow(0);
        page_->ActionDelete->trigger();
        QCOMPARE(Order(), three.mid(1, 1));
        QCOMPARE(page_->SelectedRow(), 0);
        page_->ActionDelete->trigger();
        QCOMPARE(page_->Model()->rowCount(), 0);
        QCOMPARE(page_->SelectedRow(), -1);

        // Without a selection nothing is deleted, even when asked directly.
        Add(three);
        page_->SelectRow(-1);
        page_->ActionDeleteExecute();
        QCOMPARE(Order(), three);
        page_->ActionClear->trigger();
        QCOMPARE(page_->Model()->rowCount(), 0);
    }

    void movesKeepTheSelectionOnTheMovedRow() {
        const QString a = Media("tone-44k-stereo.wav"), b = Media("nominal.ogg"), c = Media("video-only.mkv");
        Add({a, b, c});
        page_->SelectRow(0);
        page_->ActionMoveDown->trigger();
        QCOMPARE(Order(), QStringList({b, a, c}));
        QCOMPARE(page_->SelectedRow(), 1);
        page_->ActionMoveDown->trigger();
        QCOMPARE(Order(), QStringList({b, c, a}));
        QCOMPARE(page_->SelectedRow(), 2);
        page_->ActionMoveDownExecute();  // already last: nothing happens
        QCOMPARE(Order(), QStringList({b, c, a}));
        page_->ActionMoveUp->trigger();
        QCOMPARE(Order(), QStringList({b, a, c}));
        QCOMPARE(page_->SelectedRow(), 1);
        page_->SelectRow(0);
        page_->ActionMoveUpExecute();  // already first
        QCOMPARE(Order(), QStringList({b, a, c}));
        QCOMPARE(page_->SelectedRow(), 0);
    }

    void actionsAreEnabledByRowsAndSelection() {
        // Delete, Play, Clear, Move Up, Move Down
        QCOMPARE(Enabled(), QString("00000"));
        Add({Media("tone-44k-stereo.wav"), Media("nominal.ogg"), Media("video-only.mkv")});
        QCOMPARE(Enabled(), QString("00100"));
        page_->SelectRow(0);
        QCOMPARE(Enabled(), QString("11101"));
        page_->SelectRow(1);
        QCOMPARE(Enabled(), QString("11111"));
        page_->SelectRow(2);
        QCOMPARE(Enabled(), QString("11110"));
        page_->ActionDelete->trigger();  // row 1 selected, now the last
        QCOMPARE(Enabled(), QString("11110"));
        page_->ActionMoveUp->trigger();  // row 0 of two
        QCOMPARE(Enabled(), QString("11101"));
        page_->ActionClear->trigger();
        QCOMPARE(Enabled(), QString("00000"));

        // The buttons follow their actions.
        QVERIFY(!page_->ButtonRemoveAll->isEnabled());
        Add({Media("tone-44k-stereo.wav")});
        QVERIFY(page_->ButtonRemoveAll->isEnabled());
        QVERIFY(!page_->ButtonPlay->isEnabled());
        page_->SelectRow(0);
        QVERIFY(page_->ButtonPlay->isEnabled() && page_->ButtonRemoveSelect->isEnabled());
        QVERIFY(!page_->ButtonMoveUp->isEnabled() && !page_->ButtonMoveDown->isEnabled());
    }

    void actionsHaveTheirCaptionsShortcutsAndMenu() {
        struct Expected { QAction* action; QPushButton* button; const char* text; QKeySequence key; };
        const Expected expected[] = {
            {page_->ActionAdd, page_->ButtonAddAFile, "&Add...", QKeySequence(Qt::CTRL | Qt::Key_O)},
            {page_->ActionDelete, page_->ButtonRemoveSelect, "&Delete", QKeySequence(Qt::Key_Delete)},
            {page_->ActionClear, page_->ButtonRemoveAll, "&Clear", QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
            {page_->ActionMoveUp, page_->ButtonMoveUp, "&Move Up", QKeySequence()},
            {page_->ActionMoveDown, page_->ButtonMoveDown, "M&ove Down", QKeySequence()},
            {page_->ActionPlay, page_->ButtonPlay, "&Play", QKeySequence(Qt::CTRL | Qt::Key_P)},
        };
        for (const Expected& e : expected) {
            QCOMPARE(e.action->text(), QString(e.text));
            QCOMPARE(e.button->text(), QString(e.text));
            QCOMPARE(e.action->shortcut(), e.key);
            QVERIFY(form_->actions().contains(e.action));  // works from every page
        }
        QStringList menu;
        for (QAction* a : page_->PopupMenuList->actions()) menu << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(menu, QStringList({"&Add...", "Add &Folder...", "&Delete", "&Clear", "-", "&Move Up", "M&ove Down", "-",
                                    "&Play"}));
    }

    void shortcutsActOnTheListFromAnotherPage() {
        Add({Media("tone-44k-stereo.wav"), Media("nominal.ogg")});
        form_->PageControlMain->setCurrentIndex(2);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        page_->SelectRow(0);
        QTest::keyClick(form_.get(), Qt::Key_Delete);
        QCOMPARE(Order(), QStringList({Media("nominal.ogg")}));
        QTest::keyClick(form_.get(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl::fromLocalFile(Media("nominal.ogg"))}));
        QTest::keyClick(form_.get(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(page_->Model()->rowCount(), 0);
    }

    void playAndDoubleClickOpenTheFile() {
        Add({Media("tone-44k-stereo.wav"), Media("nominal.ogg")});
        page_->ActionPlayExecute();  // nothing selected
        QVERIFY(urls_.Urls.isEmpty());
        page_->SelectRow(1);
        page_->ActionPlay->trigger();
        QCOMPARE(urls_.Urls, QList<QUrl>({QUrl::fromLocalFile(Media("nominal.ogg"))}));

        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QListView* list = page_->NextGrid;
        const QPoint first = list->visualRect(page_->Model()->index(0, 0)).center();
        // A double click is a press and release followed by the double-click event.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first);
        QVERIFY(urls_.Urls.size() == 1);  // a single click only selects
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first);
        QCOMPARE(page_->SelectedRow(), 0);
        QCOMPARE(urls_.Urls.size(), 2);
        QCOMPARE(urls_.Urls.last(), QUrl::fromLocalFile(Media("tone-44k-stereo.wav")));
    }

    // "All Supported Formats" lists a file of every extension a drop takes,
    // in either letter case, and nothing else.
    void openDialogListsEveryAcceptedFile() {
        QTemporaryDir folder;
        QStringList expected;
        const std::vector<std::string> sheets{".cue"};
        for (const auto* list : {&VideoExtensions(), &AudioExtensions(), &sheets})
            for (const std::string& e : *list) {
                const QString extension = QString::fromStdString(e);
                for (const QString& name : {"a" + extension, "B" + extension.toUpper()}) {
                    QFile f(folder.path() + "/" + name);
                    QVERIFY(f.open(QIODevice::WriteOnly));
                    expected << name;
                }
            }
        QFile other(folder.path() + "/notes.txt");
        QVERIFY(other.open(QIODevice::WriteOnly));
        expected.sort();

        TFileDialog* dialog = page_->OpenDialog;
        dialog->setDirectory(folder.path());
        dialog->selectNameFilter(dialog->nameFilters().first());
        dialog->show();
        auto* view = dialog->findChild<QListView*>("listView");
        QVERIFY(view);
        auto listed = [view] {
            QStringList names;
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE_WITH_TIMEOUT(listed().size(), expected.size(), 20000);
        QCOMPARE(listed(), expected);
        dialog->reject();
    }

    void openDialogStartsInTheLastFolderAndRemembersIt() {
        const QStringList filters = page_->OpenDialog->nameFilters();
        QCOMPARE(filters.size(), 4);
        QVERIFY(filters[1].startsWith("All Video Formats (all types) (*.AVI"));
        QVERIFY(filters[2].startsWith("All Audio Formats (all types) (*.MP3"));
        QCOMPARE(filters[3], QString("All Files (*)"));
        QCOMPARE(page_->OpenDialog->fileMode(), QFileDialog::ExistingFiles);

        // Cancelling adds nothing and forgets nothing.
        Vars().LastOpenDir = media_.path().toStdString();
        bool shown = false;
        QString shownIn;
        QTimer::singleShot(0, page_, [&] {
            shown = page_->OpenDialog->isVisible();
            shownIn = page_->OpenDialog->directory().absolutePath();
            page_->OpenDialog->reject();
        });
        page_->ActionAddExecute();
        QVERIFY(shown);
        QCOMPARE(shownIn, media_.path());
        QCOMPARE(page_->Model()->rowCount(), 0);
        QCOMPARE(Vars().LastOpenDir, media_.path().toStdString());

        // Two chosen files: the name field is emptied and their folder kept.
        auto* nameField = page_->OpenDialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(nameField);
        Vars().LastOpenDir = "/nowhere";
        nameField->setText("\"tone-44k-stereo.wav\" \"nominal.ogg\"");
        page_->AddSelectedFiles({Media("tone-44k-stereo.wav"), Media("nominal.ogg")});
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(page_->Model()->rowCount(), 2);
        QCOMPARE(nameField->text(), QString());
        QCOMPARE(Vars().LastOpenDir, media_.path().toStdString());

        // One chosen file keeps its name for the next time.
        QTemporaryDir other;
        QVERIFY(QFile::copy(Media("nominal.ogg"), other.path() + "/copy.ogg"));
        nameField->setText("copy.ogg");
        page_->AddSelectedFiles({other.path() + "/copy.ogg"});
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(nameField->text(), QString("copy.ogg"));
        QCOMPARE(Vars().LastOpenDir, other.path().toStdString());
        QCOMPARE(page_->Model()->rowCount(), 3);

        // A chosen folder: its files are added and the next dialog opens beside it.
        page_->AddSelectedFolder(other.path());
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(page_->Model()->FileFullName(3), other.path() + "/copy.ogg");
        QCOMPARE(page_->Model()->Root(3), other.path());
        QCOMPARE(Vars().LastOpenDir, QFileInfo(other.path()).absolutePath().toStdString());
    }

    void dropsAddSupportedFilesOnEveryPage() {
        QTemporaryDir dropped;
        QVERIFY(QDir(dropped.path()).mkdir("folder.wav"));
        QFile notes(dropped.path() + "/notes.txt");
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not media") > 0);
        notes.close();
        bool accepted = false;

        // A text file is ignored without a word, and an empty folder adds nothing.
        SendDrop(form_.get(), {QUrl::fromLocalFile(notes.fileName()), QUrl::fromLocalFile(dropped.path() + "/folder.wav")},
                 &accepted);
        QVERIFY(accepted);
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(page_->Model()->rowCount(), 0);
        QVERIFY(!page_->FormFailedAddFile);
        QCOMPARE(CountLogLines("File load error: "), 0);

        form_->PageControlMain->setCurrentIndex(3);
        SendDrop(form_.get(), {QUrl::fromLocalFile(Media("tone-44k-stereo.wav")), QUrl::fromLocalFile(notes.fileName()),
                               QUrl::fromLocalFile(Media("video-only.mkv"))}, &accepted);
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav"), Media("video-only.mkv")}));

        // The list's own area takes files as well as its row moves.
        form_->PageControlMain->setCurrentIndex(0);
        SendDrop(page_->NextGrid->viewport(), {QUrl::fromLocalFile(Media("text.mp3"))}, &accepted);
        QVERIFY(accepted);
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(page_->Model()->rowCount(), 2);
        QVERIFY(page_->FormFailedAddFile);
        QCOMPARE(page_->FormFailedAddFile->ListViewFiles->topLevelItemCount(), 1);
    }

    void aDroppedFolderTreeIsAddedInPathOrderWhileTheWindowGoesOn() {
        QTemporaryDir tree;
        const QString root = tree.path() + "/music";
        QVERIFY(QDir().mkpath(root + "/a/deep") && QDir().mkpath(root + "/b"));
        for (const char* name : {"/b/2.wav", "/a/deep/x.wav", "/a/z.wav", "/1.wav"})
            QVERIFY(QFile::copy(Media("tone-44k-stereo.wav"), root + name));
        for (const char* name : {"/a/notes.txt", "/b/cover.jpg"}) {
            QFile other(root + name);
            QVERIFY(other.open(QIODevice::WriteOnly) && other.write("not media") > 0);
        }
        QVERIFY(QFile::link(root, root + "/a/deep/loop"));  // back up the tree

        bool accepted = false;
        SendDrop(form_.get(), {QUrl::fromLocalFile(root), QUrl::fromLocalFile(Media("nominal.ogg"))}, &accepted);
        QVERIFY(accepted);
        // The add runs on: nothing is listed before the event loop hands the
        // rows over, and "Next" waits for it.
        QVERIFY(page_->Adding());
        QCOMPARE(page_->Model()->rowCount(), 0);
        QVERIFY(!page_->PanelAdding->isHidden());
        QVERIFY(!form_->ActionNext->isEnabled());
        QVERIFY(WaitForAdd(page_));

        QCOMPARE(Order(), QStringList({root + "/1.wav", root + "/a/deep/x.wav", root + "/a/z.wav", root + "/b/2.wav",
                                       Media("nominal.ogg")}));
        for (int row = 0; row < 4; ++row) QCOMPARE(page_->Model()->Root(row), root);
        QCOMPARE(page_->Model()->Root(4), QString());
        QVERIFY(!page_->FormFailedAddFile);
        QVERIFY(page_->PanelAdding->isHidden());
        QVERIFY(form_->ActionNext->isEnabled());
    }

    void stopAndClearEndAnAddWithTheRowsSoFar() {
        QStringList many(40, Media("tone-44k-stereo.wav"));
        many << Media("text.mp3");
        // "Stop" as soon as the first row is listed.
        auto stop = connect(page_->Model(), &QAbstractItemModel::rowsInserted, page_,
                            [this] { page_->ButtonStopAdding->click(); });
        page_->AddFiles(many);
        QVERIFY(WaitForAdd(page_));
        disconnect(stop);
        QCOMPARE(page_->Model()->rowCount(), 1);
        // The unreadable file was never reached: nothing reports it.
        QVERIFY(!page_->FormFailedAddFile);
        QVERIFY(Vars().FailedFiles.empty());
        QCOMPARE(CountLogLines("File load error: "), 0);
        QVERIFY(form_->ActionNext->isEnabled());

        // A further add starts afresh.
        Add({Media("nominal.ogg")});
        QCOMPARE(Order(), QStringList({Media("tone-44k-stereo.wav"), Media("nominal.ogg")}));

        // Clearing the list stops the add: it stays empty, and nothing is reported.
        page_->AddFiles(many);
        page_->ActionClearExecute();
        QVERIFY(!page_->Adding());
        QCoreApplication::processEvents();
        QCOMPARE(page_->Model()->rowCount(), 0);
        QVERIFY(!page_->FormFailedAddFile);

        // The window goes while an add runs (cleanup).
        page_->AddFiles(many);
    }

    void namesOnTheCommandLineAreAdded() {
        QTemporaryDir dir;
        const std::string folder = std::filesystem::canonical(dir.path().toStdString()).string();
        const std::string odd = folder + "/caf\xE9.wav";  // not UTF-8
        std::filesystem::copy_file(Media("tone-44k-stereo.wav").toStdString(), odd);
        std::filesystem::create_directory(folder + "/album");
        std::filesystem::copy_file(Media("nominal.ogg").toStdString(), folder + "/album/one.ogg");

        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(NameFromBytes(folder)));
        const char* argv[] = {"tembrio", "--", "caf\xE9.wav", "album/", "./album/one.ogg"};
        const QStringList names = CommandLineNames(5, argv);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(names, QStringList({NameFromBytes(odd), NameFromBytes(folder + "/album/"),
                                     NameFromBytes(folder + "/album/one.ogg")}));

        page_->AddCommandLineFiles(names);
        QVERIFY(WaitForAdd(page_));
        QCOMPARE(page_->Model()->rowCount(), 3);
        QCOMPARE(NameBytes(page_->Model()->FileFullName(0)), odd);
        QCOMPARE(NameBytes(page_->Model()->FileFullName(1)), folder + "/album/one.ogg");
        QCOMPARE(NameBytes(page_->Model()->Root(1)), folder + "/album");
        QCOMPARE(page_->Model()->Root(2), QString());
        std::filesystem::remove(odd);  // a name Qt cannot remove
    }

    void withoutLibrariesNothingCanBeAdded() {
        page_->SetDecoder(nullptr);
        QVERIFY(!page_->ActionAdd->isEnabled());
        bool accepted = true;
        SendDrop(form_.get(), {QUrl::fromLocalFile(Media("tone-44k-stereo.wav"))}, &accepted);
        QVERIFY(!accepted);
        QCOMPARE(page_->Model()->rowCount(), 0);
        page_->SetDecoder(&form_->FFEncoder.Decoder());
        QVERIFY(page_->ActionAdd->isEnabled());
    }
};

int main(int argc, char* argv[]) { return RunDesktopSuite<PageInputListTest>(argc, argv); }

#include "PageInputListTest.moc"
