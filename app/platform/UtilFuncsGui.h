#pragma once
// The helpers of UtilFuncs that need the desktop: window placement, opening
// things with the desktop's handler, and the busy cursor.
#include <string>

class QWidget;
struct TGlobalVars;

// Reads the five placement keys of the section (an empty or blank path means
// the settings file of `vars`), keeps the window within the usable area of the
// screen that shows most of it (the primary one when none does) and applies
// it. Always true.
bool LoadWindowPlacement(const std::string& section, QWidget* window, const std::string& iniPath,
                         const TGlobalVars& vars);
// Writes the window's left, top, height, width and maximized state; a
// read-only file is told in vars.LogLines. Raises Exception when the file
// cannot be written.
void SaveWindowPlacement(const std::string& section, QWidget* window, const std::string& iniPath, TGlobalVars& vars);

// Hands a file, folder, web address or "mailto:" address to the desktop. When
// nothing there takes it, a message over `parent` names what could not be
// opened, and the result is false.
bool ShellOpen(const std::string& target, QWidget* parent);

// Nesting busy cursor: the wait cursor shows from the first BeginBusy until the
// matching EndBusy. An EndBusy without a BeginBusy does nothing.
void BeginBusy();
void EndBusy();

// Moves `window` so that it is centred on `owner`'s frame.
void CenterOnOwner(QWidget* window, const QWidget* owner);

// The application title, "Tembrio Audio Converter".
std::string ApplicationTitle();
