#pragma once
// How tembrio-convert meets signals. Ctrl-C (SIGINT), SIGTERM and SIGHUP ask
// it to stop: the handler only records the request, and the batch's loop and
// the probes look at it, so the running files are finalised and the summary
// printed before the program ends. A second signal of the same kind ends the
// program at once, for a call that cannot be stopped any other way. SIGPIPE
// and SIGXFSZ are ignored: a closed standard output or a file-size limit then
// turns into a failed write rather than the end of the whole batch.
#include <atomic>
#include <cstdint>

// Once, at start-up, before any thread is started.
void InstallSignalHandling();

// True once a stop was asked for; any thread may ask.
bool StopRequested();
// The flag itself, for a search that polls it.
const std::atomic<bool>& StopFlag();

// While it lives, the blocking library calls of the thread that made it
// (opening, reading, probing a file) give up once a stop is asked for. Needs
// the binding started (TFFBindProcess).
class TStopCheck {
public:
    TStopCheck();
    ~TStopCheck();
    TStopCheck(const TStopCheck&) = delete;
    TStopCheck& operator=(const TStopCheck&) = delete;

private:
    uint32_t threadId_;
};
