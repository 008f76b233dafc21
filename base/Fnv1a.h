#pragma once
// 64-bit FNV-1a of a byte string: a stable hash for what must come out the
// same on every machine and every run (shares of a batch, shortened names).
#include <cstdint>
#include <string>

inline uint64_t Fnv1a64(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}
