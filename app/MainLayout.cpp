// The controls of the main window and their arrangement.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "FormMain.h"
#include "LinkLabel.h"
#include "PageConverting.h"
#include "PageInputList.h"
#include "PageOutput.h"

namespace {

constexpr int ClientWidth = 698;
constexpr int ClientHeight = 542;

QAction* CreateAction(QWidget* owner, const char* text) {
    auto* action = new QAction(QString::fromUtf8(text), owner);
    owner->addAction(action);  // shortcuts work wherever the focus is in the window
    return action;
}

} // namespace

void TFormMain::CreateControls() {
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);

    LabelTitle = new QLabel(client);
    LabelTitle->setObjectName("LabelTitle");
    LabelTitle->setWordWrap(true);
    LabelTitle->setMinimumHeight(40);
    LabelTitle->installEventFilter(this);
    layout->addWidget(LabelTitle);

    PageControlMain = new QTabWidget(client);
    PageControlMain->setObjectName("PageControlMain");
    TabSheetStep1 = new TPageInputList(vars_, this);
    TabSheetStep2 = new TPageOutput(vars_, this);
    TabSheetStep3 = new TPageConverting(vars_, this);
    TabSheetStep4 = CreateFinishPage();
    PageControlMain->addTab(TabSheetStep1, QStringLiteral("Step 1"));
    PageControlMain->addTab(TabSheetStep2, QStringLiteral("Step 2"));
    PageControlMain->addTab(TabSheetStep3, QStringLiteral("Step 3"));
    PageControlMain->addTab(TabSheetStep4, QStringLiteral("Step 4"));
    layout->addWidget(PageControlMain, 1);

    auto* divider = new QFrame(client);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    layout->addWidget(CreateButtonRow());

    setCentralWidget(client);
    SetTabOrder();
    // 698 × 542 is the least the window takes; a larger font may need more.
    setMinimumSize(QSize(ClientWidth, ClientHeight).expandedTo(minimumSizeHint()));
    resize(minimumSize());
}

// Tab goes through the page on show, top to bottom and left to right, then
// along the button row and back to the page: the controls of the hidden pages
// between them are passed over.
void TFormMain::SetTabOrder() {
    QList<QWidget*> order;
    const TPageInputList* p1 = TabSheetStep1;
    order << p1->NextGrid << p1->ButtonStopAdding << p1->ButtonAddAFile << p1->ButtonAddFolder
          << p1->ButtonRemoveSelect << p1->ButtonRemoveAll << p1->ButtonMoveUp << p1->ButtonMoveDown << p1->ButtonPlay;
    const TPageOutput* p2 = TabSheetStep2;
    order << p2->EditOutputDir << p2->ButtonSelectDir;
    for (QWidget* tile : p2->FormatButtons) order << tile;
    for (QWidget* list : p2->PresetLists) order << list;
    order << p2->SpinBoxParallelTasks << p2->ComboBoxLoudness << p2->CheckBoxKeepFolderStructure
          << p2->CheckBoxSplitChapters;
    const TPageConverting* p3 = TabSheetStep3;
    order << p3->ListViewConverting << p3->CheckBoxPlayASound << p3->CheckBoxShutdown;
    order << LabelOpenFolder << ListViewUnfinished;
    // The page's own buttons come before "Help" and "Log".
    order << ButtonBack << ButtonNext << ButtonExit << ButtonHelp << ButtonLog;
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    setTabOrder(order.last(), order.first());
}

// Page 4: the totals of the batch. Its two title lines carry their design
// texts until start-up fills in the application title.
QWidget* TFormMain::CreateFinishPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    LabelFinishTitle1 = new QLabel(QStringLiteral("%s has finished the conversion."), page);
    LabelFinishTitle1->setObjectName("LabelFinishTitle1");
    QFont bold = LabelFinishTitle1->font();
    bold.setBold(true);
    LabelFinishTitle1->setFont(bold);
    LabelFinishTitle1->setWordWrap(true);
    layout->addWidget(LabelFinishTitle1);
    layout->addSpacing(16);

    auto* heading = new QHBoxLayout;
    auto* summary = new QLabel(QStringLiteral("Summary"), page);
    summary->setFont(bold);
    auto* line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    heading->addWidget(summary);
    heading->addWidget(line, 1);
    layout->addLayout(heading);

    auto* totals = new QGridLayout;
    totals->setContentsMargins(24, 8, 0, 0);
    totals->setHorizontalSpacing(16);
    QLabel* caption = nullptr;
    auto addTotal = [&](int row, const char* text, const char* name) {
        caption = new QLabel(QString::fromUtf8(text), page);
        totals->addWidget(caption, row, 0);
        auto* value = new QLabel(QStringLiteral("0"), page);
        value->setObjectName(name);
        totals->addWidget(value, row, 1);
        return value;
    };
    LabelFinishTotalFiles = addTotal(0, "Total files:", "LabelFinishTotalFiles");
    LabelFinishSuccessed = addTotal(1, "Successed:", "LabelFinishSuccessed");
    // Of the files that succeeded: right below them, and only when there are any.
    LabelFinishWarned = addTotal(2, "With warnings:", "LabelFinishWarned");
    LabelFinishWarnedCaption = caption;
    LabelFinishWarnedCaption->hide();
    LabelFinishWarned->hide();
    LabelFinishFailed = addTotal(3, "Failed:", "LabelFinishFailed");
    LabelFinishStopped = addTotal(4, "Stopped:", "LabelFinishStopped");
    LabelFinishStoppedCaption = caption;
    LabelFinishStoppedCaption->hide();
    LabelFinishStopped->hide();
    LabelOpenFolder = new TLinkLabel(QStringLiteral("Open folder"), page);
    LabelOpenFolder->setObjectName("LabelOpenFolder");
    connect(LabelOpenFolder, &TLinkLabel::Clicked, this, [this] { LabelOpenFolderClick(); });
    totals->addWidget(LabelOpenFolder, 1, 2);
    totals->setColumnStretch(3, 1);
    layout->addLayout(totals);

    // The files that did not convert, by name, and what a stopped one left.
    layout->addSpacing(12);
    LabelFinishUnfinished = new QLabel(QStringLiteral("Files not converted:"), page);
    LabelFinishUnfinished->setObjectName("LabelFinishUnfinished");
    layout->addWidget(LabelFinishUnfinished);
    ListViewUnfinished = new QTreeWidget(page);
    ListViewUnfinished->setObjectName("ListViewUnfinished");
    ListViewUnfinished->setRootIsDecorated(false);
    ListViewUnfinished->setItemsExpandable(false);
    ListViewUnfinished->setUniformRowHeights(true);
    ListViewUnfinished->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewUnfinished->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewUnfinished->setHeaderLabels({"Name", "Status", "Details"});
    ListViewUnfinished->setColumnWidth(0, 250);
    ListViewUnfinished->setColumnWidth(1, 80);
    ListViewUnfinished->setAccessibleName(QStringLiteral("Files not converted"));
    LabelFinishUnfinished->setBuddy(ListViewUnfinished);
    layout->addWidget(ListViewUnfinished, 4);
    LabelFinishUnfinished->hide();
    ListViewUnfinished->hide();

    layout->addStretch(1);
    LabelFinishTitle2 = new QLabel(QStringLiteral("To convert other files, click \"Finish\". Click \"Exit\" to quit %s."), page);
    LabelFinishTitle2->setObjectName("LabelFinishTitle2");
    LabelFinishTitle2->setWordWrap(true);
    layout->addWidget(LabelFinishTitle2);
    return page;
}

QWidget* TFormMain::CreateButtonRow() {
    ActionHelp = CreateAction(this, "Help");
    ActionLog = CreateAction(this, "Log");
    ActionBack = CreateAction(this, "&Back");
    ActionNext = CreateAction(this, "&Next");
    ActionExit = CreateAction(this, "E&xit");
    ActionExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(ActionExit, &QAction::triggered, this, [this] { ActionExitExecute(); });
    connect(ActionNext, &QAction::triggered, this, [this] { ActionNextExecute(); });
    connect(ActionBack, &QAction::triggered, this, [this] { ActionBackExecute(); });
    connect(ActionHelp, &QAction::triggered, this, [this] { ActionHelpExecute(); });
    connect(ActionLog, &QAction::triggered, this, [this] { ActionLogExecute(); });
    CreateHelpMenu();

    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    ButtonHelp = CreateActionButton(ActionHelp, row, "ButtonHelp");
    ButtonLog = CreateActionButton(ActionLog, row, "ButtonLog");
    ButtonBack = CreateActionButton(ActionBack, row, "ButtonBack");
    ButtonNext = CreateActionButton(ActionNext, row, "ButtonNext");
    ButtonExit = CreateActionButton(ActionExit, row, "ButtonExit");
    // Drawn as the button Enter presses (TFormMain::keyPressEvent).
    ButtonNext->setDefault(true);
    layout->addWidget(ButtonHelp);
    layout->addWidget(ButtonLog);
    layout->addStretch(1);
    layout->addWidget(ButtonBack);
    layout->addWidget(ButtonNext);
    layout->addWidget(ButtonExit);
    return row;
}

// A push button that shows its action's caption and state and triggers it.
QPushButton* TFormMain::CreateActionButton(QAction* action, QWidget* parent, const char* name) {
    auto* button = new QPushButton(action->text(), parent);
    button->setObjectName(name);
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    return button;
}
