#pragma once
// A window's stored position: the five keys "x", "y", "height", "width" and
// "maximized" of one settings section, and the rule that keeps it on screen.
#include <string>
#include <vector>

class TIniFile;
struct TGlobalVars;

struct TWindowPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
};

// The part of a screen windows may cover (without the desktop's panels), in
// the desktop's coordinates.
struct TScreenArea {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Shrinks the window to the area, then moves it so it lies inside the area
// with its top-left corner never above or left of the area's.
TWindowPlacement FitToScreen(TWindowPlacement p, const TScreenArea& area);

// The area that shows the most of the window; the first one (the primary
// screen's) when none shows any of it, as when the window was closed on a
// screen that is no longer there. `areas` must not be empty.
const TScreenArea& AreaShowing(const TWindowPlacement& p, const std::vector<TScreenArea>& areas);

// Keys missing or invalid take their value from current ("maximized": false).
TWindowPlacement ReadWindowPlacement(const TIniFile& ini, const std::string& section, const TWindowPlacement& current);
void WriteWindowPlacement(TIniFile& ini, const std::string& section, const TWindowPlacement& p);

// An empty or blank path stands for the settings file of `vars`.
std::string PlacementFilePath(const std::string& iniPath, const TGlobalVars& vars);
