#include "Arguments.h"

#include <thread>

#include "FormatPresets.h"

namespace {

int ParseNumber(const std::string& option, const std::string& text, int minimum) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < minimum)
        throw UsageError(option + " needs a whole number of at least " + std::to_string(minimum) + ", not '" + text +
                         "'");
    return value;
}

int FormatCode(const std::string& name) {
    const auto& table = PresetTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (name == table[i].Name) return static_cast<int>(i);
    throw UsageError("unknown format '" + name + "' (wav, mp3, wma, ogg, aac, m4a, flac or mp2)");
}

} // namespace

std::string UsageText() {
    return "usage: tembrio-convert [-f wav|mp3|wma|ogg|aac|m4a|flac|mp2] [-p PRESET] [-o DIR] [-j JOBS]\n"
           "                       [-x KEY=VALUE]... [--log-level LEVEL] FILE...\n"
           "       tembrio-convert --list-presets\n"
           "       tembrio-convert --info FILE...\n"
           "\n"
           "Converts every FILE into an audio file of the chosen format in DIR (default: the\n"
           "current folder), one file per input, never overwriting: an existing name gets a\n"
           "counter, song(1).mp3. Defaults: mp3, preset 0, one job per core.\n"
           "\n"
           "  -f FORMAT          output format\n"
           "  -p PRESET          preset number of the format (see --list-presets)\n"
           "  -o DIR             output folder, created when missing\n"
           "  -j JOBS            files converted at the same time\n"
           "  -x KEY=VALUE       an extra engine option for every output (repeatable)\n"
           "  --log-level LEVEL  quiet, panic, fatal, error, warning, info, verbose or debug\n"
           "  --list-presets     list the presets of every format\n"
           "  --info             print what the probe finds in each FILE\n"
           "  --help             this text\n"
           "\n"
           "Exit status: 0 when every file converted, 1 when any failed, 2 for a usage error.\n";
}

TCliOptions ParseArguments(const std::vector<std::string>& args) {
    TCliOptions options;
    bool presetGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "-f") {
            options.Format = FormatCode(value());
        } else if (a == "-p") {
            options.Preset = ParseNumber(a, value(), 0);
            presetGiven = true;
        } else if (a == "-o") {
            options.OutputDir = value();
        } else if (a == "-j") {
            options.Jobs = ParseNumber(a, value(), 1);
        } else if (a == "-x") {
            const std::string& line = value();
            if (line.find('=') == std::string::npos || line.front() == '=')
                throw UsageError("-x needs KEY=VALUE, not '" + line + "'");
            options.ExtraLines.push_back(line);
        } else if (a == "--log-level") {
            options.LogLevel = value();
        } else if (a == "--list-presets") {
            options.ListPresets = true;
        } else if (a == "--info") {
            options.Info = true;
        } else if (a == "--help" || a == "-h") {
            options.Help = true;
        } else if (a == "--") {
            options.Files.insert(options.Files.end(), args.begin() + i + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else {
            options.Files.push_back(a);
        }
    }
    if (presetGiven) {
        const auto& items = PresetTable()[options.Format].Items;
        if (options.Preset >= static_cast<int>(items.size()))
            throw UsageError("format " + std::string(PresetTable()[options.Format].Name) + " has presets 0 to " +
                             std::to_string(items.size() - 1));
    }
    if (options.Jobs == 0) options.Jobs = std::max(1u, std::thread::hardware_concurrency());
    if (!options.Help && !options.ListPresets && options.Files.empty()) throw UsageError("no input files");
    return options;
}
