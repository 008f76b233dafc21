#pragma once
// The program's message formatter: printf meanings, with three differences that
// every message of the program relies on:
//  - "%d" (and %i, %u, %x, %X) take any integer width, 32- or 64-bit;
//  - a bare "%f" prints two decimals;
//  - "%p" prints an address in upper-case hexadecimal, zero-padded to pointer width.
// "%s" takes std::string or a C string. Numbers never depend on the user's locale.
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

struct FormatArg {
    enum Kind { kInt, kUInt, kDouble, kText, kPointer } kind;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    std::string s;
    const void* p = nullptr;

    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    FormatArg(T v) : kind(kInt), i(v) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>, int> = 0>
    FormatArg(T v) : kind(kUInt), u(v) {}
    FormatArg(bool v) : kind(kInt), i(v ? 1 : 0) {}
    template <typename T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
    FormatArg(T v) : kind(kInt), i(static_cast<long long>(v)) {}
    FormatArg(double v) : kind(kDouble), d(v) {}
    FormatArg(float v) : kind(kDouble), d(v) {}
    FormatArg(const std::string& v) : kind(kText), s(v) {}
    FormatArg(const char* v) : kind(kText), s(v ? v : "") {}
    FormatArg(char* v) : kind(kText), s(v ? v : "") {}
    FormatArg(const void* v) : kind(kPointer), p(v) {}
    FormatArg(void* v) : kind(kPointer), p(v) {}
};

std::string FormatV(const std::string& format, const std::vector<FormatArg>& args);

template <typename... Args>
std::string Format(const std::string& format, Args&&... args) {
    return FormatV(format, std::vector<FormatArg>{FormatArg(std::forward<Args>(args))...});
}

// Upper-case hexadecimal, zero-padded to the pointer width.
std::string PointerText(const void* p);
