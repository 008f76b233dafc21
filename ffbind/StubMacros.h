#pragma once
// Helpers for the entry-point modules. Each module lists its entry points once,
// as X(name) for a required symbol and O(name) for an optional one; the macros
// below turn that list into pointer declarations, definitions and bind/unbind
// steps. Pointers are typed from the library's own declarations.
#include <string>

#include "SharedObject.h"

#define TEMBRIO_DECLARE_ENTRY(name) extern decltype(&::name) name;
#define TEMBRIO_DEFINE_ENTRY(name) decltype(&::name) name = nullptr;
#define TEMBRIO_BIND_REQUIRED(name) \
    BindFunction(fileName, handle, #name, false, reinterpret_cast<void**>(&ff::name));
#define TEMBRIO_BIND_OPTIONAL(name) \
    BindFunction(fileName, handle, #name, true, reinterpret_cast<void**>(&ff::name));
#define TEMBRIO_UNBIND_ENTRY(name) ff::name = nullptr;

// Some successors still carry the older generation's deprecation marks.
#define TEMBRIO_BEGIN_DEPRECATED \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wdeprecated-declarations\"")
#define TEMBRIO_END_DEPRECATED _Pragma("GCC diagnostic pop")

// Declares the module's pointers in namespace ff and its bind/unbind procedures.
#define TEMBRIO_DECLARE_STUB_MODULE(LIST, Suffix)                          \
    TEMBRIO_BEGIN_DEPRECATED                                               \
    namespace ff {                                                         \
    LIST(TEMBRIO_DECLARE_ENTRY, TEMBRIO_DECLARE_ENTRY)                     \
    }                                                                      \
    TEMBRIO_END_DEPRECATED                                                 \
    void Bind##Suffix(const std::string& fileName, void* handle);          \
    void Unbind##Suffix();

// Defines the pointers and the bind/unbind procedures; `registration` runs
// after every symbol was bound.
#define TEMBRIO_DEFINE_STUB_MODULE(LIST, Suffix)                           \
    TEMBRIO_BEGIN_DEPRECATED                                               \
    namespace ff {                                                         \
    LIST(TEMBRIO_DEFINE_ENTRY, TEMBRIO_DEFINE_ENTRY)                       \
    }                                                                      \
    TEMBRIO_END_DEPRECATED                                                 \
    void Bind##Suffix(const std::string& fileName, void* handle) {         \
        LIST(TEMBRIO_BIND_REQUIRED, TEMBRIO_BIND_OPTIONAL)                 \
    }                                                                      \
    void Unbind##Suffix() { LIST(TEMBRIO_UNBIND_ENTRY, TEMBRIO_UNBIND_ENTRY) }
