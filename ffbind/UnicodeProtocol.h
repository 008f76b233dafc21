#pragma once
// File names that do not survive the locale's charset reach the container
// library as "unicode:utf8:" + UTF-8; such URLs are served by the program's own
// I/O (a custom AVIOContext over a file descriptor).
#include <string>

bool NeedsUnicodeURL(const std::wstring& name);
std::string FileNameToURL(const std::wstring& name);
std::wstring URLToFileName(const std::string& text);
std::wstring StripUnicodeURL(const std::string& text);
bool IsUnicodeURL(const std::string& text);

// Adds "unicode" to the program's protocol list, once per process.
void RegisterUnicodeProtocol();
