#pragma once
// Lets worker threads wake the GUI's event loop: while it exists, a hand-off
// queued for the main thread posts an event to this object, whose handler
// runs the queued hand-offs. A hand-off a worker waits for runs at once; the
// posted ones (log lines) are run together, PostedDelayMs after the first of
// them, so that a batch of short files does not wake the window for each line.
#include <QEvent>
#include <QObject>
#include <QTimer>

class TMainThreadWaker : public QObject {
public:
    static constexpr QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::User + 100);
    static constexpr QEvent::Type PostedEvent = static_cast<QEvent::Type>(QEvent::User + 101);
    static constexpr int PostedDelayMs = 50;

    // Main thread only, after InitMainThread.
    TMainThreadWaker();
    ~TMainThreadWaker() override;

protected:
    void customEvent(QEvent* event) override;

private:
    QTimer posted_;  // runs the posted hand-offs
};
