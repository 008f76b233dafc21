#include "UtilFuncsGui.h"

#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "FileNames.h"
#include "IniFile.h"
#include "UtilFuncs.h"
#include "WindowPlacement.h"
#include "globals.h"

namespace {

TWindowPlacement CurrentPlacement(const QWidget* window) {
    TWindowPlacement p;
    p.Left = window->x();
    p.Top = window->y();
    p.Width = window->width();
    p.Height = window->height();
    p.Maximized = window->isMaximized();
    return p;
}

// The primary screen's first.
std::vector<TScreenArea> ScreenAreas() {
    std::vector<TScreenArea> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    QList<QScreen*> screens = QGuiApplication::screens();
    std::stable_partition(screens.begin(), screens.end(), [primary](const QScreen* s) { return s == primary; });
    for (const QScreen* screen : screens) {
        const QRect r = screen->availableGeometry();
        areas.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return areas;
}

} // namespace

bool LoadWindowPlacement(const std::string& section, QWidget* window, const std::string& iniPath,
                         const TGlobalVars& vars) {
    TIniFile ini(PlacementFilePath(iniPath, vars));
    TWindowPlacement p = ReadWindowPlacement(ini, section, CurrentPlacement(window));
    // Only onto a screen that is there now, clear of the desktop's panels: a
    // window closed on a screen since unplugged, or under another scaling,
    // comes back where it can be seen.
    const std::vector<TScreenArea> areas = ScreenAreas();
    if (!areas.empty()) p = FitToScreen(p, AreaShowing(p, areas));
    // Bounds go to the normal state; a maximized window takes them as the size
    // it returns to.
    window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
    window->move(p.Left, p.Top);
    window->resize(p.Width, p.Height);
    if (p.Maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    return true;
}

void SaveWindowPlacement(const std::string& section, QWidget* window, const std::string& iniPath, TGlobalVars& vars) {
    TIniFile ini(PlacementFilePath(iniPath, vars));
    WriteWindowPlacement(ini, section, CurrentPlacement(window));
    WriteSettingsFile(ini, vars);
}

bool ShellOpen(const std::string& target, QWidget* parent) {
    const QString text = QString::fromLocal8Bit(target.c_str());
    // A scheme of one letter would be a drive, not a scheme; paths have none.
    const QUrl url(text);
    const bool hasScheme = url.isValid() && url.scheme().size() > 1;
    if (QDesktopServices::openUrl(hasScheme ? url : UrlOfLocalFile(target))) return true;
    // Without a handler (no xdg-open, or nothing registered for the kind of
    // target) the desktop does nothing at all: say so.
    QMessageBox::warning(parent, QString::fromUtf8(ApplicationTitleText),
                         QStringLiteral("\"%1\" could not be opened.").arg(hasScheme ? text : DisplayText(target)));
    return false;
}

// Qt's override-cursor stack is the nesting counter: the program pushes a
// cursor only here, so each EndBusy pops exactly what a BeginBusy pushed.
void BeginBusy() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

void EndBusy() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    if (cursor && cursor->shape() == Qt::WaitCursor) QGuiApplication::restoreOverrideCursor();
}

// Not Qt's application display name: Qt appends that to every window title,
// and each window's title is its own caption.
std::string ApplicationTitle() { return ApplicationTitleText; }

void CenterOnOwner(QWidget* window, const QWidget* owner) {
    const QRect main = owner->frameGeometry();
    window->move(main.left() + (main.width() - window->width()) / 2,
                 main.top() + (main.height() - window->height()) / 2);
}
