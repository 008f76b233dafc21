// Page 2's controls: the output folder, the format tiles and the preset lists.
#include "PageOutput.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "FileDialog.h"
#include "FileNames.h"
#include "FormatPresets.h"
#include "LoudnessChoice.h"
#include "OutputNaming.h"

namespace {

constexpr int TileWidth = 62;
constexpr int TileHeight = 57;
constexpr int TileStep = 64;

// One hue per format, so the tiles can be told apart at a glance.
constexpr int FormatHues[OutputFormatCount] = {210, 25, 265, 125, 0, 310, 180, 45, 95, 237};

// A format's picture button. No artwork is shipped, so the tile is drawn
// here: a pale tile with the format's name for a format that can be chosen,
// and the filled tile with a check mark for the chosen one. The tiles of a
// row are exclusive and checkable, as radio buttons are: the arrow keys move
// the choice along the row, and the chosen tile keeps the focus and is
// announced as checked.
class TFormatButton : public QAbstractButton {
public:
    TFormatButton(const QString& name, int hue, QWidget* parent) : QAbstractButton(parent), hue_(hue) {
        setText(name);
        setToolTip(name);
        setCheckable(true);
        setAutoExclusive(true);
        setFixedSize(TileWidth, TileHeight);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }

    QSize sizeHint() const override { return {TileWidth, TileHeight}; }

protected:
    void paintEvent(QPaintEvent*) override {
        const bool chosen = isChecked();
        const QColor base = QColor::fromHsv(hue_, 170, 185);
        QColor fill = base.lighter(185);
        if (chosen) fill = base;
        else if (isDown()) fill = base.lighter(140);
        else if (underMouse()) fill = base.lighter(160);
        const QColor ink = chosen ? QColor(Qt::white) : base.darker(150);

        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF tile = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(chosen ? base.darker(160) : base, chosen ? 2.0 : 1.0));
        p.setBrush(fill);
        p.drawRoundedRect(tile, 6, 6);

        DrawWave(p, ink);
        QFont f = font();
        f.setBold(true);
        f.setPixelSize(text().size() > 3 ? 14 : 16);
        p.setFont(f);
        p.setPen(ink);
        const QPointF shift = isDown() ? QPointF(1, 1) : QPointF();
        p.drawText(QRectF(0, 24, width(), 26).translated(shift), Qt::AlignCenter, text());
        if (chosen) DrawCheck(p, base.darker(160));
        // The focus as a ring in the desktop's highlight colour, plain on
        // every tile, chosen or not.
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(tile.adjusted(2.5, 2.5, -2.5, -2.5), 4, 4);
        }
    }

private:
    void DrawWave(QPainter& p, const QColor& ink) const {
        QPainterPath wave;
        const double left = 12, right = width() - 12, middle = 16, height = 5;
        for (double x = left; x <= right; x += 1) {
            const double y = middle - height * std::sin((x - left) / (right - left) * 4 * std::numbers::pi);
            if (x == left) wave.moveTo(x, y);
            else wave.lineTo(x, y);
        }
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }

    void DrawCheck(QPainter& p, const QColor& ring) const {
        const QRectF badge(width() - 17, 3, 14, 14);
        p.setPen(QPen(ring, 1));
        p.setBrush(Qt::white);
        p.drawEllipse(badge);
        QPainterPath tick;
        tick.moveTo(badge.left() + 3.5, badge.center().y());
        tick.lineTo(badge.left() + 6, badge.bottom() - 3.5);
        tick.lineTo(badge.right() - 3, badge.top() + 3.5);
        p.setPen(QPen(ring, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }

    int hue_;
};

} // namespace

TPageOutput::TPageOutput(TGlobalVars& vars, QWidget* host) : vars_(vars), host_(host) {
    setObjectName("TabSheetStep2");
    CreateControls();
    CreateSelectDirDialog();
    FillPresetLists();
    ShowNoFormatChosen();
}

void TPageOutput::CreateControls() {
    EditOutputDir = new QLineEdit(this);
    EditOutputDir->setObjectName("EditOutputDir");
    EditOutputDir->setReadOnly(true);
    // It looks read-only too: the folder changes through "Select...".
    QPalette look = EditOutputDir->palette();
    look.setColor(QPalette::Base, look.color(QPalette::Window));
    EditOutputDir->setPalette(look);
    ButtonSelectDir = new QPushButton(QStringLiteral("Select..."), this);
    ButtonSelectDir->setObjectName("ButtonSelectDir");
    connect(ButtonSelectDir, &QPushButton::clicked, this, [this] { ButtonSelectDirClick(); });
    // A long folder does not fit the edit.
    connect(EditOutputDir, &QLineEdit::textChanged, EditOutputDir, &QLineEdit::setToolTip);

    auto* labelDir = new QLabel(QStringLiteral("Output directory:"), this);
    labelDir->setBuddy(EditOutputDir);
    QWidget* formats = CreateFormatRow();
    auto* labelFormats = new QLabel(QStringLiteral("Convert to:"), this);
    // The row is named as a group of radio buttons is; each tile by its format.
    formats->setAccessibleName(labelFormats->text());
    QWidget* presets = CreatePresetStack();
    LabelPresets = new QLabel(QStringLiteral("Presets:"), this);
    LabelPresets->setObjectName("LabelPresets");
    // Every list is named by the label; the label leads to the one on show.
    for (QComboBox* list : PresetLists) list->setAccessibleName(LabelPresets->text());

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(labelDir, 0, 0, 1, 2);
    grid->addWidget(EditOutputDir, 1, 0);
    grid->addWidget(ButtonSelectDir, 1, 1);
    grid->setRowMinimumHeight(2, 10);
    grid->addWidget(labelFormats, 3, 0, 1, 2);
    grid->addWidget(formats, 4, 0, 1, 2, Qt::AlignLeft);
    grid->setRowMinimumHeight(5, 10);
    grid->addWidget(LabelPresets, 6, 0, 1, 2);
    grid->addWidget(presets, 7, 0, 1, 2, Qt::AlignLeft);
    grid->setRowMinimumHeight(8, 10);
    grid->addWidget(CreateRunOptions(), 9, 0, 1, 2, Qt::AlignLeft);
    grid->setColumnStretch(0, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(grid);
    layout->addStretch(1);
}

// The tiles keep their fixed places in the row, whatever the page's width.
QWidget* TPageOutput::CreateFormatRow() {
    auto* row = new QWidget(this);
    row->setObjectName("FormatRow");
    row->setFixedSize(TileStep * (OutputFormatCount - 1) + TileWidth, TileHeight);
    QAbstractButton** members[OutputFormatCount] = {&ButtonFormatWAV, &ButtonFormatMP3, &ButtonFormatWMA,
                                                    &ButtonFormatOGG, &ButtonFormatAAC, &ButtonFormatM4A,
                                                    &ButtonFormatFLAC, &ButtonFormatMP2, &ButtonFormatOPUS,
                                                    &ButtonFormatALAC};
    const auto& table = PresetTable();
    for (int code = 0; code < OutputFormatCount; ++code) {
        const QString name = QString::fromLatin1(table[code].Name).toUpper();
        auto* button = new TFormatButton(name, FormatHues[code], row);
        button->setObjectName("ButtonFormat" + name);
        button->move(code * TileStep, 0);
        connect(button, &QAbstractButton::clicked, this, [this, code] { ButtonFormatClick(code); });
        *members[code] = button;
        FormatButtons[code] = button;
    }
    return row;
}

QWidget* TPageOutput::CreatePresetStack() {
    PresetStack = new QStackedWidget(this);
    PresetStack->setObjectName("PresetStack");
    PresetStack->setFixedWidth(TileStep * (OutputFormatCount - 1) + TileWidth);
    QComboBox** members[OutputFormatCount] = {&ImageComboBoxWAVPresets, &ImageComboBoxMP3Presets,
                                              &ImageComboBoxWMAPresets, &ImageComboBoxOGGPresets,
                                              &ImageComboBoxAACPresets, &ImageComboBoxM4APresets,
                                              &ImageComboBoxFLACPresets, &ImageComboBoxMP2Presets,
                                              &ImageComboBoxOPUSPresets, &ImageComboBoxALACPresets};
    const auto& table = PresetTable();
    for (int code = 0; code < OutputFormatCount; ++code) {
        auto* list = new QComboBox(PresetStack);
        list->setObjectName("ImageComboBox" + QString::fromLatin1(table[code].Name).toUpper() + "Presets");
        PresetStack->addWidget(list);
        *members[code] = list;
        PresetLists[code] = list;
    }
    noPresetList_ = new QWidget(PresetStack);
    PresetStack->addWidget(noPresetList_);
    return PresetStack;
}

// How the batch runs: the files converted at once, what it does about
// loudness, where their outputs go, and whether chapters become files.
QWidget* TPageOutput::CreateRunOptions() {
    auto* options = new QWidget(this);
    SpinBoxParallelTasks = new QSpinBox(options);
    SpinBoxParallelTasks->setObjectName("SpinBoxParallelTasks");
    SpinBoxParallelTasks->setRange(MinParallelTasks, MaxParallelTasks);
    SpinBoxParallelTasks->setValue(DefaultParallelTasks());
    auto* label = new QLabel(QStringLiteral("Files at once:"), options);
    label->setBuddy(SpinBoxParallelTasks);
    ComboBoxLoudness = new QComboBox(options);
    ComboBoxLoudness->setObjectName("ComboBoxLoudness");
    // In the order of the stored choices (TLoudnessIndex).
    ComboBoxLoudness->addItems({QStringLiteral("Keep as is"), QStringLiteral("Write ReplayGain tags")});
    for (const char* each : {"Normalise to %1 LUFS", "Normalise albums to %1 LUFS"})
        for (const int target : NormaliseTargets()) ComboBoxLoudness->addItem(QString(each).arg(target));
    auto* labelLoudness = new QLabel(QStringLiteral("Loudness:"), options);
    labelLoudness->setBuddy(ComboBoxLoudness);
    ComboBoxLoudness->setAccessibleName(labelLoudness->text());
    CheckBoxKeepFolderStructure = new QCheckBox(QStringLiteral("Keep the folder structure"), options);
    CheckBoxKeepFolderStructure->setObjectName("CheckBoxKeepFolderStructure");
    CheckBoxSplitChapters = new QCheckBox(QStringLiteral("Split by chapters"), options);
    CheckBoxSplitChapters->setObjectName("CheckBoxSplitChapters");
    CheckBoxSplitChapters->setToolTip(
        QStringLiteral("A file with chapters (an audiobook, a concert) becomes one file per chapter."));

    auto* grid = new QGridLayout(options);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->addWidget(label, 0, 0);
    grid->addWidget(SpinBoxParallelTasks, 0, 1, Qt::AlignLeft);
    grid->addWidget(labelLoudness, 1, 0);
    grid->addWidget(ComboBoxLoudness, 1, 1, Qt::AlignLeft);
    grid->addWidget(CheckBoxKeepFolderStructure, 2, 0, 1, 2);
    grid->addWidget(CheckBoxSplitChapters, 3, 0, 1, 2);
    return options;
}

// Qt's own dialog, as for the input files: it behaves the same on every desktop.
void TPageOutput::CreateSelectDirDialog() {
    SelectDirDialog = new TFileDialog(host_);
    SelectDirDialog->setObjectName("SelectDirDialog");
    SelectDirDialog->setWindowTitle(QStringLiteral("Please select a folder"));
    SelectDirDialog->setOption(QFileDialog::DontUseNativeDialog);
    SelectDirDialog->setOption(QFileDialog::ShowDirsOnly);
    SelectDirDialog->setFileMode(QFileDialog::Directory);
    SelectDirDialog->setAcceptMode(QFileDialog::AcceptOpen);
    SelectDirDialog->setSizeGripEnabled(true);
}

void TPageOutput::FillPresetLists() {
    const auto& table = PresetTable();
    for (int code = 0; code < OutputFormatCount; ++code) {
        QComboBox* list = PresetLists[code];
        list->clear();
        for (const TPresetItem& item : table[code].Items) list->addItem(QString::fromStdString(item.Text));
    }
}

void TPageOutput::ButtonFormatClick(int code) {
    if (code < 0 || code >= OutputFormatCount) return;
    FormatButtons[code]->setChecked(true);  // the others give way
    TabToTile(code);
    PresetStack->setCurrentWidget(PresetLists[code]);
    LabelPresets->setBuddy(PresetLists[code]);
    vars_.OutputFormat = static_cast<uint8_t>(code);
}

// A stored code that names no format (a hand-edited settings file) shows no
// format as chosen rather than one the batch would not use.
void TPageOutput::ShowNoFormatChosen() {
    for (QAbstractButton* button : FormatButtons) {
        // An exclusive button keeps its check unless it stops being exclusive.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    TabToTile(0);
    PresetStack->setCurrentWidget(noPresetList_);
    LabelPresets->setBuddy(nullptr);
}

// Tab enters the row at one tile, as it enters a group of radio buttons; the
// arrow keys go on from there.
void TPageOutput::TabToTile(int code) {
    for (int c = 0; c < OutputFormatCount; ++c)
        FormatButtons[c]->setFocusPolicy(c == code ? Qt::StrongFocus : Qt::ClickFocus);
}

int TPageOutput::ChosenFormat() const {
    for (int c = 0; c < OutputFormatCount; ++c)
        if (FormatButtons[c]->isChecked()) return c;
    return -1;
}

// A stored preset the list does not have (a hand-edited file, or -1) leaves
// the list without a choice, which is also what the record builder makes of it.
void TPageOutput::ApplyOutputSettings() {
    const TGlobalVars& g = vars_;
    EditOutputDir->setText(NameFromBytes(g.OutputFileDir));
    if (g.OutputFormat < OutputFormatCount) ButtonFormatClick(g.OutputFormat);
    else ShowNoFormatChosen();
    for (int c = 0; c < OutputFormatCount; ++c) {
        const int index = g.Presets[c];
        PresetLists[c]->setCurrentIndex(index >= 0 && index < PresetLists[c]->count() ? index : -1);
    }
    SpinBoxParallelTasks->setValue(g.ParallelTasks);  // the box keeps a stored count within its range
    CheckBoxKeepFolderStructure->setChecked(g.KeepFolderStructure);
    CheckBoxSplitChapters->setChecked(g.SplitChapters);
    ComboBoxLoudness->setCurrentIndex(g.Loudness >= 0 && g.Loudness < ComboBoxLoudness->count() ? g.Loudness : lcKeep);
}

void TPageOutput::ReadOutputSettings() {
    TGlobalVars& g = vars_;
    g.OutputFileDir = IncludeBackslash(NameBytes(EditOutputDir->text()));
    for (int c = 0; c < OutputFormatCount; ++c) g.Presets[c] = PresetLists[c]->currentIndex();
    g.ParallelTasks = SpinBoxParallelTasks->value();
    g.KeepFolderStructure = CheckBoxKeepFolderStructure->isChecked();
    g.Loudness = ComboBoxLoudness->currentIndex();
    g.SplitChapters = CheckBoxSplitChapters->isChecked();
}

void TPageOutput::ButtonSelectDirClick() {
    SelectDirDialog->setDirectory(NameFromBytes(vars_.OutputFileDir));
    if (SelectDirDialog->exec() != QDialog::Accepted) return;
    const QStringList chosen = SelectDirDialog->ChosenFiles();
    if (!chosen.isEmpty()) ApplySelectedDir(chosen.first());
}

void TPageOutput::ApplySelectedDir(const QString& folder) {
    if (folder.isEmpty()) return;
    vars_.OutputFileDir = IncludeBackslash(NameBytes(folder));
    EditOutputDir->setText(NameFromBytes(vars_.OutputFileDir));
}
