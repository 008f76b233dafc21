#include "WindowPlacement.h"

#include <algorithm>

#include "IniFile.h"
#include "UtilFuncs.h"

TWindowPlacement FitToScreen(TWindowPlacement p, const TScreenArea& area) {
    const int right = area.Left + area.Width;
    const int bottom = area.Top + area.Height;
    if (p.Width > area.Width) p.Width = area.Width;
    if (p.Height > area.Height) p.Height = area.Height;
    if (p.Left + p.Width > right) p.Left = right - p.Width;
    if (p.Top + p.Height > bottom) p.Top = bottom - p.Height;
    if (p.Left < area.Left) p.Left = area.Left;
    if (p.Top < area.Top) p.Top = area.Top;
    return p;
}

namespace {

int Overlap(int start1, int length1, int start2, int length2) {
    return std::max(0, std::min(start1 + length1, start2 + length2) - std::max(start1, start2));
}

} // namespace

const TScreenArea& AreaShowing(const TWindowPlacement& p, const std::vector<TScreenArea>& areas) {
    const TScreenArea* best = &areas.front();
    long long bestShown = 0;
    for (const TScreenArea& area : areas) {
        const long long shown = static_cast<long long>(Overlap(p.Left, p.Width, area.Left, area.Width)) *
                                Overlap(p.Top, p.Height, area.Top, area.Height);
        if (shown > bestShown) {
            best = &area;
            bestShown = shown;
        }
    }
    return *best;
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

std::string PlacementFilePath(const std::string& iniPath, const TGlobalVars& vars) {
    if (iniPath.find_first_not_of(" \t") == std::string::npos) return SettingsFilePath(vars);
    return iniPath;
}
