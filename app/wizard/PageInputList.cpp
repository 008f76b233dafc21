// Page 1's controls, its list actions and the drops from the file manager.
#include "PageInputList.h"

#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "AddFailed.h"
#include "AudioIcon.h"
#include "FileAdder.h"
#include "FileDialog.h"
#include "FileDrop.h"
#include "FileListView.h"
#include "FileNames.h"
#include "FileRowDelegate.h"
#include "UtilFuncsGui.h"
#include "SourceFiles.h"

namespace {

QAction* CreateAction(QWidget* host, QObject* owner, const char* text, const QKeySequence& shortcut = {}) {
    auto* action = new QAction(QString::fromUtf8(text), owner);
    action->setShortcut(shortcut);
    host->addAction(action);
    return action;
}

// A length in whole hours and minutes ("2 h 13 min"), or seconds under a minute.
QString LengthText(int64_t microseconds) {
    const int64_t seconds = microseconds / 1000000;
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    const int64_t minutes = seconds / 60;
    if (minutes < 60) return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

} // namespace

TPageInputList::TPageInputList(TGlobalVars& vars, QWidget* host)
    : vars_(vars), host_(host), adder_(std::make_unique<TFileAdder>(QThread::idealThreadCount())) {
    setObjectName("TabSheetStep1");
    adder_->OnFile = [this](TProbedRow& file) { AddedFile(file); };
    adder_->OnProgress = [this] { AddProgress(); };
    adder_->OnDone = [this](bool stopped) { AddDone(stopped); };
    CreateActions(host);
    CreateControls();
    CreateOpenDialog(host);
    CreateFolderDialog(host);
    ConnectListUpdates();
    // The window takes files from the file manager on every page; the list's
    // own area takes them too, beside its row moves.
    host->setAcceptDrops(true);
    host->installEventFilter(this);
    NextGrid->viewport()->installEventFilter(this);
    SetDecoder(nullptr);
    ActionListUpdate();
}

// The add's workers are joined before the rows and the list go.
TPageInputList::~TPageInputList() {
    host_->removeEventFilter(this);
    adder_.reset();
}

void TPageInputList::SetDecoder(TFFDecoder* decoder) {
    if (!decoder) {
        CancelAdding();
        adder_->StopAndWait();
    }
    decoder_ = decoder;
    ActionAdd->setEnabled(decoder_ != nullptr);
    ActionAddFolder->setEnabled(decoder_ != nullptr);
}

void TPageInputList::CreateActions(QWidget* host) {
    ActionAdd = CreateAction(host, this, "&Add...", QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionAddFolder = CreateAction(host, this, "Add &Folder...");
    ActionDelete = CreateAction(host, this, "&Delete", QKeySequence(Qt::Key_Delete));
    ActionClear = CreateAction(host, this, "&Clear", QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionMoveUp = CreateAction(host, this, "&Move Up");
    ActionMoveDown = CreateAction(host, this, "M&ove Down");
    ActionPlay = CreateAction(host, this, "&Play", QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(ActionAdd, &QAction::triggered, this, [this] { ActionAddExecute(); });
    connect(ActionAddFolder, &QAction::triggered, this, [this] { ActionAddFolderExecute(); });
    connect(ActionDelete, &QAction::triggered, this, [this] { ActionDeleteExecute(); });
    connect(ActionClear, &QAction::triggered, this, [this] { ActionClearExecute(); });
    connect(ActionMoveUp, &QAction::triggered, this, [this] { ActionMoveUpExecute(); });
    connect(ActionMoveDown, &QAction::triggered, this, [this] { ActionMoveDownExecute(); });
    connect(ActionPlay, &QAction::triggered, this, [this] { ActionPlayExecute(); });
}

void TPageInputList::CreateControls() {
    model_ = new TFileListModel(this);
    NextGrid = new TFileListView(this);
    NextGrid->setObjectName("NextGrid");
    NextGrid->setModel(model_);
    NextGrid->setItemDelegate(new TFileRowDelegate(NextGrid));
    NextGrid->setUniformItemSizes(true);
    NextGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NextGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NextGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NextGrid->setDragDropMode(QAbstractItemView::InternalMove);
    NextGrid->setDefaultDropAction(Qt::MoveAction);
    NextGrid->setDropIndicatorShown(true);
    NextGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    NextGrid->setAccessibleName(QStringLiteral("Files to convert"));

    PopupMenuList = new QMenu(this);
    PopupMenuList->setObjectName("PopupMenuList");
    PopupMenuList->addActions({ActionAdd, ActionAddFolder, ActionDelete, ActionClear});
    PopupMenuList->addSeparator();
    PopupMenuList->addActions({ActionMoveUp, ActionMoveDown});
    PopupMenuList->addSeparator();
    PopupMenuList->addAction(ActionPlay);
    connect(NextGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenuList->popup(NextGrid->viewport()->mapToGlobal(pos)); });
    connect(NextGrid, &QAbstractItemView::doubleClicked, this, [this] { NextGridDblClick(); });

    ImageAudioIcon = new QLabel(this);
    ImageAudioIcon->setObjectName("ImageAudioIcon");
    ImageAudioIcon->setPixmap(PaintAudioIcon());
    ImageAudioIcon->hide();

    // The gaps between the button groups give way first in a short window.
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    auto gap = [buttons] { buttons->addSpacerItem(new QSpacerItem(0, 12, QSizePolicy::Minimum, QSizePolicy::Preferred)); };
    ButtonAddAFile = CreateActionButton(ActionAdd, "ButtonAddAFile");
    ButtonAddFolder = CreateActionButton(ActionAddFolder, "ButtonAddFolder");
    ButtonRemoveSelect = CreateActionButton(ActionDelete, "ButtonRemoveSelect");
    ButtonRemoveAll = CreateActionButton(ActionClear, "ButtonRemoveAll");
    ButtonMoveUp = CreateActionButton(ActionMoveUp, "ButtonMoveUp");
    ButtonMoveDown = CreateActionButton(ActionMoveDown, "ButtonMoveDown");
    ButtonPlay = CreateActionButton(ActionPlay, "ButtonPlay");
    for (QPushButton* b : {ButtonAddAFile, ButtonAddFolder, ButtonRemoveSelect, ButtonRemoveAll}) buttons->addWidget(b);
    gap();
    for (QPushButton* b : {ButtonMoveUp, ButtonMoveDown}) buttons->addWidget(b);
    gap();
    buttons->addWidget(ButtonPlay);
    buttons->addStretch(1);

    CreateAddingPanel();
    LabelFileCount = new QLabel(this);
    LabelFileCount->setObjectName("LabelFileCount");
    auto* list = new QVBoxLayout;
    list->setSpacing(4);
    list->addWidget(NextGrid, 1);
    list->addWidget(LabelFileCount);
    list->addWidget(PanelAdding);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(list, 1);
    layout->addLayout(buttons);
}

// "Adding 120 of 800 files…" with its "Stop" button, below the list while an
// add runs.
void TPageInputList::CreateAddingPanel() {
    PanelAdding = new QWidget(this);
    PanelAdding->setObjectName("PanelAdding");
    LabelAdding = new QLabel(PanelAdding);
    LabelAdding->setObjectName("LabelAdding");
    ButtonStopAdding = new QPushButton(QStringLiteral("Stop"), PanelAdding);
    ButtonStopAdding->setObjectName("ButtonStopAdding");
    ButtonStopAdding->setFocusPolicy(Qt::TabFocus);
    connect(ButtonStopAdding, &QPushButton::clicked, this, [this] { StopAdding(); });
    auto* line = new QHBoxLayout(PanelAdding);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(LabelAdding, 1);
    line->addWidget(ButtonStopAdding);
    PanelAdding->hide();
}

// A button that shows its action's caption and state and triggers it.
QPushButton* TPageInputList::CreateActionButton(QAction* action, const char* name) {
    auto* button = new QPushButton(action->text(), this);
    button->setObjectName(name);
    button->setEnabled(action->isEnabled());
    button->setFocusPolicy(Qt::TabFocus);
    connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    return button;
}

// Qt's own dialog, not the desktop's: its filters ignore letter case, as the
// upper-case patterns need, and it behaves the same on every desktop.
void TPageInputList::CreateOpenDialog(QWidget* host) {
    OpenDialog = new TFileDialog(host);
    OpenDialog->setObjectName("OpenDialog");
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails);
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setSizeGripEnabled(true);
    // The same extensions a drop or a folder search takes, upper case as the
    // dialog has always shown them.
    auto patterns = [](const std::vector<std::string>& extensions) {
        QString list;
        for (const std::string& e : extensions) list += "*" + QString::fromStdString(e).toUpper() + ";";
        return list;
    };
    const QString video = patterns(VideoExtensions());
    // A cue sheet stands for the tracks of its album image.
    const QString audio = patterns(AudioExtensions()) + patterns({".cue"});
    // Qt separates a filter's patterns with spaces.
    auto filter = [](const char* description, const QString& patterns) {
        QStringList list = patterns.split(';', Qt::SkipEmptyParts);
        return QString::fromUtf8(description) + " (" + list.join(' ') + ")";
    };
    OpenDialog->setNameFilters({filter("All Supported Formats", video + audio),
                                filter("All Video Formats (all types)", video),
                                filter("All Audio Formats (all types)", audio), filter("All Files", "*")});
}

// The same kind of dialog, choosing one folder.
void TPageInputList::CreateFolderDialog(QWidget* host) {
    FolderDialog = new TFileDialog(host);
    FolderDialog->setObjectName("FolderDialog");
    FolderDialog->setOption(QFileDialog::DontUseNativeDialog);
    FolderDialog->setOption(QFileDialog::ShowDirsOnly);
    FolderDialog->setFileMode(QFileDialog::Directory);
    FolderDialog->setAcceptMode(QFileDialog::AcceptOpen);
    FolderDialog->setSizeGripEnabled(true);
}

// The actions follow the rows and the selection as they change, which is
// every moment the enabled states can change.
void TPageInputList::ConnectListUpdates() {
    auto update = [this] { ActionListUpdate(); };
    auto count = [this] { ShowFileCount(); };
    connect(model_, &QAbstractItemModel::rowsInserted, this, count);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, count);
    connect(model_, &QAbstractItemModel::modelReset, this, count);
    connect(model_, &QAbstractItemModel::rowsInserted, this, update);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, update);
    connect(model_, &QAbstractItemModel::rowsMoved, this, update);
    connect(model_, &QAbstractItemModel::modelReset, this, update);
    connect(model_, &QAbstractItemModel::rowsMoved, this, [this] { NextGridAfterRowMove(); });
    connect(NextGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, update);
}

void TPageInputList::ActionListUpdate() {
    const int selected = SelectedRow();
    const int count = model_->rowCount();
    ActionDelete->setEnabled(selected >= 0);
    ActionPlay->setEnabled(selected >= 0);
    ActionClear->setEnabled(count > 0);
    ActionMoveUp->setEnabled(selected >= 1);
    ActionMoveDown->setEnabled(selected >= 0 && selected < count - 1);
}

void TPageInputList::FocusList() {
    // A current row shows where the focus is, without selecting it; the
    // empty list shows it itself.
    if (model_->rowCount() > 0 && !NextGrid->currentIndex().isValid())
        NextGrid->selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::NoUpdate);
    NextGrid->setFocus();
}

// "42 files, 2 h 13 min": the length of the files whose length is known.
void TPageInputList::ShowFileCount() {
    const int count = model_->rowCount();
    if (count == 0) {
        LabelFileCount->clear();
        return;
    }
    const int unknown = model_->UnknownDurations();
    QString text = count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
    if (unknown < count) text += ", " + LengthText(model_->KnownDuration());
    if (unknown > 0) text += QStringLiteral(" (%1 of unknown length)").arg(unknown);
    LabelFileCount->setText(text);
}

int TPageInputList::SelectedRow() const {
    const QModelIndexList selected = NextGrid->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TPageInputList::SelectRow(int row) {
    QItemSelectionModel* selection = NextGrid->selectionModel();
    if (row < 0 || row >= model_->rowCount()) {
        selection->clear();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    NextGrid->scrollTo(index);
}

void TPageInputList::ActionDeleteExecute() {
    const int selected = SelectedRow();
    if (selected < 0) return;
    model_->removeRow(selected);
    SelectRow(std::min(selected, model_->rowCount() - 1));
}

void TPageInputList::ActionClearExecute() {
    CancelAdding();
    model_->Clear();
}

void TPageInputList::ActionMoveUpExecute() {
    const int selected = SelectedRow();
    if (selected - 1 < 0) return;
    model_->moveRow(QModelIndex(), selected, QModelIndex(), selected - 1);
    SelectRow(selected - 1);
}

void TPageInputList::ActionMoveDownExecute() {
    const int selected = SelectedRow();
    if (selected < 0 || selected + 1 >= model_->rowCount()) return;
    // The destination counts rows before the move: below the next row.
    model_->moveRow(QModelIndex(), selected, QModelIndex(), selected + 2);
    SelectRow(selected + 1);
}

void TPageInputList::ActionPlayExecute() {
    const int selected = SelectedRow();
    if (selected < 0) return;
    ShellOpen(NameBytes(model_->FileFullName(selected)), host_);
}

void TPageInputList::NextGridDblClick() { ActionPlayExecute(); }

void TPageInputList::NextGridAfterRowMove() { NextGrid->viewport()->update(); }

bool TPageInputList::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == host_ || watched == NextGrid->viewport()) && HandleFileDrag(event)) return true;
    return QWidget::eventFilter(watched, event);
}

// Drags that carry files from outside are taken here; the list's own row
// moves pass on to the list.
bool TPageInputList::HandleFileDrag(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (drop->source() == NextGrid || !drop->mimeData() || !drop->mimeData()->hasUrls()) return false;
    if (!decoder_) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        // Looking at the names can take a while on a slow folder; the file
        // manager gets its answer first.
        const QStringList names = DroppedFileNames(*drop->mimeData());
        QMetaObject::invokeMethod(this, [this, names] { AddDroppedFiles(names); }, Qt::QueuedConnection);
    }
    return true;
}
