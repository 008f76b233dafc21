#pragma once
#include <cstdint>
#include <unistd.h>

// The kernel's id of the calling thread; this is the id every log line carries.
inline uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }
