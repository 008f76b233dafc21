#include "Format.h"

#include "CLocale.h"

#include <clocale>
#include <cstdio>
#include <locale.h>

namespace {

// Renders one argument for a conversion; flags/width/precision are kept.
std::string Convert(std::string flags, char conv, const FormatArg& a) {
    std::string out;
    TCLocaleScope cLocale;
    auto run = [&](const std::string& spec, auto value) {
        int n = std::snprintf(nullptr, 0, spec.c_str(), value);
        if (n > 0) {
            out.resize(n + 1);
            std::snprintf(out.data(), out.size(), spec.c_str(), value);
            out.resize(n);
        }
    };
    switch (conv) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c': {
        std::string spec = "%" + flags + (conv == 'c' ? std::string("c") : std::string("ll") + conv);
        if (conv == 'c') {
            run(spec, static_cast<int>(a.kind == FormatArg::kUInt ? a.u : a.i));
        } else if (a.kind == FormatArg::kUInt) {
            run(spec, a.u);
        } else if (a.kind == FormatArg::kInt) {
            if (conv == 'd' || conv == 'i') run(spec, a.i);
            else run(spec, static_cast<unsigned long long>(a.i));
        } else if (a.kind == FormatArg::kDouble) {
            run(spec, static_cast<long long>(a.d));
        } else if (a.kind == FormatArg::kPointer) {
            run(spec, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(a.p)));
        } else {
            out = a.s;
        }
        break;
    }
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
        if ((conv == 'f' || conv == 'F') && flags.find('.') == std::string::npos) flags += ".2";
        double v = a.kind == FormatArg::kDouble ? a.d
                 : a.kind == FormatArg::kInt    ? static_cast<double>(a.i)
                 : a.kind == FormatArg::kUInt   ? static_cast<double>(a.u) : 0.0;
        run("%" + flags + conv, v);
        break;
    }
    case 's':
        if (a.kind == FormatArg::kText) run("%" + flags + "s", a.s.c_str());
        else if (a.kind == FormatArg::kInt) run("%" + flags + "lld", a.i);
        else if (a.kind == FormatArg::kUInt) run("%" + flags + "llu", a.u);
        else if (a.kind == FormatArg::kDouble) run("%" + flags + ".2f", a.d);
        else out = PointerText(a.p);
        break;
    case 'p':
        out = PointerText(a.kind == FormatArg::kPointer ? a.p
                        : reinterpret_cast<const void*>(static_cast<uintptr_t>(a.kind == FormatArg::kUInt ? a.u : a.i)));
        break;
    default:
        out = "%" + flags + conv;
    }
    return out;
}

} // namespace

std::string PointerText(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

std::string FormatV(const std::string& format, const std::vector<FormatArg>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char ch = format[i];
        if (ch != '%') {
            out += ch;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // flags, width, precision; length modifiers are accepted and ignored
        size_t j = i + 1;
        std::string flags;
        while (j < format.size() && std::string("-+ #0123456789.*").find(format[j]) != std::string::npos) {
            if (format[j] == '*') {
                long long w = next < args.size() ? args[next].i : 0;
                ++next;
                flags += std::to_string(w);
            } else {
                flags += format[j];
            }
            ++j;
        }
        while (j < format.size() && std::string("hlLqjzt").find(format[j]) != std::string::npos) ++j;
        if (j >= format.size()) {
            out += format.substr(i);
            break;
        }
        char conv = format[j];
        if (next < args.size()) {
            out += Convert(flags, conv, args[next++]);
        } else {
            out += format.substr(i, j - i + 1);
        }
        i = j;
    }
    return out;
}
