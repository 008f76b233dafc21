// PLACEHOLDER: replaced by the full log bridge.
#include "FFLog.h"
#include "AVUtilStubs.h"
#include "Exception.h"
#include "MainThread.h"
#include "ThreadId.h"

namespace { TFFLogger* g_logger = nullptr; }

int ToLibraryLevel(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }
TLogLevel FromLibraryLevel(int level) {
    int v = level / 8 + 1;
    if (v < 0) v = 0;
    if (v > 7) v = 7;
    return static_cast<TLogLevel>(v);
}
TFFLogger::TFFLogger(void* owner) : TFFBaseComponent(owner) {
    if (g_logger && g_logger->autoCreated_) delete g_logger;
    if (g_logger) throw Exception("Allow creating only one instance of TFFLogger.");
    g_logger = this;
}
TFFLogger::~TFFLogger() { if (g_logger == this) g_logger = nullptr; }
void TFFLogger::SetLogLevel(TLogLevel level) { logLevel_ = level; ApplyLogLevel(); }
void TFFLogger::SetLogLevelByName(const std::string&) {}
bool TFFLogger::WillDeliver(TLogLevel level) const {
    return OnLog && (level <= logLevel_ || (level == llVerbose && logLevel_ > llQuiet));
}
void TFFLogger::Log(void* sender, TLogLevel level, const std::string& message) {
    if (WillDeliver(level)) Deliver(sender, CurrentThreadId(), level, message);
}
void TFFLogger::LibraryLog(uint32_t threadId, int libraryLevel, const std::string& message) {
    if (OnLog) Deliver(this, threadId, FromLibraryLevel(libraryLevel), message);
}
void TFFLogger::Deliver(void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
    OnLog(sender, threadId, level, message);
}
void TFFLogger::ApplyLogLevel() { if (ff::av_log_set_level) ff::av_log_set_level(ToLibraryLevel(logLevel_)); }
TFFLogger* GlobalLogger() {
    if (!g_logger) { g_logger = new TFFLogger(); g_logger->autoCreated_ = true; }
    return g_logger;
}
void InstallLogCallback() { GlobalLogger()->SetLogLevel(GlobalLogger()->LogLevel()); }
void LogCallback(void*, int, const char*, va_list) {}
void FinalizeLogBridge() { if (g_logger && g_logger->AutoCreated()) delete g_logger; }
