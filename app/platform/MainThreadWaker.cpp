#include "MainThreadWaker.h"

#include <QCoreApplication>

#include "MainThread.h"

TMainThreadWaker::TMainThreadWaker() {
    posted_.setSingleShot(true);
    posted_.setInterval(PostedDelayMs);
    connect(&posted_, &QTimer::timeout, this, [] { CheckSynchronize(); });
    // postEvent is safe from any thread; the event is handled on this object's
    // (the main) thread.
    SetWakeMainThreadHook([this](bool waiting) {
        QCoreApplication::postEvent(this, new QEvent(waiting ? WakeEvent : PostedEvent));
    });
}

TMainThreadWaker::~TMainThreadWaker() { SetWakeMainThreadHook(nullptr); }

void TMainThreadWaker::customEvent(QEvent* event) {
    if (event->type() == WakeEvent) CheckSynchronize();
    else if (event->type() == PostedEvent) {
        if (!posted_.isActive()) posted_.start();
    } else QObject::customEvent(event);
}
