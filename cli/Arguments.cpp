#include "Arguments.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "FormatPresets.h"
#include "LoudnessChoice.h"

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
    std::string names;
    for (size_t i = 0; i < table.size(); ++i) {
        if (name == table[i].Name) return static_cast<int>(i);
        names += std::string(i == 0 ? "" : i + 1 == table.size() ? " or " : ", ") + table[i].Name;
    }
    throw UsageError("unknown format '" + name + "' (" + names + ")");
}

// "K/N" with 1 <= K <= N.
void ParseShard(const std::string& text, TCliOptions& options) {
    const size_t slash = text.find('/');
    if (slash != std::string::npos) {
        const std::string index = text.substr(0, slash), count = text.substr(slash + 1);
        auto digits = [](const std::string& part) {
            return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        try {
            if (digits(index) && digits(count)) {
                options.ShardIndex = std::stoi(index);
                options.ShardCount = std::stoi(count);
                if (options.ShardIndex >= 1 && options.ShardIndex <= options.ShardCount) return;
            }
        } catch (const std::exception&) {
        }
    }
    throw UsageError("--shard needs K/N with 1 <= K <= N, not '" + text + "'");
}

// One of NormaliseTargets, as "-16".
int NormaliseTarget(const std::string& text) {
    std::string list;
    const std::vector<int>& targets = NormaliseTargets();
    for (size_t i = 0; i < targets.size(); ++i) {
        const std::string target = std::to_string(targets[i]);
        if (text == target) return targets[i];
        list += (i == 0 ? "" : i + 1 == targets.size() ? " or " : ", ") + target;
    }
    throw UsageError("--normalize takes " + list + " (LUFS), not '" + text + "'");
}

// "wav 4, mp3 0, …": each audio format's preset when -p is not given.
std::string DefaultPresetList() {
    std::string list;
    for (int format = 0; format < AudioFormatCount; ++format)
        list += std::string(format == 0 ? "" : ", ") + PresetTable()[format].Name + " " +
                std::to_string(DefaultPreset(format));
    return list;
}

} // namespace

int DefaultPreset(int format) {
    // Without -p, CD audio (44.1 kHz stereo) keeps its rate, or a higher one,
    // and both channels in every format: the first presets of WAV, OGG, AAC and MPEG layer-2 are telephone or
    // radio quality, fit for a choice made on purpose but not for a default.
    // FLAC takes the level its encoder itself defaults to, Opus 128 kbps in
    // stereo, ALAC the source's own rate, channels and bits.
    static const int presets[AudioFormatCount] = {4, 0, 0, 3, 3, 0, 5, 3, 2, 0};
    return format >= 0 && format < AudioFormatCount ? presets[format] : 0;
}

std::string UsageText() {
    return "usage: tembrio-convert [-f FORMAT] [-p PRESET] [-o DIR] [-j JOBS]\n"
           "                       [-x KEY=VALUE]... [--log-level LEVEL] [-r] [--keep-tree] [--update]\n"
           "                       [--files-from LIST [-0]] [--shard K/N] [--progress=jsonl]\n"
           "                       [--replaygain] [--normalize=LUFS] [--split-chapters] FILE...\n"
           "       tembrio-convert --list-presets\n"
           "       tembrio-convert --info [-r] [--split-chapters] [--files-from LIST [-0]] [--shard K/N] FILE...\n"
           "\n"
           "Converts every FILE into a file of the chosen format in DIR (default: the\n"
           "current folder), one file per input, never overwriting: an existing name gets a\n"
           "counter, song(1).mp3. A cue sheet (album.cue) stands for the tracks of its\n"
           "image, as does an image with a sheet embedded in it (a FLAC CUESHEET block or a\n"
           "cuesheet tag): each track becomes a file of its own, \"NN - Title\", cut from\n"
           "the image to the sample and tagged from the sheet. Defaults: mp3, one job per\n"
           "core, and the format's preset marked * in --list-presets, which keeps CD audio\n"
           "(44.1 kHz stereo) at its rate or higher and in stereo (for the video\n"
           "containers, 0):\n"
           "  " + DefaultPresetList() + "\n"
           "\n"
           "  -f FORMAT          output format: the audio formats wav, mp3, wma, ogg, aac,\n"
           "                     m4a, flac, mp2, opus (Ogg Opus) and alac (Apple Lossless,\n"
           "                     written as .m4a), or the video containers mp4 (H.264, or\n"
           "                     MPEG-4 without it, with AAC), mkv (the same, and the\n"
           "                     subtitles), avi (MPEG-4 with MP3) and mpg (MPEG-2 with MP2,\n"
           "                     and DVD subtitles), which keep the picture\n"
           "  -p PRESET          preset number of the format (see --list-presets)\n"
           "  -o DIR             output folder, created when missing\n"
           "  -j JOBS            files converted at the same time\n"
           "  -x KEY=VALUE       an extra engine option for every output (repeatable), e.g.\n"
           "                     target=pal-dvd, s=320x240, r=10, vf=hflip, pass=1; it takes\n"
           "                     the place of the preset's setting: vcodec=mpeg4, async=1\n"
           "  --log-level LEVEL  quiet, panic, fatal, error, warning, info, verbose or debug\n"
           "  -r                 a FILE that is a folder stands for every media file below it,\n"
           "                     at any depth, in path order; an image with a cue sheet found\n"
           "                     beside it is converted once, as the sheet's tracks\n"
           "  --keep-tree        a file found below a folder goes to the same sub-folder of DIR\n"
           "                     (created when missing); files named directly go to DIR\n"
           "  --update           convert only files whose output (the name with the format's\n"
           "                     extension) is missing, was made from another version of the\n"
           "                     file, or is cut short; the others are skipped. A new version\n"
           "                     is written under a hidden temporary name, held by this run,\n"
           "                     and replaces the old one only once it is complete\n"
           "  --files-from LIST  convert the files named in LIST too (after the FILE\n"
           "                     arguments), one per line; - reads standard input\n"
           "  -0                 the names in LIST end with NUL bytes (find -print0)\n"
           "  --shard K/N        convert only part K of N: a file's part follows from a hash\n"
           "                     of its path below the folder given (of its name as given\n"
           "                     otherwise), so N runs with K = 1..N share the files out\n"
           "  --progress=jsonl   standard output carries one JSON object per line instead:\n"
           "                     {\"event\":\"started\"|\"progress\"|\"finished\"|\"summary\", ...};\n"
           "                     a byte of a name that is not UTF-8 is written as \\udcXX\n"
           "                     (U+DC80 + the byte, as Python's surrogateescape reads it)\n"
           "  --replaygain       (audio formats) measure each file's loudness as it converts\n"
           "                     and write its ReplayGain 2.0 track gain (to -18 LUFS) and\n"
           "                     true peak into its tags; the files of an album (the same\n"
           "                     album and album artist, in one folder) also get the album's,\n"
           "                     once its last file is done\n"
           "  --normalize=LUFS   convert every file to the loudness -23, -18, -16 or -14 LUFS\n"
           "                     with its true peak at or below -1 dBTP (a pass that only\n"
           "                     measures comes first; a file with little room below its\n"
           "                     peak gets less gain, and its line says so)\n"
           "  --split-chapters   a file with chapters (m4b, m4a, mka, mkv, ...) gives one file\n"
           "                     per chapter, named and tagged after the chapter titles;\n"
           "                     without it such a file converts whole\n"
           "  --list-presets     list the presets of every format\n"
           "  --info             print what the probe finds in each FILE, with its\n"
           "                     ReplayGain tags when it has any, and its tracks: those of\n"
           "                     a cue sheet, of a sheet embedded in it, or (with\n"
           "                     --split-chapters) its chapters\n"
           "  --help             this text\n"
           "\n"
           "Exit status: 0 when every file converted (or was skipped), 1 when any failed or\n"
           "the batch was stopped, 2 for a usage error or a LIST that cannot be read.\n";
}

TCliOptions ParseArguments(const std::vector<std::string>& args) {
    TCliOptions options;
    bool presetGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        // A long option may carry its value after "=".
        std::string a = args[i];
        std::optional<std::string> attached;
        if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
            attached = a.substr(a.find('=') + 1);
            a.erase(a.find('='));
        }
        bool attachedTaken = false;
        auto value = [&]() -> const std::string& {
            if (attached) {
                attachedTaken = true;
                return *attached;
            }
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
        } else if (a == "-r") {
            options.Recursive = true;
        } else if (a == "--keep-tree") {
            options.KeepTree = true;
        } else if (a == "--update") {
            options.Update = true;
        } else if (a == "--files-from") {
            options.FilesFrom = value();
            if (options.FilesFrom.empty()) throw UsageError("--files-from needs a file name, or - for standard input");
        } else if (a == "-0") {
            options.NulSeparated = true;
        } else if (a == "--shard") {
            ParseShard(value(), options);
        } else if (a == "--progress") {
            const std::string& kind = value();
            if (kind != "jsonl") throw UsageError("--progress takes only jsonl, not '" + kind + "'");
            options.JsonProgress = true;
        } else if (a == "--replaygain") {
            options.ReplayGain = true;
        } else if (a == "--normalize") {
            options.NormaliseTo = NormaliseTarget(value());
        } else if (a == "--split-chapters") {
            options.SplitChapters = true;
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
            throw UsageError("unknown option " + args[i]);
        } else {
            options.Files.push_back(a);
        }
        if (attached && !attachedTaken) throw UsageError(a + " takes no value");
    }
    if (presetGiven) {
        const auto& items = PresetTable()[options.Format].Items;
        if (options.Preset >= static_cast<int>(items.size()))
            throw UsageError("format " + std::string(PresetTable()[options.Format].Name) + " has presets 0 to " +
                             std::to_string(items.size() - 1));
    }
    if (!presetGiven) options.Preset = DefaultPreset(options.Format);
    if (options.ReplayGain && PresetTable()[options.Format].KeepsPicture)
        throw UsageError("--replaygain needs an audio format: the tags of " +
                         std::string(PresetTable()[options.Format].Name) +
                         " are written before its sound is measured");
    if (options.Jobs == 0) options.Jobs = std::max(1u, std::thread::hardware_concurrency());
    if (options.NulSeparated && options.FilesFrom.empty()) throw UsageError("-0 needs --files-from");
    if (!options.Help && !options.ListPresets && options.Files.empty() && options.FilesFrom.empty())
        throw UsageError("no input files");
    return options;
}
