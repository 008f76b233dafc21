#pragma once
// Signals the desktop program meets. SIGTERM, SIGHUP and SIGINT (a logout, a
// service manager, Ctrl-C in the terminal that started it) close its windows
// without asking anything, since nobody may be there to answer: the main
// window's close stops a running batch, finalises its files and saves the
// settings. The handler only writes the signal's number into a pipe, which is
// all a handler may safely do; a socket notifier on the pipe's other end does
// the closing from the event loop.
#include <QObject>
#include <functional>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT

public:
    // Main thread, one at a time. Installs the handlers; they are taken down
    // again with the object. Raises Exception when the pipe cannot be made.
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    // What a signal does, from the event loop; unset, every window is closed.
    std::function<void()> OnSignal;

private:
    void Received();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

// SIGPIPE and SIGXFSZ end nothing: a write to a closed pipe or over the
// file-size limit fails with an error instead, as a full disk does. Caught by
// a handler that does nothing rather than ignored, so that programs the
// desktop program starts (the desktop's opener, the shut-down) get the
// default again.
void IgnoreWriteFailureSignals();
