#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "PageInputList.h"

bool UseFreshFolders(const QTemporaryDir& home, const QTemporaryDir& appDir) {
    if (!home.isValid() || !appDir.isValid()) return false;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
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

void AnswerNextMessageBox(QObject* owner, QMessageBox::StandardButton button) {
    OnNextModal(owner, [button](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(button)->click();
        else modal->close();  // not a message box: the waiting test fails instead of hanging
    });
}

int CountLogLines(const std::vector<std::string>& log, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : log) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

bool WaitForAdd(TPageInputList* page) {
    const QDeadlineTimer deadline(std::chrono::minutes(5));
    while (page->Adding() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return !page->Adding();
}

bool AddAndWait(TPageInputList* page, const QStringList& names) {
    page->AddFiles(names);
    return WaitForAdd(page);
}
