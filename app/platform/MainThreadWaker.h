#pragma once
// Lets worker threads wake the GUI's event loop: while it exists, every
// hand-off queued for the main thread posts an event to this object, whose
// handler runs the queued hand-offs.
#include <QEvent>
#include <QObject>

class TMainThreadWaker : public QObject {
public:
    static constexpr QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::User + 100);

    // Main thread only, after InitMainThread.
    TMainThreadWaker();
    ~TMainThreadWaker() override;

protected:
    void customEvent(QEvent* event) override;
};
