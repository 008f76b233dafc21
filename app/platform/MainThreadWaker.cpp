#include "MainThreadWaker.h"

#include <QCoreApplication>

#include "MainThread.h"

TMainThreadWaker::TMainThreadWaker() {
    // postEvent is safe from any thread; the event is handled on this object's
    // (the main) thread.
    SetWakeMainThreadHook([this] { QCoreApplication::postEvent(this, new QEvent(WakeEvent)); });
}

TMainThreadWaker::~TMainThreadWaker() { SetWakeMainThreadHook(nullptr); }

void TMainThreadWaker::customEvent(QEvent* event) {
    if (event->type() == WakeEvent) CheckSynchronize();
    else QObject::customEvent(event);
}
