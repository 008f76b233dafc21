// The library of this generation has no lock-manager hook, so this unit plays
// both sides: LockManagerCallback is the host's lock manager as it always was,
// and the registration and the codec open/free wrappers make the calls the
// library used to make.
#include "LockManager.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "AVCodecStubs.h"
#include "CodecMutex.h"
#include "FFLoad.h"
#include "FFLog.h"

namespace {

// The one codec mutex of the process ("CodecMutexSlot"). The library's mutex
// variable points at it once it has been created.
std::atomic<TCodecMutex*> g_codecMutexSlot{nullptr};
// The library's own mutex variable. Written only by registration, which the
// loader makes on the main thread while no codec is being opened or closed.
void* g_libraryMutex = nullptr;
std::atomic<bool> g_registered{false};

std::string SystemErrorText(int code) {
    char buffer[256];
    return strerror_r(code, buffer, sizeof buffer);
}

template <typename... Args>
void LogLine(TLogLevel level, const std::string& format, Args&&... args) {
    GlobalLogger()->LogFmt(nullptr, level, format, std::forward<Args>(args)...);
}

TCodecMutex* HandleOf(void** mutex) {
    if (!mutex || !*mutex) return nullptr;
    return static_cast<std::atomic<TCodecMutex*>*>(*mutex)->load();
}

int CreateCodecMutex(void** mutex) {
    if (!mutex) {
        LogLine(llError, "error, failed to create codec mutex: %s.", SystemErrorText(EINVAL));
        return -1;
    }
    if (TCodecMutex* existing = HandleOf(mutex)) {
        LogLine(llError, "error, codec mutex [%d] already exist.", existing->Id());
        return -1;
    }
    if (TCodecMutex* stale = g_codecMutexSlot.exchange(nullptr)) {
        LogLine(llWarning, "warning, local codec mutex [%d] not destroyed.", stale->Id());
        delete stale;
    }
    auto* made = new (std::nothrow) TCodecMutex();
    if (!made) {
        LogLine(llError, "error, failed to create codec mutex: %s.", SystemErrorText(ENOMEM));
        return -1;
    }
    g_codecMutexSlot = made;
    *mutex = &g_codecMutexSlot;
    LogLine(llDebug, "create codec mutex [%d].", made->Id());
    return 0;
}

int ObtainCodecMutex(void** mutex) {
    TCodecMutex* handle = HandleOf(mutex);
    if (!handle) {
        LogLine(llError, "error, codec mutex not available.");
        return -1;
    }
    handle->Obtain();
    LogLine(llDebug, "obtain codec mutex [%d].", handle->Id());
    return 0;
}

int ReleaseCodecMutex(void** mutex) {
    TCodecMutex* handle = HandleOf(mutex);
    if (!handle) {
        LogLine(llError, "error, codec mutex not available.");
        return -1;
    }
    if (!handle->Release()) {
        LogLine(llError, "error, could not release codec mutex [%d]: %s.", handle->Id(), SystemErrorText(EPERM));
        return -1;
    }
    LogLine(llDebug, "release codec mutex [%d].", handle->Id());
    return 0;
}

int DestroyCodecMutex(void** mutex) {
    TCodecMutex* handle = HandleOf(mutex);
    if (!handle) return 0;
    const int id = handle->Id();
    g_codecMutexSlot = nullptr;
    *mutex = nullptr;
    delete handle;
    LogLine(llDebug, "destory codec mutex [%d].", id);
    return 0;
}

} // namespace

int LockManagerCallback(void** mutex, int op) {
    // The logger may already be gone; the mutex is left to the process's end.
    if (ShuttingDown()) return 0;
    switch (op) {
    case LockCreate:
        return CreateCodecMutex(mutex);
    case LockObtain:
        return ObtainCodecMutex(mutex);
    case LockRelease:
        return ReleaseCodecMutex(mutex);
    case LockDestroy:
        return DestroyCodecMutex(mutex);
    default:
        LogLine(llError, "error, invalid codec mutex operation %d.", op);
        return -1;
    }
}

void RegisterLockManager() {
    if (g_libraryMutex) LockManagerCallback(&g_libraryMutex, LockDestroy);
    LockManagerCallback(&g_libraryMutex, LockCreate);
    g_registered = true;
}

void UnregisterLockManager() {
    LockManagerCallback(&g_libraryMutex, LockDestroy);
    g_registered = false;
}

int CodecOpen(AVCodecContext* ctx, const AVCodec* codec, AVDictionary** options) {
    if (!g_registered) return ff::avcodec_open2(ctx, codec, options);
    // The library failed an open whose lock could not be taken with -1; the
    // lock manager has logged why.
    if (LockManagerCallback(&g_libraryMutex, LockObtain) != 0) return -1;
    int ret = ff::avcodec_open2(ctx, codec, options);
    LockManagerCallback(&g_libraryMutex, LockRelease);
    return ret;
}

void CodecFree(AVCodecContext** ctx) {
    if (!ctx || !*ctx) return;
    // A context is freed even when the lock cannot be taken: keeping it would
    // only leak it, and the failure is already in the log.
    bool locked = g_registered && LockManagerCallback(&g_libraryMutex, LockObtain) == 0;
    ff::avcodec_free_context(ctx);
    if (locked) LockManagerCallback(&g_libraryMutex, LockRelease);
}

int CodecMutexId() {
    TCodecMutex* handle = g_codecMutexSlot.load();
    return handle ? handle->Id() : 0;
}

int LiveCodecMutexCount() { return TCodecMutex::LiveCount(); }
