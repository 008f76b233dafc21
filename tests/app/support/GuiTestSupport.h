#pragma once
// Helpers the desktop program's test suites share: answering modal windows
// without a user, and recording what is handed to the desktop.
#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>

class QTemporaryDir;
class QWidget;

// Points HOME and XDG_CONFIG_HOME into `home` and gives the application folder
// `appDir` a "lib" with the real libraries, as a fresh user's first start
// finds them; also empties the application's state. False when a folder is
// unusable.
bool UseFreshFolders(const QTemporaryDir& home, const QTemporaryDir& appDir);

// Handles the next modal window once it shows, with whatever `answer` does.
// The watch belongs to `owner` and ends with it.
void OnNextModal(QObject* owner, std::function<void(QWidget*)> answer);

// Records what the program hands to the desktop instead of opening it; install
// it with QDesktopServices::setUrlHandler(scheme, &recorder, "open").
class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;

public slots:
    void open(const QUrl& url) { Urls << url; }
};
