#include "TerminationSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "Exception.h"
#include "Format.h"
#include "SignalAction.h"

namespace {

constexpr int HandledSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The pipe's writing end, for the handler; -1 while no object listens.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

void OnTerminationSignal(int signal) {
    const int saved = errno;
    const int fd = g_writeEnd.load();
    const char number = static_cast<char>(signal);
    if (fd >= 0) {
        // Non-blocking: when the pipe is full, a close is on its way already.
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = saved;
}

void DoNothing(int) {}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception(Format("SIGTERM and SIGHUP cannot be handled: %s", std::strerror(errno)));
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Received(); });
    g_writeEnd = pipe_[1];
    for (int signal : HandledSignals) SetSignalAction(signal, OnTerminationSignal, SA_RESTART);
}

TTerminationSignals::~TTerminationSignals() {
    for (int signal : HandledSignals) SetSignalAction(signal, SIG_DFL, SA_RESTART);
    g_writeEnd = -1;
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TTerminationSignals::Received() {
    char numbers[64];
    while (::read(pipe_[0], numbers, sizeof numbers) > 0) continue;
    if (OnSignal) OnSignal();
    else QApplication::closeAllWindows();
}

void IgnoreWriteFailureSignals() {
    for (int signal : {SIGPIPE, SIGXFSZ}) SetSignalAction(signal, DoNothing, SA_RESTART);
}
