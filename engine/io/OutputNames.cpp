#include "OutputNames.h"

namespace {

template <typename Text>
Text WithCounter(const Text& name, const Text& counter) {
    const size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == Text::npos || (slash != Text::npos && dot < slash)) dot = name.size();
    return name.substr(0, dot) + counter + name.substr(dot);
}

} // namespace

std::wstring CounterName(const std::wstring& name, int n) {
    return WithCounter(name, L"(" + std::to_wstring(n) + L")");
}

std::string CounterName(const std::string& name, int n) {
    return WithCounter(name, "(" + std::to_string(n) + ")");
}

std::string NoFreeNameText(const std::string& base) {
    return "No free name for " + base + ": every name up to " + CounterName(base, MaxNameCounter) + " is taken";
}
