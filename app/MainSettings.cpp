// The settings are saved as the choices are made, not only at exit: a
// session that ends without closing the window (a crash, a kill, a power
// cut) keeps every choice made before it. Each save replaces the file in one
// step (TIniFile::UpdateFile).
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include "FormMain.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"
#include "UtilFuncs.h"

namespace {

// What section "System" is written from, as one text to compare.
std::string ChoicesText(const TGlobalVars& g) {
    std::string text;
    for (const auto& [key, value] : SystemSettings(g)) text += key + '=' + value + '\n';
    return text;
}

} // namespace

// Page 2 stores its choices as they are made (not only when the batch
// starts), so that they can be saved. While the page shows the stored choice
// it changes nothing.
void TFormMain::ConnectSettingsSaving() {
    TPageOutput* p2 = TabSheetStep2;
    const auto pageChanged = [this] {
        if (applyingOutput_) return;
        TabSheetStep2->ReadOutputSettings();
        SaveChoices();
    };
    for (QAbstractButton* tile : p2->FormatButtons)
        if (tile) connect(tile, &QAbstractButton::clicked, this, [this] { SaveChoices(); });
    for (QComboBox* list : p2->PresetLists)
        if (list) connect(list, &QComboBox::currentIndexChanged, this, pageChanged);
    connect(p2->EditOutputDir, &QLineEdit::textChanged, this, pageChanged);
    connect(p2->SpinBoxParallelTasks, &QSpinBox::valueChanged, this, pageChanged);
    connect(p2->CheckBoxKeepFolderStructure, &QCheckBox::toggled, this, pageChanged);
    connect(p2->ComboBoxLoudness, &QComboBox::currentIndexChanged, this, pageChanged);
    connect(p2->CheckBoxSplitChapters, &QCheckBox::toggled, this, pageChanged);
    // Page 1 lists what will be converted: the files with chapters follow the
    // switch at once, and so do the files added later (after pageChanged,
    // which stores it).
    connect(p2->CheckBoxSplitChapters, &QCheckBox::toggled, this,
            [this](bool split) { TabSheetStep1->SplitChapters(split); });
    // The folder the next add dialog opens in is known once an add has begun.
    connect(TabSheetStep1, &TPageInputList::AddingChanged, this, [this] { SaveChoices(); });
    for (QCheckBox* box : {TabSheetStep3->CheckBoxPlayASound, TabSheetStep3->CheckBoxShutdown})
        connect(box, &QCheckBox::toggled, this, [this] { SaveChoices(); });
}

void TFormMain::ApplyOutputSettings() {
    applyingOutput_ = true;
    TabSheetStep2->ApplyOutputSettings();
    applyingOutput_ = false;
}

void TFormMain::RememberSavedChoices() { savedChoices_ = ChoicesText(vars_); }

void TFormMain::SaveChoices(bool always) {
    const std::string choices = ChoicesText(vars_);
    if (!always && choices == savedChoices_) return;
    try {
        SaveSettings(vars_);
        savedChoices_ = choices;
        saveError_.clear();
    } catch (const std::exception& e) {
        // Said once in the log, not at every click; the close says it again
        // in a box.
        if (saveError_ != e.what()) vars_.LogLines.push_back(std::string("Settings not saved: ") + e.what());
        saveError_ = e.what();
    }
}
