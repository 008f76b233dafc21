#pragma once
// The codec lock: one process-wide mutex that serialises every codec open and
// close the program makes, with the create/obtain/release/destroy operations
// and log lines of the old library lock manager.
extern "C" {
#include <libavcodec/avcodec.h>
}

enum TLockOp { LockCreate = 0, LockObtain = 1, LockRelease = 2, LockDestroy = 3 };

// mutex points at the variable that holds the current mutex (or nullptr).
// 0 on success, -1 on failure; every step is logged.
int LockManagerCallback(void** mutex, int op);

// "Registration": destroys the mutex of an earlier registration, then creates one.
void RegisterLockManager();
void UnregisterLockManager();

// Every codec open and free of the program goes through these two. Without a
// registered lock manager they call the library directly.
int CodecOpen(AVCodecContext* ctx, const AVCodec* codec, AVDictionary** options);
void CodecFree(AVCodecContext** ctx);

// Diagnostics: the id of the registered codec mutex (0 when none), and how many
// codec mutexes exist in the process.
int CodecMutexId();
int LiveCodecMutexCount();
