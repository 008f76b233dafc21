#pragma once
// Page 2 of the wizard: the output folder, one of the output formats and a
// preset of that format. The format is stored the moment its button is
// clicked and the folder when a folder choice is confirmed; the presets, the
// number of files converted at once, whether the folder structure is kept,
// the loudness choice and whether chapters are split are stored only by
// ReadOutputSettings (the main window calls it as they change, and when the
// batch starts).
#include <QString>
#include <QWidget>
#include <array>

#include "FileDialog.h"
#include "globals.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;

class TPageOutput : public QWidget {
    Q_OBJECT

public:
    // vars: the state record that holds the stored choice; it must outlive
    // the page. host: the main window, the owner of the folder dialog.
    TPageOutput(TGlobalVars& vars, QWidget* host);

    // Fills every format's preset list from the preset table, in its order.
    void FillPresetLists();
    // Shows the stored choice: folder, format, every format's preset, the
    // files at once, the folder structure switch, the loudness choice and the
    // chapters switch. An OutputFormat of no format leaves every format
    // unchosen.
    void ApplyOutputSettings();
    // Stores the folder shown, the preset of every list (-1: none chosen), the
    // files at once, the folder structure switch, the loudness choice and the
    // chapters switch.
    void ReadOutputSettings();

    // The handler of every format button: chooses format `code` (below
    // OutputFormatCount; any other code is ignored).
    void ButtonFormatClick(int code);
    // Asks for the output folder, starting at the stored one.
    void ButtonSelectDirClick();
    // What follows a confirmed folder choice: shows and stores the folder.
    void ApplySelectedDir(const QString& folder);

    // The chosen format's code, or -1 when no format is chosen.
    int ChosenFormat() const;

    QLineEdit* EditOutputDir = nullptr;  // the folder, byte for byte (FileNames.h)
    QPushButton* ButtonSelectDir = nullptr;
    TFileDialog* SelectDirDialog = nullptr;

    QAbstractButton* ButtonFormatWAV = nullptr;
    QAbstractButton* ButtonFormatMP3 = nullptr;
    QAbstractButton* ButtonFormatWMA = nullptr;
    QAbstractButton* ButtonFormatOGG = nullptr;
    QAbstractButton* ButtonFormatAAC = nullptr;
    QAbstractButton* ButtonFormatM4A = nullptr;
    QAbstractButton* ButtonFormatFLAC = nullptr;
    QAbstractButton* ButtonFormatMP2 = nullptr;
    QAbstractButton* ButtonFormatOPUS = nullptr;
    QAbstractButton* ButtonFormatALAC = nullptr;

    QComboBox* ImageComboBoxWAVPresets = nullptr;
    QComboBox* ImageComboBoxMP3Presets = nullptr;
    QComboBox* ImageComboBoxWMAPresets = nullptr;
    QComboBox* ImageComboBoxOGGPresets = nullptr;
    QComboBox* ImageComboBoxAACPresets = nullptr;
    QComboBox* ImageComboBoxM4APresets = nullptr;
    QComboBox* ImageComboBoxFLACPresets = nullptr;
    QComboBox* ImageComboBoxMP2Presets = nullptr;
    QComboBox* ImageComboBoxOPUSPresets = nullptr;
    QComboBox* ImageComboBoxALACPresets = nullptr;
    // The lists lie at one place; only the chosen format's is shown.
    QStackedWidget* PresetStack = nullptr;
    // "Presets:", the buddy of the list on show.
    QLabel* LabelPresets = nullptr;

    // "Files at once:", 1 to 16.
    QSpinBox* SpinBoxParallelTasks = nullptr;
    // "Keep the folder structure": a file found in a folder goes to the same
    // folder below the output folder.
    QCheckBox* CheckBoxKeepFolderStructure = nullptr;
    // "Split by chapters": a file with chapters converts as one file per
    // chapter; page 1 lists it so as soon as the box changes.
    QCheckBox* CheckBoxSplitChapters = nullptr;
    // "Loudness:", one item per TLoudnessIndex, in its order.
    QComboBox* ComboBoxLoudness = nullptr;

    // Indexed by format code.
    std::array<QAbstractButton*, OutputFormatCount> FormatButtons{};
    std::array<QComboBox*, OutputFormatCount> PresetLists{};

private:
    void CreateControls();
    QWidget* CreateFormatRow();
    QWidget* CreatePresetStack();
    QWidget* CreateRunOptions();
    void CreateSelectDirDialog();
    void ShowNoFormatChosen();
    void TabToTile(int code);

    TGlobalVars& vars_;
    QWidget* host_;
    // Shown in the lists' place while no format is chosen.
    QWidget* noPresetList_ = nullptr;
};
