#include "FFLog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AVUtilStubs.h"
#include "Exception.h"
#include "MainThread.h"
#include "MyUtilStubs.h"
#include "ThreadId.h"

namespace {

// The library-side state of the bridge. It exists before any library is loaded
// and is emptied by FinalizeLogBridge.
struct LibraryLogState {
    // The callback's threshold; read without the lock on every library call.
    std::atomic<int> LibraryLogLevel{AV_LOG_INFO};

    std::mutex Lock;  // guards everything below
    std::string LastMessage;
    int RepeatCount = 0;
    // Per thread id: the text not yet ended by a line feed. Entries live until
    // shutdown, as threads come and go faster than it is worth tracking them.
    std::unordered_map<uint32_t, std::string> PendingText;
};

LibraryLogState g_state;

// The process's logger. The recursive lock serialises creation, replacement and
// release; it is recursive because replacing an auto-created logger runs that
// logger's destructor while the new one is being registered.
std::recursive_mutex g_loggerLock;
std::atomic<TFFLogger*> g_logger{nullptr};

// The library's item names are for humans; a class without the function still
// has its class name.
std::string ItemName(const AVClass* cls, void* object) {
    const char* name = cls->item_name ? cls->item_name(object) : cls->class_name;
    return name ? name : "";
}

// "[parent @ ADDR] [own @ ADDR]" for a context that knows its parent (classes
// from utility library 50.15.3 on), "[own @ ADDR]" otherwise, nothing without a
// context or class.
std::string ContextPrefix(void* context) {
    if (!context) return {};
    const AVClass* cls = *static_cast<const AVClass**>(context);
    if (!cls) return {};
    std::string prefix;
    if (cls->version >= 0x320F03 && cls->parent_log_context_offset != 0) {
        void* parent = *reinterpret_cast<void**>(static_cast<uint8_t*>(context) + cls->parent_log_context_offset);
        const AVClass* parentClass = parent ? *static_cast<const AVClass**>(parent) : nullptr;
        if (parentClass) prefix = Format("[%s @ %p] ", ItemName(parentClass, parent), parent);
    }
    return prefix + Format("[%s @ %p]", ItemName(cls, context), context);
}

// Formats with the runtime library's vsnprintf (the C library's own before it
// is bound). It returns the length it needed, so one retry with a buffer of that
// size gets any message whole; the retry needs its own copy of the arguments.
std::string FormatLibraryMessage(const char* format, va_list args) {
    if (!format) return {};
    auto* print = ff::vsnprintf ? ff::vsnprintf : &::vsnprintf;
    char buffer[2048];
    va_list retry;
    va_copy(retry, args);
    int needed = print(buffer, sizeof buffer, format, args);
    std::string text;
    if (needed < 0) {
        // An encoding error: the raw format is still better than losing the message.
        text = format;
    } else if (static_cast<size_t>(needed) < sizeof buffer) {
        text.assign(buffer, static_cast<size_t>(needed));
    } else {
        std::vector<char> large(static_cast<size_t>(needed) + 1);
        int written = print(large.data(), large.size(), format, retry);
        text.assign(large.data(), written < 0 ? 0 : std::min(static_cast<size_t>(written), large.size() - 1));
    }
    va_end(retry);
    return text;
}

// What one library call hands on after the lock is released: the repeat count
// to report first (0 for none), then the completed lines in order.
struct CompletedLines {
    int Repeated = 0;
    std::vector<std::string> Lines;
};

// Joins the call's text to the thread's pending text, folds repeats and cuts
// off complete lines. Caller holds g_state.Lock.
CompletedLines CollectLines(uint32_t threadId, const std::string& prefix, const std::string& message) {
    CompletedLines out;
    std::string& pending = g_state.PendingText[threadId];
    // A line gets the context prefix only at its start.
    std::string text = pending.empty() ? prefix + message : message;
    if (!text.empty() && text.back() == '\n' && text == g_state.LastMessage) {
        ++g_state.RepeatCount;
        return out;
    }
    pending += text;
    out.Repeated = g_state.RepeatCount;
    g_state.RepeatCount = 0;
    g_state.LastMessage = std::move(text);
    size_t start = 0;
    for (size_t lf = pending.find('\n'); lf != std::string::npos; lf = pending.find('\n', start)) {
        out.Lines.push_back(pending.substr(start, lf - start));
        start = lf + 1;
    }
    pending.erase(0, start);
    return out;
}

} // namespace

int ToLibraryLevel(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }

TLogLevel FromLibraryLevel(int level) {
    int ordinal = level / 8 + 1;  // C++ division truncates toward zero
    if (ordinal < llQuiet) ordinal = llQuiet;
    if (ordinal > llDebug) ordinal = llDebug;
    return static_cast<TLogLevel>(ordinal);
}

TFFLogger::TFFLogger(void* owner) : TFFBaseComponent(owner) {
    std::lock_guard<std::recursive_mutex> lock(g_loggerLock);
    TFFLogger* current = g_logger.load();
    if (current && current->autoCreated_) {
        delete current;  // its destructor clears the global reference
        current = g_logger.load();
    }
    if (current) throw Exception("Allow creating only one instance of TFFLogger.");
    logLevel_ = FromLibraryLevel(g_state.LibraryLogLevel.load());
    g_logger = this;
}

TFFLogger::~TFFLogger() {
    DiscardPosted(this);
    std::lock_guard<std::recursive_mutex> lock(g_loggerLock);
    TFFLogger* self = this;
    g_logger.compare_exchange_strong(self, nullptr);
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    if (logLevel_.exchange(level) != level) ApplyLogLevel();
}

void TFFLogger::SetLogLevelByName(const std::string& text) {
    static const std::pair<const char*, int> names[] = {
        {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC}, {"fatal", AV_LOG_FATAL},
        {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
        {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}};
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [name, level] : names) {
        if (lower == name) {
            SetLogLevel(FromLibraryLevel(level));
            return;
        }
    }
    // from_chars takes no plus sign; a decimal integer may carry one.
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    int value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw Exception(Format("'%s' is not a valid integer value", text));
    SetLogLevel(FromLibraryLevel(value));
}

bool TFFLogger::WillDeliver(TLogLevel level) const {
    TLogLevel current = logLevel_.load();
    return OnLog && (level <= current || (level == llVerbose && current > llQuiet));
}

void TFFLogger::Log(void* sender, TLogLevel level, const std::string& message) {
    if (WillDeliver(level)) Deliver(sender, CurrentThreadId(), level, message);
}

void TFFLogger::LibraryLog(uint32_t threadId, int libraryLevel, const std::string& message) {
    if (OnLog) Deliver(this, threadId, FromLibraryLevel(libraryLevel), message);
}

// Every value of the event travels with this call only, so concurrent callers
// cannot mix their messages.
void TFFLogger::Deliver(void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
    auto raise = [&] {
        // A copy, so a handler that reassigns OnLog does not destroy itself mid-call.
        TLogEvent handler = OnLog;
        if (handler) handler(sender, threadId, level, message);
    };
    if (!TriggerEventInMainThread || IsMainThread()) {
        raise();
    } else if (WaitForMainThread) {
        RunInMainThread(raise);
    } else {
        // OnLog is read when the line is taken, on the main thread.
        PostToMainThread(
            [this, sender, threadId, level, message] {
                TLogEvent handler = OnLog;
                if (handler) handler(sender, threadId, level, message);
            },
            this);
    }
}

void TFFLogger::ApplyLogLevel() {
    if (!ff::av_log_set_level) return;
    int level = ToLibraryLevel(logLevel_.load());
    g_state.LibraryLogLevel = level;
    ff::av_log_set_level(level);
}

TFFLogger* GlobalLogger() {
    if (TFFLogger* logger = g_logger.load()) return logger;
    std::lock_guard<std::recursive_mutex> lock(g_loggerLock);
    if (!g_logger.load()) {
        auto* logger = new TFFLogger();
        logger->autoCreated_ = true;
    }
    return g_logger.load();
}

void InstallLogCallback() {
    if (!ff::av_log_set_callback || !ff::av_log_set_level)
        throw Exception("InstallLogCallback needs the utility library to be bound.");
    ff::av_log_set_callback(&LogCallback);
    GlobalLogger()->ApplyLogLevel();
}

// Lines are cut under the lock but delivered after it is released: delivery
// from a worker waits for the main thread, and the main thread may itself be
// about to log through the library. A thread's own lines still arrive in order,
// because each call delivers its lines before it returns.
void LogCallback(void* context, int level, const char* format, va_list args) {
    try {
        // The library may put a colour into the second byte of the level.
        if (level >= 0) level &= 0xFF;
        if (level > g_state.LibraryLogLevel.load()) return;
        const uint32_t threadId = CurrentThreadId();
        const std::string message = FormatLibraryMessage(format, args);
        const std::string prefix = ContextPrefix(context);
        CompletedLines completed;
        {
            std::lock_guard<std::mutex> lock(g_state.Lock);
            completed = CollectLines(threadId, prefix, message);
        }
        if (completed.Repeated == 0 && completed.Lines.empty()) return;
        TFFLogger* logger = GlobalLogger();
        if (completed.Repeated > 0)
            logger->LibraryLog(threadId, level, Format("    Last message repeated %d times", completed.Repeated));
        for (const std::string& line : completed.Lines) logger->LibraryLog(threadId, level, line);
    } catch (const std::exception& e) {
        // Nothing may unwind into the library; the terminal is the last place left to tell.
        std::fprintf(stderr, "Log handler failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Log handler failed.\n");
    }
}

void FinalizeLogBridge() {
    {
        std::lock_guard<std::mutex> lock(g_state.Lock);
        g_state.PendingText.clear();
        g_state.LastMessage.clear();
        g_state.RepeatCount = 0;
    }
    g_state.LibraryLogLevel = AV_LOG_INFO;
    std::lock_guard<std::recursive_mutex> lock(g_loggerLock);
    TFFLogger* logger = g_logger.load();
    if (logger && logger->AutoCreated()) delete logger;
}
