#pragma once
// A window's stored position: the five keys "x", "y", "height", "width" and
// "maximized" of one settings section, and the rule that keeps it on screen.
#include <string>

class TIniFile;

struct TWindowPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
};

// Shrinks the window to the screen, then moves it so it lies inside the screen
// with its top-left corner never above or left of the screen's.
TWindowPlacement FitToScreen(TWindowPlacement p, int screenWidth, int screenHeight);

// Keys missing or invalid take their value from current ("maximized": false).
TWindowPlacement ReadWindowPlacement(const TIniFile& ini, const std::string& section, const TWindowPlacement& current);
void WriteWindowPlacement(TIniFile& ini, const std::string& section, const TWindowPlacement& p);

// An empty or blank path stands for the settings file.
std::string PlacementFilePath(const std::string& iniPath);
