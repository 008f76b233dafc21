#pragma once
// The application's state record. The main window owns it and hands it (or
// the fields they need) to its pages and windows; everything the wizard
// chooses lives here until the main window closes and the settings are saved.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Output format codes: the value of OutputFormat, the index into Presets and
// the order of the preset keys in the settings file. Settings files keep the
// codes: a format is only ever appended.
enum TOutputFormat : uint8_t { ofWAV, ofMP3, ofWMA, ofOGG, ofAAC, ofM4A, ofFLAC, ofMP2, ofOpus, ofALAC };
constexpr int OutputFormatCount = 10;
// The presets the formats start with (a first start, or a settings file of a
// version without the format): Opus at 128 kbps, every other format its first.
constexpr std::array<int32_t, OutputFormatCount> DefaultPresets() {
    std::array<int32_t, OutputFormatCount> presets{};
    presets[ofOpus] = 2;
    return presets;
}

// Page 2's loudness choices, the value of Loudness. Settings files keep the
// indices: a choice is only ever appended. "Normalise to" gives each file its
// own gain, "Normalise albums to" the files of an album their album's.
enum TLoudnessIndex : int32_t {
    lcKeep,
    lcReplayGain,
    lcNormalise23,
    lcNormalise18,
    lcNormalise16,
    lcNormalise14,
    lcNormaliseAlbums23,
    lcNormaliseAlbums18,
    lcNormaliseAlbums16,
    lcNormaliseAlbums14
};
constexpr int LoudnessChoiceCount = lcNormaliseAlbums14 + 1;

constexpr const char* ApplicationTitleText = "Tembrio Audio Converter";
constexpr const char* SettingsFileName = "system20120110.dat";

// How many files a batch converts at once.
constexpr int MinParallelTasks = 1;
constexpr int MaxParallelTasks = 16;
// The number of processor cores, within MinParallelTasks..MaxParallelTasks.
int DefaultParallelTasks();

struct TGlobalVars {
    std::string AppDataDir;                 // always ends with the path separator
    std::string LastOpenDir;
    std::vector<std::string> LogLines;      // the in-memory log
    std::vector<std::string> FailedFiles;   // errors of the last add operation
    int32_t FailedCount = 0;
    std::string OutputFileDir;
    uint8_t OutputFormat = ofMP3;
    std::array<int32_t, OutputFormatCount> Presets = DefaultPresets();
    double BatchStartTime = 0;              // local time, days
    int64_t FinishedDuration = 0;           // milliseconds
    int64_t BatchDuration = 0;              // microseconds
    bool PlayASoundWhenFinished = false;
    bool ShutDownWhenFinished = false;
    int32_t ParallelTasks = DefaultParallelTasks();
    bool KeepFolderStructure = false;       // mirror the folders a file was found under
    int32_t Loudness = lcKeep;              // TLoudnessIndex
    bool SplitChapters = false;             // a file with chapters converts as one file per chapter
    std::string HelpAddress;
    std::string HomePageAddress;
    std::string UpdatesAddress;
    std::string SupportAddress;
    bool ReadOnlySettingsLogged = false;    // the log has said the settings file is read-only
};
