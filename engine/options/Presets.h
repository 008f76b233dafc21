#pragma once
// The built-in preset table the "preset" options search.
#include <string>
#include <vector>

struct TOptionsPreset {
    const char* Name;
    std::string Text;  // option lines in preset syntax
};
// The 36 built-in presets, in search order.
const std::vector<TOptionsPreset>& BuiltinPresets();
