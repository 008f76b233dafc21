#include "UtilFuncs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Format.h"
#include "IniFile.h"
#include "OutputNaming.h"
#include "globals.h"

namespace {

const char* const SystemSection = "System";

// The preset keys in the order the file lists them, each with its format code.
struct TPresetKey {
    const char* Key;
    int Format;
};
const TPresetKey PresetKeys[] = {
    {"OutputWAVPreset", ofWAV}, {"OutputMP3Preset", ofMP3}, {"OutputWMAPreset", ofWMA},
    {"OutputOGGPreset", ofOGG}, {"OutputM4APreset", ofM4A}, {"OutputAACPreset", ofAAC},
    {"OutputFLACPreset", ofFLAC}, {"OutputMP2Preset", ofMP2},
};
// The formats added later: their keys follow every older key, so that an
// older version reads the file as it wrote it.
const TPresetKey LaterPresetKeys[] = {{"OutputOpusPreset", ofOpus}, {"OutputALACPreset", ofALAC}};

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// An environment variable naming a folder; relative values do not count, as
// the XDG rules say.
std::string AbsoluteEnvFolder(const char* name) {
    const char* v = std::getenv(name);
    return v && v[0] == '/' ? std::string(v) : std::string();
}

std::string ConfigHomeFolder() {
    std::string dir = AbsoluteEnvFolder("XDG_CONFIG_HOME");
    return dir.empty() ? IncludeBackslash(HomeFolder()) + ".config" : dir;
}

// The documents entry of the user's XDG folder list: a line such as
// XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string UserDirsDocumentsFolder() {
    std::ifstream in(IncludeBackslash(ConfigHomeFolder()) + "user-dirs.dirs");
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = HomeFolder() + value.substr(5);
        // "$HOME/" alone means the user switched the folder off.
        if (value.empty() || value[0] != '/' || IncludeBackslash(value) == IncludeBackslash(HomeFolder())) return {};
        while (value.size() > 1 && value.back() == '/') value.pop_back();
        return value;
    }
    return {};
}

std::string DocumentsFolder() {
    std::string dir = UserDirsDocumentsFolder();
    if (!dir.empty()) return dir;
    dir = IncludeBackslash(HomeFolder()) + "Documents";
    return IsDirectory(dir) ? dir : HomeFolder();
}

} // namespace

std::string HomeFolder() {
    std::string home = AbsoluteEnvFolder("HOME");
    if (!home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw;
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return "/";
}

std::string GetShellFolder(const std::string& valueName) {
    if (valueName == "AppData") return ConfigHomeFolder();
    if (valueName == "Personal") return DocumentsFolder();
    return HomeFolder();
}

// Unlike a single-level create, the configuration folder itself is created
// when missing: on a fresh account ~/.config may not exist yet, and the first
// start must still be able to write its settings.
std::string DetermineAppDataDir(const std::string& applicationTitle) {
    const std::string base = IncludeBackslash(GetShellFolder("AppData"));
    const std::string dir = base + applicationTitle + "/";
    std::error_code ec;
    if (IsDirectory(dir) || (std::filesystem::create_directories(dir, ec) && !ec)) return dir;
    return base;
}

std::string SettingsFilePath(const TGlobalVars& vars) { return vars.AppDataDir + SettingsFileName; }

bool LoadSettings(TGlobalVars& g) {
    const std::string path = SettingsFilePath(g);
    if (!IsFile(path)) {
        SaveSettings(g);
        return false;
    }
    TIniFile ini(path);
    g.LastOpenDir = ini.ReadString(SystemSection, "LastOpenDir", g.LastOpenDir);
    g.OutputFileDir = ini.ReadString(SystemSection, "OutputFileDir", g.OutputFileDir);
    // A code of no format is kept (the output page ignores it), but one that
    // does not fit the byte field is treated like any other invalid number.
    int32_t format = ini.ReadInteger(SystemSection, "OutputFormat", g.OutputFormat);
    if (format >= 0 && format <= UINT8_MAX) g.OutputFormat = static_cast<uint8_t>(format);
    for (const TPresetKey& p : PresetKeys)
        g.Presets[p.Format] = ini.ReadInteger(SystemSection, p.Key, g.Presets[p.Format]);
    g.PlayASoundWhenFinished = ini.ReadBool(SystemSection, "PlayASoundWhenFinished", g.PlayASoundWhenFinished);
    g.ShutDownWhenFinished = ini.ReadBool(SystemSection, "ShutDownWhenFinished", g.ShutDownWhenFinished);
    // A count the spin box cannot show (a hand-edited file) reads as the default.
    const int32_t parallel = ini.ReadInteger(SystemSection, "ParallelTasks", g.ParallelTasks);
    g.ParallelTasks = parallel >= MinParallelTasks && parallel <= MaxParallelTasks ? parallel : DefaultParallelTasks();
    g.KeepFolderStructure = ini.ReadBool(SystemSection, "KeepFolderStructure", g.KeepFolderStructure);
    for (const TPresetKey& p : LaterPresetKeys)
        g.Presets[p.Format] = ini.ReadInteger(SystemSection, p.Key, g.Presets[p.Format]);
    // A choice the list does not have (a hand-edited file, a later version's)
    // keeps the files' loudness as it is.
    const int32_t loudness = ini.ReadInteger(SystemSection, "Loudness", g.Loudness);
    g.Loudness = loudness >= 0 && loudness < LoudnessChoiceCount ? loudness : lcKeep;
    g.SplitChapters = ini.ReadBool(SystemSection, "SplitChapters", g.SplitChapters);
    return true;
}

std::vector<std::pair<std::string, std::string>> SystemSettings(const TGlobalVars& g) {
    std::vector<std::pair<std::string, std::string>> keys;
    auto number = [&](const char* key, int64_t value) { keys.emplace_back(key, std::to_string(value)); };
    auto flag = [&](const char* key, bool value) { keys.emplace_back(key, value ? "1" : "0"); };
    keys.emplace_back("LastOpenDir", g.LastOpenDir);
    keys.emplace_back("OutputFileDir", g.OutputFileDir);
    number("OutputFormat", g.OutputFormat);
    for (const TPresetKey& p : PresetKeys) number(p.Key, g.Presets[p.Format]);
    flag("PlayASoundWhenFinished", g.PlayASoundWhenFinished);
    flag("ShutDownWhenFinished", g.ShutDownWhenFinished);
    number("ParallelTasks", g.ParallelTasks);
    flag("KeepFolderStructure", g.KeepFolderStructure);
    for (const TPresetKey& p : LaterPresetKeys) number(p.Key, g.Presets[p.Format]);
    number("Loudness", g.Loudness);
    flag("SplitChapters", g.SplitChapters);
    return keys;
}

void SaveSettings(TGlobalVars& g) {
    TIniFile ini(SettingsFilePath(g));
    for (const auto& [key, value] : SystemSettings(g)) ini.WriteString(SystemSection, key, value);
    WriteSettingsFile(ini, g);
}

void WriteSettingsFile(const TIniFile& ini, TGlobalVars& vars) {
    if (ini.UpdateFile() || vars.ReadOnlySettingsLogged) return;
    vars.LogLines.push_back("Settings not saved: " + ini.FileName() + " is read-only.");
    vars.ReadOnlySettingsLogged = true;
}

std::string FormatDuration(int64_t microseconds) {
    const int64_t seconds = microseconds / 1000000;
    return Format("%.2d:%.2d:%.2d.%.3d", seconds / 60 / 60, (seconds / 60) % 60, seconds % 60,
                  (microseconds % 1000000) * 1000 / 1000000);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot) + extension;
    return path + extension;
}
