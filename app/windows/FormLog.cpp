#include "FormLog.h"

#include <QEvent>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Exception.h"
#include "FileNames.h"
#include "Format.h"
#include "MessageDlg.h"
#include "UtilFuncsGui.h"

namespace {

constexpr int ClientWidth = 483;
constexpr int ClientHeight = 226;
constexpr int MinimumWidth = 265;
constexpr int MinimumHeight = 125;
constexpr int PanelHeight = 40;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ButtonGap = 8;

// 75 × 25, or what a larger font needs for the caption.
QPushButton* CreateButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    const QFontMetrics metrics = button->fontMetrics();
    const QSize caption(metrics.horizontalAdvance(button->text().remove('&')), metrics.height());
    button->resize(caption.grownBy(QMargins(8, 4, 8, 4)).expandedTo(QSize(ButtonWidth, ButtonHeight)));
    return button;
}

} // namespace

TFormLog::TFormLog(std::vector<std::string>& logLines, QWidget* parent) : QDialog(parent), logLines_(logLines) {
    setObjectName("FormLog");
    setWindowTitle(QStringLiteral("Log"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName("MemoLog");
    MemoLog->setReadOnly(true);
    MemoLog->setAccessibleName(windowTitle());
    MemoLog->setTabChangesFocus(true);  // Tab goes on to the buttons
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // The buttons are placed by hand: the group stays centred however wide
    // the window is, which a layout would spread or push to one side.
    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName("PanelBottom");
    PanelBottom->installEventFilter(this);
    ButtonOK = CreateButton("&OK", "ButtonOK", PanelBottom);
    ButtonDelete = CreateButton("&Delete Log", "ButtonDelete", PanelBottom);
    ButtonSave = CreateButton("&Save Log...", "ButtonSave", PanelBottom);
    const int buttonHeight = std::max({ButtonOK->height(), ButtonDelete->height(), ButtonSave->height()});
    for (QPushButton* button : {ButtonOK, ButtonDelete, ButtonSave}) button->resize(button->width(), buttonHeight);
    const int panelHeight = std::max(PanelHeight, buttonHeight + PanelHeight - ButtonHeight);
    PanelBottom->setFixedHeight(panelHeight);
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonDelete, &QPushButton::clicked, this, [this] { ButtonDeleteClick(); });
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MemoLog, 1);
    layout->addWidget(PanelBottom);

    // The buttons always fit side by side.
    const int groupWidth = ButtonOK->width() + ButtonDelete->width() + ButtonSave->width() + 2 * ButtonGap;
    setMinimumSize(std::max(MinimumWidth, groupWidth + 2 * ButtonGap), std::max(MinimumHeight, panelHeight + 85));
    resize(QSize(ClientWidth, ClientHeight).expandedTo(minimumSize()));
    // FormCreate: the first arrangement, before any resize arrives.
    const int top = (panelHeight - buttonHeight) / 2;
    ButtonOK->move(0, top);
    ButtonDelete->move(ButtonOK->width() + ButtonGap, top);
    ButtonSave->move(ButtonDelete->x() + ButtonDelete->width() + ButtonGap, top);
    PanelBottom->resize(width(), panelHeight);
    PanelBottomResize();
    ButtonOK->setFocus();
}

void TFormLog::CenterOn(const QWidget* owner) { CenterOnOwner(this, owner); }

void TFormLog::ShowLines(const std::vector<std::string>& lines) {
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    // File names in the lines may hold bytes that are not UTF-8; they show escaped.
    for (const std::string& line : lines) text << DisplayText(line);
    MemoLog->setPlainText(text.join('\n'));
    ShowNewestLine();
}

// The newest line is what the user opens the log for.
void TFormLog::ShowNewestLine() {
    QTextCursor cursor(MemoLog->document()->lastBlock());
    MemoLog->setTextCursor(cursor);
    MemoLog->ensureCursorVisible();
}

void TFormLog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window's size is known now.
    ShowNewestLine();
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PanelBottom && event->type() == QEvent::Resize) PanelBottomResize();
    return QDialog::eventFilter(watched, event);
}

void TFormLog::PanelBottomResize() {
    const int groupWidth = ButtonSave->x() + ButtonSave->width() - ButtonOK->x();
    const int left = PanelBottom->width() / 2 - groupWidth / 2;
    ButtonOK->move(left, ButtonOK->y());
    ButtonDelete->move(ButtonOK->x() + ButtonOK->width() + ButtonGap, ButtonDelete->y());
    ButtonSave->move(ButtonDelete->x() + ButtonDelete->width() + ButtonGap, ButtonSave->y());
}

void TFormLog::ButtonDeleteClick() {
    const QMessageBox::StandardButton answer =
        MessageDlgCaption(QStringLiteral("Really delete log file?"), QStringLiteral("Delete log?"), mtConfirmation,
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, {}, this);
    if (answer != QMessageBox::Yes) return;
    // Only the log in memory goes; the log file beside the program stays.
    logLines_.clear();
    MemoLog->clear();
    ButtonSave->setEnabled(false);
}

void TFormLog::ButtonSaveClick() {
    QFileDialog dialog(this);
    dialog.setObjectName("SaveDialogLog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.setNameFilters(
        {QStringLiteral("Log-Files (*.log)"), QStringLiteral("Text-Files (*.txt)"), QStringLiteral("All Files (*.*)")});
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty()) SaveLog(chosen.first());
}

bool TFormLog::SaveLog(const QString& fileName) {
    try {
        SaveLinesToFile(logLines_, fileName.toLocal8Bit().toStdString());
        return true;
    } catch (const std::exception& e) {
        ShowErrorMessage(this, e);
        return false;
    }
}

void SaveLinesToFile(const std::vector<std::string>& lines, const std::string& fileName) {
    FILE* f = std::fopen(fileName.c_str(), "wb");
    if (!f) throw Exception(Format("Cannot create file \"%s\". %s", fileName, std::strerror(errno)));
    bool ok = true;
    for (const std::string& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size();
        ok = ok && std::fwrite("\r\n", 1, 2, f) == 2;
    }
    int error = ok ? 0 : errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) throw Exception(Format("Unable to write to %s. %s", fileName, std::strerror(error)));
}
