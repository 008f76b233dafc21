#pragma once
// The interrupt registry: checks per thread that decide whether a blocking
// library call (open, read, write) gives up. One InterruptCallback is put into
// every format context the program creates; it asks the registry for the
// calling thread, and the first check registered for that thread decides.
#include <cstdint>
#include <mutex>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

using TInterruptCheck = bool (*)(void* object);

struct TInterruptItem {
    uint32_t ThreadId;
    void* Object;
    TInterruptCheck Check;
};

// Checks are registered and removed by the thread they are for (a transcoder
// for its own worker thread). That is what lets Check run a check after it has
// let go of the lock: while a thread is inside Check for itself, nobody else can
// remove its entry, so the object the entry names stays alive. A check may
// therefore log and wait on the main thread, and may even call Add or Remove.
class TInterruptCB {
public:
    // Appends an entry unless one with the same thread, object and check exists.
    void Add(uint32_t threadId, void* object, TInterruptCheck check);
    // Removes the first entry with the same thread, object and check.
    void Remove(uint32_t threadId, void* object, TInterruptCheck check);
    // Runs the first check registered for the thread; false without one.
    bool Check(uint32_t threadId);
    void Clear();
    size_t Count();

private:
    std::mutex lock_;  // guards items_
    std::vector<TInterruptItem> items_;
};

// The process's registry; exists between FFBindStartup and FFBindShutdown.
TInterruptCB* InterruptRegistry();
void CreateInterruptRegistry();
void FreeInterruptRegistry();

// 1 to abort the calling thread's blocking call, 0 to go on.
int InterruptCallback(void* opaque);

// Remembers that contexts made from now on get the callback.
void InstallInterruptCallback();
// A format context with the interrupt callback in place.
AVFormatContext* AllocFormatContext();
// The callback record for avio_open2 and for contexts allocated elsewhere.
AVIOInterruptCB InterruptCallbackRecord();
