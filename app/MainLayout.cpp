// The controls of the main window and their arrangement.
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Main.h"
#include "PageInputList.h"

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
    TabSheetStep1 = new TPageInputList(this);
    TabSheetStep2 = new QWidget;
    TabSheetStep3 = new QWidget;
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
    resize(ClientWidth, ClientHeight);
}

// Page 4's two title lines carry their design texts until start-up fills in
// the application title.
QWidget* TFormMain::CreateFinishPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    LabelFinishTitle1 = new QLabel(QStringLiteral("%s has finished the conversion."), page);
    LabelFinishTitle1->setObjectName("LabelFinishTitle1");
    LabelFinishTitle2 = new QLabel(QStringLiteral("To convert other files, click \"Finish\". Click \"Exit\" to quit %s."), page);
    LabelFinishTitle2->setObjectName("LabelFinishTitle2");
    layout->addWidget(LabelFinishTitle1);
    layout->addStretch(1);
    layout->addWidget(LabelFinishTitle2);
    return page;
}

QWidget* TFormMain::CreateButtonRow() {
    ActionHelp = CreateAction(this, "Help");
    ActionLog = CreateAction(this, "Log");
    ActionBack = CreateAction(this, "Back");
    ActionNext = CreateAction(this, "Next");
    ActionExit = CreateAction(this, "Exit");
    ActionExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(ActionExit, &QAction::triggered, this, [this] { ActionExitExecute(); });

    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    ButtonHelp = CreateActionButton(ActionHelp, row);
    ButtonLog = CreateActionButton(ActionLog, row);
    ButtonBack = CreateActionButton(ActionBack, row);
    ButtonNext = CreateActionButton(ActionNext, row);
    ButtonExit = CreateActionButton(ActionExit, row);
    layout->addWidget(ButtonHelp);
    layout->addWidget(ButtonLog);
    layout->addStretch(1);
    layout->addWidget(ButtonBack);
    layout->addWidget(ButtonNext);
    layout->addWidget(ButtonExit);
    return row;
}

// A push button that shows its action's caption and state and triggers it.
QPushButton* TFormMain::CreateActionButton(QAction* action, QWidget* parent) {
    auto* button = new QPushButton(action->text(), parent);
    button->setObjectName("Button" + action->text());
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    return button;
}
