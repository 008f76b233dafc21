#pragma once
// Frame hook modules: external picture-processing shared objects that a task
// runs on every video picture before it is encoded. A module exports
// "Configure" (optional when it takes no arguments), "Process" and, when it
// keeps state, "Release". Each module file is opened once per process and stays
// open; the hooks made from it belong to one task.
#include <cstdint>
#include <vector>

#include "FormatConverter.h"

// The exports of a module, with C linkage:
//   int  Configure(void** context, int argc, char* argv[]);   0 on success
//   void Process(void* context, TPicture* picture, int pixelFormat,
//                int width, int height, int64_t pts);
//   void Release(void* context);
extern "C" {
typedef int (*TFrameHookConfigure)(void** context, int argc, char* argv[]);
typedef void (*TFrameHookProcess)(void* context, TPicture* picture, int pixelFormat, int width, int height,
                                  int64_t pts);
typedef void (*TFrameHookRelease)(void* context);
}

struct TFrameHookEntry {
    TFrameHookConfigure Configure = nullptr;
    TFrameHookProcess Process = nullptr;
    TFrameHookRelease Release = nullptr;
    void* Context = nullptr;
};

// The hooks of one task, run in the order they were added. Releases its hooks
// when it goes away.
class TFrameHookList {
public:
    TFrameHookList() = default;
    ~TFrameHookList();
    TFrameHookList(const TFrameHookList&) = delete;
    TFrameHookList& operator=(const TFrameHookList&) = delete;

    bool Empty() const { return entries_.empty(); }
    int Count() const { return static_cast<int>(entries_.size()); }

private:
    friend int AddFrameHook(TFrameHookList& list, int argc, char* argv[]);
    friend void ProcessFrameHooks(TFrameHookList& list, TPicture* picture, int pixelFormat, int width, int height,
                                  int64_t pts);
    friend void ReleaseFrameHooks(TFrameHookList& list);
    std::vector<TFrameHookEntry> entries_;
};

// argv[0] is the module file, the rest its arguments. Returns 0; -2 for no
// arguments or a module without "Process" (or without "Configure" while it
// is given arguments); -1 when the file cannot be opened; -12 when memory
// runs out; -22 when "Configure" refuses. Failures are logged through the
// library's log.
int AddFrameHook(TFrameHookList& list, int argc, char* argv[]);
void ProcessFrameHooks(TFrameHookList& list, TPicture* picture, int pixelFormat, int width, int height, int64_t pts);
// Calls each hook's "Release" and empties the list. The module files stay open.
void ReleaseFrameHooks(TFrameHookList& list);

// Number of module files this process has opened for frame hooks.
int LoadedFrameHookModules();
