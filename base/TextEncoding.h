#pragma once
// Text a file stores without saying how it is encoded (RIFF INFO chunks, old
// sheets and lists): written today as UTF-8, written by older programs in
// the Western code page. Valid UTF-8 is taken as UTF-8, anything else as
// Windows-1252, so that "Café" reads the same both ways.
#include <string>

// The text as UTF-8: unchanged when it is valid UTF-8 (shortest forms, no
// surrogates, at most U+10FFFF), else each byte read as Windows-1252 (the
// five bytes that code page leaves out as U+FFFD).
std::string LegacyTextToUtf8(const std::string& text);
