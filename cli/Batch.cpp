// tembrio-convert's batch: every file becomes one task of the encoder
// component, queued and reported the way the desktop program does it.
#include "Batch.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>
#include <ostream>
#include <unistd.h>

#include "FFEncode.h"
#include "MainThread.h"
#include "Presets.h"
#include "UnicodeProtocol.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct TBatchState {
    std::mutex lock;                  // the fields below and the output streams
    std::vector<std::string> names;   // by task index
    int completed = 0;
    int failed = 0;
    bool ended = false;
    int current = -1;                 // task of the last progress report
    int percent = -1;
};

class TBatchRun {
public:
    TBatchRun(const TCliOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err), live_(isatty(STDOUT_FILENO) != 0) {}

    int Run() {
        std::error_code ec;
        std::filesystem::create_directories(options_.OutputDir, ec);
        if (!std::filesystem::is_directory(options_.OutputDir)) {
            err_ << "Fail to create directory! Please check if output folder have the right format!\n";
            return 1;
        }
        encoder_.OnTerminate = [this](void*, const TTerminateInfo& info) { Terminated(info); };
        encoder_.OnProgress = [this](void*, PProgressInfo info) { Progress(*info); };
        ProbeAndQueueAll();

        auto previous = std::signal(SIGINT, OnInterrupt);
        encoder_.StartTask(options_.Jobs);
        bool stopping = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(state_.lock);
                if (state_.ended) break;
            }
            if (interrupted && !stopping) {
                stopping = true;
                encoder_.Stop(false);
            }
            CheckSynchronize(100);
        }
        std::signal(SIGINT, previous);
        encoder_.ClearTasks();
        return Summary();
    }

private:
    // What probing one file gave: its records, or the probe's error text.
    struct TProbed {
        bool Loaded = false;
        std::string Error;
        TInputOptions Input;
        TOutputOptions Output;
    };

    // Probing is the slow part of queueing, and each probe stands alone: with
    // several jobs the files are probed on `Jobs` threads at once, each with a
    // probe of its own.
    // This thread queues each file as soon as its probe is done, in file order,
    // and serves the hand-offs the probes' log lines make meanwhile.
    void ProbeAndQueueAll() {
        const size_t count = options_.Files.size();
        if (options_.Jobs <= 1) {
            // One job means one thing at a time: probe and queue in turn.
            TFFDecoder probe;
            for (size_t i = 0; i < count; ++i) {
                TProbed probed = Probe(probe, options_.Files[i]);
                QueueFile(options_.Files[i], probed);
            }
            return;
        }
        std::vector<TProbed> probed(count);
        std::vector<char> ready(count, 0);
        std::mutex readyLock;
        std::atomic<size_t> next{0};
        auto work = [&] {
            TFFDecoder probe;
            for (size_t i = next++; i < count; i = next++) {
                TProbed result = Probe(probe, options_.Files[i]);
                std::lock_guard<std::mutex> lock(readyLock);
                probed[i] = std::move(result);
                ready[i] = 1;
            }
        };
        const int workers = std::max(1, std::min<int>(options_.Jobs, static_cast<int>(count)));
        std::vector<std::thread> threads;
        for (int i = 0; i < workers; ++i) threads.emplace_back(work);
        for (size_t i = 0; i < count; ++i) {
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(readyLock);
                    if (ready[i]) break;
                }
                CheckSynchronize(1);
            }
            QueueFile(options_.Files[i], probed[i]);
        }
        for (std::thread& t : threads) t.join();
    }

    TProbed Probe(TFFDecoder& probe, const std::string& file) {
        TProbed result;
        if (!probe.LoadFile(Utf8ToWide(file))) {
            result.Error = probe.LastErrMsg();
            return result;
        }
        result.Loaded = true;
        result.Output = BuildOutputOptions(probe, options_.OutputDir, options_.Format, options_.Preset);
        for (const std::string& line : options_.ExtraLines)
            result.Output.ExtOptions += (result.Output.ExtOptions.empty() ? "" : "\n") + line;
        result.Input = BuildInputOptions(probe);
        probe.CloseFile();
        return result;
    }

    void QueueFile(const std::string& file, TProbed& probed) {
        if (!probed.Loaded) {
            Line(err_, "File load error: " + probed.Error);
            return;
        }
        // Earlier files of this batch have created their outputs by now: the
        // name is made unique against them here, not while probing.
        TOutputOptions& output = probed.Output;
        output.FileName = OutputFileNameFor(probed.Input.FileName, options_.OutputDir, options_.Format);
        const int index = encoder_.AddTask(probed.Input.FileName, &probed.Input);
        if (index < 0) {
            Line(err_, "Adding file error: " + encoder_.LastErrorMessage);
            return;
        }
        if (!encoder_.SetOutputFile(index, output.FileName, &output)) {
            // Removing the task also removes the empty file its output created.
            encoder_.RemoveTask(index);
            Line(err_, "Cannot do convert, error: " + encoder_.LastErrorMessage);
            return;
        }
        std::lock_guard<std::mutex> lock(state_.lock);
        state_.names.push_back(BaseName(file) + " -> " + WideToUtf8(output.FileName));
    }

    // On the main thread, handed over by the encoder.
    void Progress(const TProgressInfo& info) {
        if (!live_ || info.TotalDuration <= 0) return;
        const int percent = static_cast<int>(std::min<int64_t>(100, info.CurrentDuration * 100 / info.TotalDuration));
        std::lock_guard<std::mutex> lock(state_.lock);
        if (info.TaskIndex == state_.current && percent == state_.percent) return;
        state_.current = info.TaskIndex;
        state_.percent = percent;
        const int done = state_.completed + state_.failed;
        std::string bar(percent / 5, '#');
        bar.resize(20, '.');
        out_ << "\r\033[K[" << done << "/" << state_.names.size() << "] [" << bar << "] " << percent << "% "
             << BaseName(info.TaskIndex >= 0 && info.TaskIndex < static_cast<int>(state_.names.size())
                             ? state_.names[info.TaskIndex]
                             : std::string())
             << std::flush;
    }

    // On the encoder's delivery thread, one record at a time.
    void Terminated(const TTerminateInfo& info) {
        std::lock_guard<std::mutex> lock(state_.lock);
        if (info.TaskIndex < 0) {
            state_.ended = true;
            return;
        }
        const std::string name =
            info.TaskIndex < static_cast<int>(state_.names.size()) ? state_.names[info.TaskIndex] : "?";
        if (live_) out_ << "\r\033[K";
        if (info.Failed) {
            ++state_.failed;
            err_ << "Failed: " << name << ": " << info.ErrorMessage << "\n" << std::flush;
        } else if (info.Completed) {
            ++state_.completed;
            out_ << "Finish: " << name << "\n" << std::flush;
        } else {
            out_ << "Stopped: " << name << "\n" << std::flush;
        }
        state_.percent = -1;
    }

    void Line(std::ostream& stream, const std::string& text) {
        std::lock_guard<std::mutex> lock(state_.lock);
        stream << text << "\n" << std::flush;
    }

    int Summary() {
        std::lock_guard<std::mutex> lock(state_.lock);
        const int total = static_cast<int>(options_.Files.size());
        out_ << "Total files: " << total << "\n"
             << "Successed: " << state_.completed << "\n"
             << "Failed: " << total - state_.completed << "\n";
        return state_.completed == total ? 0 : 1;
    }

    const TCliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const bool live_;
    TFFEncoder encoder_;
    TBatchState state_;
};

} // namespace

int ConvertBatch(const TCliOptions& options, std::ostream& out, std::ostream& err) {
    return TBatchRun(options, out, err).Run();
}
