#pragma once
// The reasons a conversion failed, in the words of this program: the
// engine's own texts name its internals (output file #0, codec ids, stream
// numbers of its tables), which tell a user nothing.
#include <string>

// `engineText` as a user is told it for a file converted to output format
// `format` (FormatPresets.h): the texts of the engine that reach users for
// ordinary files are said again in plain words; any other text is kept.
// Needs the libraries loaded for codec names (without them, none are named).
std::string UserErrorText(const std::string& engineText, int format);
