#include "GuiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "globals.h"

bool UseFreshFolders(const QTemporaryDir& home, const QTemporaryDir& appDir) {
    if (!home.isValid() || !appDir.isValid()) return false;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    GlobalVars = TGlobalVars{};
    return QFile::link(TEMBRIO_LIB_DIR, appDir.path() + "/lib");
}

void OnNextModal(QObject* owner, std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer(owner);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        timer->stop();
        timer->deleteLater();
        answer(modal);
    });
    timer->start();
}

int CountLogLines(const std::string& prefix) {
    int n = 0;
    for (const std::string& line : GlobalVars.LogLines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}
