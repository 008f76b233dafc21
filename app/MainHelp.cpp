// The "Help" and "Log" buttons of the main window: the help menu with the
// manual, its web and e-mail commands and the About window, and the log window.
#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "FormAbout.h"
#include "FormLog.h"
#include "FormMain.h"
#include "HelpManual.h"
#include "UtilFuncsGui.h"

namespace {

QAction* CreateMenuAction(QWidget* owner, const char* text, const char* name) {
    auto* action = new QAction(QString::fromUtf8(text), owner);
    action->setObjectName(name);
    owner->addAction(action);  // the shortcut works while the menu is closed
    return action;
}

} // namespace

void TFormMain::CreateHelpMenu() {
    ActionHelpContent = CreateMenuAction(this, "Help Content", "ActionHelpContent");
    ActionHelpContent->setShortcut(QKeySequence(Qt::Key_F1));
    ActionHomePage = CreateMenuAction(this, "Home Page", "ActionHomePage");
    ActionCheckforUpdates = CreateMenuAction(this, "Check for Updates...", "ActionCheckforUpdates");
    ActionContactTechnicalSupport =
        CreateMenuAction(this, "Contact Technical Support...", "ActionContactTechnicalSupport");
    ActionAbout = CreateMenuAction(this, "About", "ActionAbout");
    connect(ActionHelpContent, &QAction::triggered, this, [this] { ActionHelpContentExecute(); });
    connect(ActionHomePage, &QAction::triggered, this, [this] { ActionHomePageExecute(); });
    connect(ActionCheckforUpdates, &QAction::triggered, this, [this] { ActionCheckforUpdatesExecute(); });
    connect(ActionContactTechnicalSupport, &QAction::triggered, this,
            [this] { ActionContactTechnicalSupportExecute(); });
    connect(ActionAbout, &QAction::triggered, this, [this] { ActionAboutExecute(); });

    PopupMenuHelp = new QMenu(this);
    PopupMenuHelp->setObjectName("PopupMenuHelp");
    PopupMenuHelp->addAction(ActionHelpContent);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionHomePage);
    PopupMenuHelp->addAction(ActionCheckforUpdates);
    PopupMenuHelp->addAction(ActionContactTechnicalSupport);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionAbout);
}

QPoint TFormMain::HelpMenuPoint() const { return ButtonHelp->mapToGlobal(QPoint(0, ButtonHelp->height())); }

void TFormMain::ActionHelpExecute() { PopupMenuHelp->popup(HelpMenuPoint()); }

void TFormMain::ActionLogExecute() {
    TFormLog form(vars_.LogLines, this);
    form.CenterOn(this);
    form.ShowLines(vars_.LogLines);
    form.exec();
}

void TFormMain::ActionHelpContentExecute() { OpenHelp(vars_.HelpAddress, this); }

void TFormMain::ActionHomePageExecute() { ShellOpen(vars_.HomePageAddress, this); }

void TFormMain::ActionCheckforUpdatesExecute() { ShellOpen(vars_.UpdatesAddress, this); }

void TFormMain::ActionContactTechnicalSupportExecute() { ShellOpen("mailto:" + vars_.SupportAddress, this); }

void TFormMain::ActionAboutExecute() {
    TFormAbout form(vars_, appDir_, this);
    form.CenterOn(this);
    form.exec();
}
