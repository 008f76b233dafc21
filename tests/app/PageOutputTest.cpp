// Page 2: the format tiles and preset lists, showing and storing the choice,
// and the folder choice.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "FormatPresets.h"
#include "OutputNaming.h"
#include "PageOutput.h"
#include "UtilFuncs.h"
#include "globals.h"

namespace {

const char* const Names[OutputFormatCount] = {"WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2", "OPUS", "ALAC"};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class PageOutputTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> appData_;
    // The state record the main window would hand the page.
    TGlobalVars vars_;
    std::unique_ptr<QWidget> host_;
    TPageOutput* page_ = nullptr;
    const QByteArray storedSettings_ = "[System]\nOutputFormat=1\n";

    // Which tiles are not the chosen one, e.g. "1011111111" while MP3 is chosen.
    QString Enabled() const {
        QString s;
        for (QAbstractButton* b : page_->FormatButtons) s += b->isChecked() ? '0' : '1';
        return s;
    }
    // The lists a user can see: exactly the chosen format's.
    QList<int> VisibleLists() const {
        QList<int> visible;
        for (int c = 0; c < OutputFormatCount; ++c)
            if (page_->PresetLists[c]->isVisible()) visible << c;
        return visible;
    }
    QList<int> ListIndexes() const {
        QList<int> indexes;
        for (QComboBox* list : page_->PresetLists) indexes << list->currentIndex();
        return indexes;
    }
    QString SettingsFile() const { return QString::fromStdString(SettingsFilePath(vars_)); }

private slots:
    void init() {
        appData_ = std::make_unique<QTemporaryDir>();
        QVERIFY(appData_->isValid());
        vars_ = TGlobalVars{};
        vars_.AppDataDir = IncludeBackslash(appData_->path().toStdString());
        QFile settings(SettingsFile());
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(storedSettings_) == storedSettings_.size());
        settings.close();

        host_ = std::make_unique<QWidget>();
        page_ = new TPageOutput(vars_, host_.get());
        (new QVBoxLayout(host_.get()))->addWidget(page_);
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
    }

    void cleanup() {
        host_.reset();
        appData_.reset();
    }

    void controlsFollowThePresetTable() {
        QCOMPARE(page_->objectName(), QString("TabSheetStep2"));
        QStringList labels;
        for (QLabel* label : page_->findChildren<QLabel*>()) labels << label->text();
        for (const char* text : {"Output directory:", "Convert to:", "Presets:"}) QVERIFY2(labels.contains(text), text);
        QVERIFY(page_->EditOutputDir->isReadOnly());
        QCOMPARE(page_->ButtonSelectDir->text(), QString("Select..."));
        QCOMPARE(page_->ButtonSelectDir->objectName(), QString("ButtonSelectDir"));

        const QPoint first = page_->ButtonFormatWAV->pos();
        for (int c = 0; c < OutputFormatCount; ++c) {
            QAbstractButton* button = page_->FormatButtons[c];
            QCOMPARE(page_->findChild<QAbstractButton*>(QString("ButtonFormat") + Names[c]), button);
            QCOMPARE(button->text(), QString(Names[c]));
            QCOMPARE(button->size(), QSize(62, 57));
            QCOMPARE(button->pos(), first + QPoint(64 * c, 0));

            QComboBox* list = page_->PresetLists[c];
            QCOMPARE(page_->findChild<QComboBox*>(QString("ImageComboBox") + Names[c] + "Presets"), list);
            const auto& items = PresetTable()[c].Items;
            QCOMPARE(list->count(), int(items.size()));
            for (int i = 0; i < list->count(); ++i) QCOMPARE(list->itemText(i), QString::fromStdString(items[i].Text));
        }
        QCOMPARE(page_->ImageComboBoxMP3Presets->itemText(0), QString("For Mobile - MP3: 44100 Hz, Stereo, 112 kbps"));
        QCOMPARE(page_->ImageComboBoxFLACPresets->count(), 9);

        // Filling again replaces the items.
        page_->FillPresetLists();
        QCOMPARE(page_->ImageComboBoxWAVPresets->count(), 5);
        // Until a format is chosen, none is shown as chosen and no list shows.
        QCOMPARE(Enabled(), QString("1111111111"));
        QCOMPARE(VisibleLists(), QList<int>());
    }

    void aFormatClickChoosesThatFormatOnly() {
        vars_.OutputFormat = ofMP3;
        page_->ApplyOutputSettings();
        QCOMPARE(Enabled(), QString("1011111111"));
        QCOMPARE(VisibleLists(), QList<int>({ofMP3}));

        QTest::mouseClick(page_->ButtonFormatWAV, Qt::LeftButton);
        QCOMPARE(Enabled(), QString("0111111111"));
        QCOMPARE(VisibleLists(), QList<int>({ofWAV}));
        QCOMPARE(page_->PresetStack->currentWidget(), page_->ImageComboBoxWAVPresets);
        QCOMPARE(vars_.OutputFormat, uint8_t(ofWAV));
        QCOMPARE(page_->ChosenFormat(), int(ofWAV));

        for (int c = OutputFormatCount - 1; c >= 0; --c) {
            if (c == ofWAV) continue;
            QTest::mouseClick(page_->FormatButtons[c], Qt::LeftButton);
            QString expected(OutputFormatCount, '1');
            expected[c] = '0';
            QCOMPARE(Enabled(), expected);
            QCOMPARE(VisibleLists(), QList<int>({c}));
            QCOMPARE(int(vars_.OutputFormat), c);
        }
        // The chosen tile takes no clicks.
        QTest::mouseClick(page_->ButtonFormatMP3, Qt::LeftButton);
        QCOMPARE(int(vars_.OutputFormat), int(ofMP3));
        QTest::mouseClick(page_->ButtonFormatAAC, Qt::LeftButton);
        QTest::mouseClick(page_->ButtonFormatAAC, Qt::LeftButton);
        QCOMPARE(int(vars_.OutputFormat), int(ofAAC));
        // The choice is stored in memory only; the file is written at close.
        QCOMPARE(ReadAll(SettingsFile()), storedSettings_);
    }

    void theChosenTileLooksChosen() {
        page_->ButtonFormatClick(ofOGG);
        const QImage chosen = page_->ButtonFormatOGG->grab().toImage();
        page_->ButtonFormatClick(ofWAV);
        const QImage normal = page_->ButtonFormatOGG->grab().toImage();
        QVERIFY(!chosen.isNull() && !normal.isNull());
        QVERIFY(chosen != normal);
        // And each format has its own tile.
        QVERIFY(page_->ButtonFormatMP3->grab().toImage() != page_->ButtonFormatMP2->grab().toImage());
    }

    void applyShowsTheStoredChoice() {
        TGlobalVars& g = vars_;
        g.OutputFileDir = "/music/out/";
        g.OutputFormat = ofFLAC;
        g.Presets = {4, 3, 9, -1, 2, 1, 5, -7, 3, 5};
        page_->ApplyOutputSettings();
        QCOMPARE(page_->EditOutputDir->text(), QString("/music/out/"));
        QCOMPARE(Enabled(), QString("1111110111"));
        QCOMPARE(VisibleLists(), QList<int>({ofFLAC}));
        // WMA's 9, MP2's -7 and ALAC's 5 are not in their lists: nothing is chosen there.
        QCOMPARE(ListIndexes(), QList<int>({4, 3, -1, -1, 2, 1, 5, -1, 3, -1}));
        QCOMPARE(page_->ImageComboBoxWMAPresets->currentText(), QString());
        QCOMPARE(page_->ComboBoxLoudness->currentIndex(), int(lcKeep));
        g.Loudness = lcNormalise14;
        page_->ApplyOutputSettings();
        QCOMPARE(page_->ComboBoxLoudness->currentText(), QString("Normalise to -14 LUFS"));

        // A code that names no format (the command line's video containers
        // follow the audio formats) chooses none, even after another was chosen.
        g.OutputFormat = 10;
        page_->ApplyOutputSettings();
        QCOMPARE(Enabled(), QString("1111111111"));
        QCOMPARE(VisibleLists(), QList<int>());
        QCOMPARE(page_->ChosenFormat(), -1);
        QCOMPARE(int(g.OutputFormat), 10);
        QCOMPARE(ListIndexes(), QList<int>({4, 3, -1, -1, 2, 1, 5, -1, 3, -1}));
        g.OutputFormat = 255;
        page_->ApplyOutputSettings();
        QCOMPARE(Enabled(), QString("1111111111"));
    }

    void readStoresTheFolderAndEveryPreset() {
        TGlobalVars& g = vars_;
        g.OutputFileDir = "/music/out";
        g.OutputFormat = ofOGG;
        g.Presets = {1, 2, 3, 4, 4, 1, 8, 2, 4, 1};
        page_->ApplyOutputSettings();
        page_->ImageComboBoxAACPresets->setCurrentIndex(0);
        page_->ImageComboBoxMP2Presets->setCurrentIndex(-1);
        page_->SpinBoxParallelTasks->setValue(5);
        page_->CheckBoxKeepFolderStructure->setChecked(true);
        page_->CheckBoxSplitChapters->setChecked(true);
        page_->ComboBoxLoudness->setCurrentIndex(lcReplayGain);
        g.Presets.fill(99);
        page_->ReadOutputSettings();
        QCOMPARE(g.OutputFileDir, std::string("/music/out/"));
        QCOMPARE(QList<int>(g.Presets.begin(), g.Presets.end()), QList<int>({1, 2, 3, 4, 0, 1, 8, -1, 4, 1}));
        QCOMPARE(int(g.OutputFormat), int(ofOGG));
        QCOMPARE(g.ParallelTasks, 5);
        QVERIFY(g.KeepFolderStructure);
        QVERIFY(g.SplitChapters);
        QCOMPARE(g.Loudness, int32_t(lcReplayGain));

        // An empty folder stays empty: it does not become the root.
        g.OutputFileDir.clear();
        page_->ApplyOutputSettings();
        page_->ReadOutputSettings();
        QCOMPARE(g.OutputFileDir, std::string());
    }

    void presetChoicesAreStoredOnlyByRead() {
        vars_.Presets.fill(0);
        page_->ApplyOutputSettings();
        page_->ImageComboBoxMP3Presets->setCurrentIndex(3);
        page_->ImageComboBoxWAVPresets->setCurrentIndex(4);
        // "Back", then "Next": the stored choice comes back.
        page_->ApplyOutputSettings();
        QCOMPARE(ListIndexes(), QList<int>(OutputFormatCount, 0));
        QCOMPARE(vars_.Presets[ofMP3], 0);

        page_->ImageComboBoxMP3Presets->setCurrentIndex(3);
        page_->ReadOutputSettings();
        page_->ApplyOutputSettings();
        QCOMPARE(page_->ImageComboBoxMP3Presets->currentIndex(), 3);
        QCOMPARE(vars_.Presets[ofMP3], 3);
    }

    void theFolderChoiceStoresOnlyAConfirmedFolder() {
        QTemporaryDir folders;
        QVERIFY(QDir(folders.path()).mkdir("chosen"));
        const std::string start = IncludeBackslash(folders.path().toStdString());
        vars_.OutputFileDir = start;
        page_->ApplyOutputSettings();

        QFileDialog* dialog = page_->SelectDirDialog;
        bool shown = false;
        QString shownIn;
        QTimer::singleShot(0, page_, [&] {
            shown = dialog->isVisible();
            shownIn = dialog->directory().absolutePath();
            dialog->reject();
        });
        page_->ButtonSelectDir->click();
        QVERIFY(shown);
        QCOMPARE(shownIn, folders.path());
        QCOMPARE(dialog->windowTitle(), QString("Please select a folder"));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(dialog->parentWidget(), host_.get());
        QCOMPARE(page_->EditOutputDir->text(), QString::fromStdString(start));
        QCOMPARE(vars_.OutputFileDir, start);

        const QString chosen = folders.path() + "/chosen";
        QTimer::singleShot(0, page_, [&] {
            dialog->setDirectory(chosen);
            static_cast<QDialog*>(dialog)->accept();  // the dialog checks the folder as for a click
        });
        page_->ButtonSelectDirClick();
        QCOMPARE(page_->EditOutputDir->text(), chosen + "/");
        QCOMPARE(vars_.OutputFileDir, (chosen + "/").toStdString());

        // The next choice starts where the last one ended.
        QTimer::singleShot(0, page_, [&] {
            shownIn = dialog->directory().absolutePath();
            dialog->reject();
        });
        page_->ButtonSelectDirClick();
        QCOMPARE(shownIn, chosen);
        QCOMPARE(vars_.OutputFileDir, (chosen + "/").toStdString());

        page_->ApplySelectedDir("/");
        QCOMPARE(page_->EditOutputDir->text(), QString("/"));
        QCOMPARE(vars_.OutputFileDir, std::string("/"));
        QCOMPARE(ReadAll(SettingsFile()), storedSettings_);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    PageOutputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PageOutputTest.moc"
