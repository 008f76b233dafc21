#include "SharedObject.h"

#include <dlfcn.h>

#include "Exception.h"
#include "Format.h"

std::string CleanSystemText(const std::string& text) {
    std::string s = text;
    while (!s.empty()) {
        unsigned char c = static_cast<unsigned char>(s.back());
        if (c <= ' ' || c == '.') s.pop_back();
        else break;
    }
    std::string out;
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= ' ') out += c;
    }
    return out;
}

namespace {

void Bind(const char* kind, const std::string& fileName, void* handle, const char* symbol, bool optional,
          void** target) {
    dlerror();
    void* address = handle ? dlsym(handle, symbol) : nullptr;
    if (!address) {
        const char* err = dlerror();
        std::string text = CleanSystemText(err ? err : "undefined symbol");
        *target = nullptr;
        if (!optional) throw Exception(Format(kind, symbol, fileName, text));
        return;
    }
    *target = address;
}

} // namespace

void BindFunction(const std::string& fileName, void* handle, const char* symbol, bool optional, void** target) {
    Bind("Load function %s@%s error: %s", fileName, handle, symbol, optional, target);
}

void BindVariable(const std::string& fileName, void* handle, const char* symbol, bool optional, void** target) {
    Bind("Load variable %s@%s error: %s", fileName, handle, symbol, optional, target);
}

void* OpenSharedObject(const std::string& path, std::string& error) {
    dlerror();
    int flags = RTLD_NOW | RTLD_GLOBAL;
#ifdef TEMBRIO_SANITIZE_BUILD
    // The libraries keep allocations reachable only from their own static data;
    // once unmapped, the leak checker would report them as lost. Sanitizer builds
    // therefore keep every library mapped until the process ends.
    flags |= RTLD_NODELETE;
#endif
    void* handle = dlopen(path.c_str(), flags);
    if (!handle) {
        const char* err = dlerror();
        error = CleanSystemText(err ? err : "unknown error");
    }
    return handle;
}

void CloseSharedObject(void* handle) {
    if (handle) dlclose(handle);
}
