#include "StopSignals.h"

#include <atomic>
#include <csignal>
#include <cstdint>

#include "InterruptCB.h"
#include "SignalAction.h"
#include "ThreadId.h"

namespace {

// Lock-free, so the handler may set it (async-signal-safe).
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int) { g_stopRequested.store(true); }

bool CheckStop(void*) { return StopRequested(); }

} // namespace

void InstallSignalHandling() {
    // SA_RESETHAND: the handler serves the first signal only; the next one of
    // the kind has its default effect and ends the program.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) SetSignalAction(signal, OnStopSignal, SA_RESTART | SA_RESETHAND);
    // The program starts no other programs, which would inherit these.
    for (int signal : {SIGPIPE, SIGXFSZ}) SetSignalAction(signal, SIG_IGN, 0);
}

bool StopRequested() { return g_stopRequested.load(); }

const std::atomic<bool>& StopFlag() { return g_stopRequested; }

TStopCheck::TStopCheck() : threadId_(CurrentThreadId()) {
    if (TInterruptCB* registry = InterruptRegistry()) registry->Add(threadId_, this, CheckStop);
}

TStopCheck::~TStopCheck() {
    if (TInterruptCB* registry = InterruptRegistry()) registry->Remove(threadId_, this, CheckStop);
}
