#pragma once
// Small helpers the application's windows share. Everything here is free of the
// GUI toolkit, so that it can be tested without a display; the helpers that
// need the desktop are in UtilFuncsGui.h.
#include <cstdint>
#include <string>
#include <vector>
#include <utility>

class TIniFile;
struct TGlobalVars;

// The folder for a well-known name: "AppData" is the user's configuration
// folder ($XDG_CONFIG_HOME, else ~/.config), "Personal" the documents folder
// (the XDG user folder, else ~/Documents when it exists). Any other name, or a
// folder that cannot be determined, gives the home folder, the fixed fallback.
std::string GetShellFolder(const std::string& valueName);

// The user's home folder ($HOME, else the password database, else "/").
std::string HomeFolder();

// The application data folder: the configuration folder followed by the
// application title. When that folder is missing and cannot be created, the
// configuration folder itself. Always ends with a separator.
std::string DetermineAppDataDir(const std::string& applicationTitle);

// The settings file in vars.AppDataDir.
std::string SettingsFilePath(const TGlobalVars& vars);

// Reads section "System" into `vars`, each key defaulting to the field's
// current value; true when the file existed. On a first start the defaults are
// written (SaveSettings) and the result is false.
bool LoadSettings(TGlobalVars& vars);

// The keys of section "System" and their values as written, in the order
// they are written.
std::vector<std::pair<std::string, std::string>> SystemSettings(const TGlobalVars& vars);

// Writes the keys of section "System" from `vars` (the thirteen of the first
// release, then ParallelTasks, KeepFolderStructure, the later formats'
// presets, Loudness and SplitChapters), keeping every other section of the
// file. Raises Exception when the file cannot be written.
void SaveSettings(TGlobalVars& vars);

// Writes a settings file (TIniFile::UpdateFile). A read-only one is left as it
// is, and vars.LogLines says so once per run. Raises what UpdateFile raises.
void WriteSettingsFile(const TIniFile& ini, TGlobalVars& vars);

// "hh:mm:ss.zzz" of a count of microseconds; hours are not wrapped.
std::string FormatDuration(int64_t microseconds);

// The path with its extension (if any) replaced by the given one (".log").
std::string ChangeFileExt(const std::string& path, const std::string& extension);

