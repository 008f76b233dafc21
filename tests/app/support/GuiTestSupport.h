#pragma once
// Helpers the desktop program's test suites share: answering modal windows
// without a user, and recording what is handed to the desktop.
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "MainThread.h"
#include "MainThreadWaker.h"

class QTemporaryDir;
class QWidget;
class TPageInputList;

// Points HOME and XDG_CONFIG_HOME into `home` and gives the application folder
// `appDir` a "lib" with the real libraries, as a fresh user's first start
// finds them. False when a folder is unusable.
bool UseFreshFolders(const QTemporaryDir& home, const QTemporaryDir& appDir);

// Handles the next modal window once it shows, with whatever `answer` does.
// The watch belongs to `owner` and ends with it.
void OnNextModal(QObject* owner, std::function<void(QWidget*)> answer);

// Answers the next message box with `button`.
void AnswerNextMessageBox(QObject* owner, QMessageBox::StandardButton button);

// Records what the program hands to the desktop instead of opening it; install
// it with QDesktopServices::setUrlHandler(scheme, &recorder, "open").
class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;

public slots:
    void open(const QUrl& url) { Urls << url; }
};

// Serves the event loop until page 1's add has ended; false when it has not
// within several minutes.
bool WaitForAdd(TPageInputList* page);
// Adds `names` to page 1 and waits until the add has ended.
bool AddAndWait(TPageInputList* page, const QStringList& names);

// How many lines of `log` start with `prefix`.
int CountLogLines(const std::vector<std::string>& log, const std::string& prefix);

// Runs a suite inside the program's surroundings: the binding, the application
// object, this thread as the main thread whose
// hand-offs the event loop serves.
template <class TSuite>
int RunDesktopSuite(int argc, char* argv[]) {
    TFFBindProcess binding;
    QApplication app(argc, argv);
    InitMainThread();
    TMainThreadWaker waker;
    TSuite suite;
    return QTest::qExec(&suite, argc, argv);
}
