#include "FrameHook.h"

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "AVUtilStubs.h"

namespace {

// Module files opened for frame hooks, by the name they were given. Shared by
// every task; a module is opened once and stays open until the process ends,
// since hooks of finished tasks may have left code of it in use (threads,
// atexit handlers) that we cannot see.
struct ModuleRegistry {
    std::mutex lock;  // protects modules
    std::map<std::string, void*> modules;
};

ModuleRegistry& Registry() {
    static ModuleRegistry registry;
    return registry;
}

// The module's handle, opening it on first use; nullptr after a logged failure.
void* ModuleHandle(const std::string& fileName) {
    ModuleRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.modules.find(fileName);
    if (found != registry.modules.end()) return found->second;
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        ff::av_log(nullptr, AV_LOG_ERROR, "%s\n", text ? text : fileName.c_str());
        return nullptr;
    }
    registry.modules.emplace(fileName, handle);
    return handle;
}

template <typename T>
T Export(void* handle, const char* name) {
    return reinterpret_cast<T>(dlsym(handle, name));
}

} // namespace

TFrameHookList::~TFrameHookList() { ReleaseFrameHooks(*this); }

int AddFrameHook(TFrameHookList& list, int argc, char* argv[]) {
    if (argc <= 0 || !argv || !argv[0]) return -2;
    const std::string fileName = argv[0];
    void* handle = ModuleHandle(fileName);
    if (!handle) return -1;

    TFrameHookEntry entry;
    entry.Configure = Export<TFrameHookConfigure>(handle, "Configure");
    entry.Process = Export<TFrameHookProcess>(handle, "Process");
    entry.Release = Export<TFrameHookRelease>(handle, "Release");
    if (!entry.Process) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n", fileName.c_str());
        return -2;
    }
    if (!entry.Configure && argc > 1) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n", fileName.c_str());
        return -2;
    }
    try {
        list.entries_.reserve(list.entries_.size() + 1);
    } catch (const std::bad_alloc&) {
        return -12;
    }
    if (entry.Configure && entry.Configure(&entry.Context, argc, argv) != 0) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", fileName.c_str());
        return -22;
    }
    list.entries_.push_back(entry);
    return 0;
}

void ProcessFrameHooks(TFrameHookList& list, TPicture* picture, int pixelFormat, int width, int height, int64_t pts) {
    for (TFrameHookEntry& entry : list.entries_) entry.Process(entry.Context, picture, pixelFormat, width, height, pts);
}

void ReleaseFrameHooks(TFrameHookList& list) {
    for (TFrameHookEntry& entry : list.entries_)
        if (entry.Release) entry.Release(entry.Context);
    list.entries_.clear();
}

int LoadedFrameHookModules() {
    ModuleRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    return static_cast<int>(registry.modules.size());
}
