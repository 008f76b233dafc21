#pragma once
// How messages name the files of a task.
#include <string>

#include "UnicodeProtocol.h"

// The name of the file on disk, for messages and clean-up: the UTF-8 name
// behind a "unicode:utf8:" URL, else the name the library was given.
inline std::string DiskName(const std::string& url) {
    return IsUnicodeURL(url) ? url.substr(sizeof UnicodeURLPrefix - 1) : url;
}

// A set-up text about one file, which it names first, as the library's error
// texts for a file do: the user may be setting up many files at once.
inline std::string FileMessage(const std::string& diskName, const std::string& text) {
    return diskName + ": " + text;
}
