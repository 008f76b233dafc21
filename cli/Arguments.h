#pragma once
// The command line of tembrio-convert.
#include <stdexcept>
#include <string>
#include <vector>

struct TCliOptions {
    int Format = 1;                  // output format code, mp3 by default
    int Preset = 0;
    std::string OutputDir = ".";
    int Jobs = 0;                    // set to the number of cores when not given
    std::vector<std::string> ExtraLines;  // -x KEY=VALUE, appended to the output option text
    std::string LogLevel;            // empty: the engine's log is not shown
    bool ListPresets = false;
    bool Info = false;
    bool Help = false;
    std::vector<std::string> Files;
};

// A command line that cannot be used; its message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

TCliOptions ParseArguments(const std::vector<std::string>& args);
std::string UsageText();
