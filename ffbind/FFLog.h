#pragma once
// The log bridge: one logger component for the whole process. The program's own
// code logs through Log/LogFmt; library messages arrive through LogCallback,
// which joins fragments into lines per thread, prefixes the context and folds
// repeats. Delivered lines reach OnLog, by default on the main thread.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "FFBaseComponent.h"
#include "Format.h"

enum TLogLevel : uint8_t { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

int ToLibraryLevel(TLogLevel level);
TLogLevel FromLibraryLevel(int level);

using TLogEvent = std::function<void(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg)>;

class TFFLogger : public TFFBaseComponent {
public:
    // Raises Exception "Allow creating only one instance of TFFLogger." when a
    // logger that was not auto-created exists.
    explicit TFFLogger(void* owner = nullptr);
    ~TFFLogger() override;

    bool AutoCreated() const { return autoCreated_; }
    bool TriggerEventInMainThread = true;
    // With TriggerEventInMainThread: whether a thread that logs waits until
    // the main thread has taken its line. Without waiting, workers never
    // stall on a busy main thread; their lines still arrive in order, in turn
    // with the other hand-offs.
    bool WaitForMainThread = true;
    TLogEvent OnLog;

    TLogLevel LogLevel() const { return logLevel_.load(); }
    void SetLogLevel(TLogLevel level);
    // Names ("quiet" … "debug", any case) or a decimal library level. Raises
    // Exception "'<text>' is not a valid integer value" for anything else and
    // leaves the level as it was.
    void SetLogLevelByName(const std::string& text);

    void Log(void* sender, TLogLevel level, const std::string& message);
    template <typename... Args>
    void LogFmt(void* sender, TLogLevel level, const std::string& format, Args&&... args) {
        if (WillDeliver(level)) Log(sender, level, Format(format, std::forward<Args>(args)...));
    }
    bool WillDeliver(TLogLevel level) const;

    // Used by LogCallback only: delivers without a level test.
    void LibraryLog(uint32_t threadId, int libraryLevel, const std::string& message);

private:
    friend TFFLogger* GlobalLogger();
    friend void InstallLogCallback();
    void ApplyLogLevel();
    void Deliver(void* sender, uint32_t threadId, TLogLevel level, const std::string& message);

    bool autoCreated_ = false;
    // Read by every producing thread, written by the owner.
    std::atomic<TLogLevel> logLevel_{llInfo};
};

// The process's logger, created (and marked auto-created) on first use.
TFFLogger* GlobalLogger();

// Registers LogCallback with the library and applies the logger's level. The
// utility library must be bound.
void InstallLogCallback();

// The callback handed to the library.
void LogCallback(void* context, int level, const char* format, va_list args);

// Process shutdown of the bridge: pending text is dropped without delivery, an
// auto-created logger freed, the repeat state cleared.
void FinalizeLogBridge();
