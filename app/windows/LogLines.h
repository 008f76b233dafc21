#pragma once
// The in-memory log: the line each logger message becomes, and the log file
// beside the executable that seeds it at start-up.
#include <cstdint>
#include <string>
#include <vector>

#include "FFLog.h"

// "#" thread id "." level ordinal ": " text, e.g. "#2484.3: no video stream."
std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& text);

// The lines of a text file with LF or CR LF line ends. False (lines untouched)
// when the file cannot be opened or read.
bool LoadLinesFromFile(const std::string& path, std::vector<std::string>& lines);

// The file named like the executable with the extension ".log".
std::string LogFileName(const std::string& exeName);

// Replaces `logLines` with the log file's lines when that file exists; when it
// exists but cannot be read, the log starts empty.
void LoadLogFile(const std::string& exeName, std::vector<std::string>& logLines);
