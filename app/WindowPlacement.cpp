#include "WindowPlacement.h"

#include "IniFile.h"
#include "UtilFuncs.h"

TWindowPlacement FitToScreen(TWindowPlacement p, int screenWidth, int screenHeight) {
    if (p.Width > screenWidth) p.Width = screenWidth;
    if (p.Height > screenHeight) p.Height = screenHeight;
    if (p.Left + p.Width > screenWidth) p.Left = screenWidth - p.Width;
    if (p.Top + p.Height > screenHeight) p.Top = screenHeight - p.Height;
    if (p.Left < 0) p.Left = 0;
    if (p.Top < 0) p.Top = 0;
    return p;
}

TWindowPlacement ReadWindowPlacement(const TIniFile& ini, const std::string& section, const TWindowPlacement& current) {
    TWindowPlacement p;
    p.Maximized = ini.ReadBool(section, "maximized", false);
    p.Left = ini.ReadInteger(section, "x", current.Left);
    p.Top = ini.ReadInteger(section, "y", current.Top);
    p.Height = ini.ReadInteger(section, "height", current.Height);
    p.Width = ini.ReadInteger(section, "width", current.Width);
    return p;
}

void WriteWindowPlacement(TIniFile& ini, const std::string& section, const TWindowPlacement& p) {
    ini.WriteInteger(section, "x", p.Left);
    ini.WriteInteger(section, "y", p.Top);
    ini.WriteInteger(section, "height", p.Height);
    ini.WriteInteger(section, "width", p.Width);
    ini.WriteBool(section, "maximized", p.Maximized);
}

std::string PlacementFilePath(const std::string& iniPath) {
    if (iniPath.find_first_not_of(" \t") == std::string::npos) return SettingsFilePath();
    return iniPath;
}
