// tembrio-convert: the converter's engine driven from a terminal.
#include <clocale>
#include <iostream>
#include <mutex>

#include "Arguments.h"
#include "Batch.h"
#include "Exception.h"
#include "FFLoad.h"
#include "FFLog.h"
#include "MainThread.h"
#include "OpenFileLimit.h"
#include "ProgramFiles.h"
#include "Sources.h"
#include "StopSignals.h"
#include "UnicodeProtocol.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    InstallSignalHandling();
    TCliOptions options;
    try {
        options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "tembrio-convert: " << e.what() << "\n\n" << UsageText();
        return 2;
    }
    if (options.Help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.ListPresets) {
        PrintPresets(std::cout);
        return 0;
    }

    std::vector<TSourceFile> files;
    std::string listProblem;
    size_t notFiles = 0;
    if (!CollectSources(options, files, listProblem, &notFiles)) {
        std::cerr << "tembrio-convert: " << listProblem << "\n";
        return 2;
    }

    TFFBindProcess binding;
    InitMainThread();
    RaiseOpenFileLimit();
    // The engine's own log goes to standard error only when asked for; failures
    // reach the user through the batch's own lines either way.
    TFFLogger logger;
    if (!options.LogLevel.empty()) {
        try {
            logger.SetLogLevelByName(options.LogLevel);
        } catch (const Exception&) {
            std::cerr << "tembrio-convert: --log-level: '" << options.LogLevel
                      << "' is not a log level; use quiet, panic, fatal, error, warning, info, verbose, debug"
                         " or a level number\n";
            return 2;
        }
        // Each line is written by the thread that logs it: a worker that logs
        // from inside a library call may hold the codec lock the main thread
        // is waiting for, so it must never wait for the main thread.
        logger.TriggerEventInMainThread = false;
        logger.OnLog = [](void*, uint32_t, TLogLevel, const std::string& message) {
            static std::mutex lines;
            const std::string line = ShownName(message) + "\n";
            std::lock_guard<std::mutex> lock(lines);
            std::cerr << line << std::flush;
        };
    }
    FFLoader()->SetLibraryPath(ProgramLibraryFolder(ExecutableFolder()));
    if (!FFLoader()->Load(EngineLibraries)) {
        std::cerr << FFLoader()->LastError() << "\n";
        return 1;
    }
    if (options.Info) return PrintInfo(files, options.SplitChapters, std::cout, std::cerr);
    ExpandEmbeddedTracks(files, options.SplitChapters, std::cerr);
    return ConvertBatch(options, files, std::cout, std::cerr, notFiles);
}
