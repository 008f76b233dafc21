#pragma once
// The command line of tembrio-convert.
#include <stdexcept>
#include <string>
#include <vector>

struct TCliOptions {
    int Format = 1;                  // output format code, mp3 by default
    int Preset = 0;                  // -p, else the format's DefaultPreset
    std::string OutputDir = ".";
    int Jobs = 0;                    // set to the number of cores when not given
    std::vector<std::string> ExtraLines;  // -x KEY=VALUE, appended to the output option text
    std::string LogLevel;            // empty: the engine's log is not shown
    bool ListPresets = false;
    bool Info = false;
    bool Help = false;
    bool Recursive = false;          // -r: a folder given becomes every media file below it
    bool KeepTree = false;           // --keep-tree: outputs go to the source's folder below OutputDir
    bool Update = false;             // --update: only files whose output is missing or older
    std::string FilesFrom;           // --files-from: a file naming more files; "-" standard input
    bool NulSeparated = false;       // -0: its names end with NUL bytes, not line ends
    int ShardIndex = 1;              // --shard K/N: only the files of part K of N
    int ShardCount = 1;
    bool JsonProgress = false;       // --progress=jsonl
    bool ReplayGain = false;         // --replaygain: track (and album) gain and peak in the tags
    int NormaliseTo = 0;             // --normalize=LUFS: the target loudness; 0 keeps each file's
    bool SplitChapters = false;      // --split-chapters: a file with chapters gives a file per chapter
    std::vector<std::string> Files;
};

// A command line that cannot be used; its message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

TCliOptions ParseArguments(const std::vector<std::string>& args);
// The preset of `format` when -p is not given.
int DefaultPreset(int format);
std::string UsageText();
