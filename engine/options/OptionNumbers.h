#pragma once
// Conversions of option value texts. Numbers are read in the "C" locale
// whatever the desktop's locale says: a German desktop must still read the
// "aq=4.97" of a preset as 4.97. Failures raise FFmpegException with the
// conversion error texts the user sees.
#include <cstdint>
#include <string>

#include "CLocale.h"

// Decimal integer with an optional sign; leading blanks are allowed.
// Raises "'%s' is not a valid integer value".
int StrToIntOrRaise(const std::string& text);
int64_t StrToInt64OrRaise(const std::string& text);
bool TryStrToInt(const std::string& text, int& value);
bool TryStrToInt64(const std::string& text, int64_t& value);

// Decimal floating-point number, surrounding blanks allowed; hexadecimal
// forms, "inf" and "nan" are not numbers here.
// Raises "'%s' is not a valid floating point value".
double StrToFloatOrRaise(const std::string& text);
bool TryStrToFloat(const std::string& text, double& value);

// The C runtime's strtol (base taken from the text) and strtod in the "C"
// locale, for the handlers that read several numbers out of one value.
long RuntimeStrtol(const char* text, const char** end);
double RuntimeStrtod(const char* text, const char** end);


// Switch values: "0" is off, any other text (also an empty one) is on.
inline bool SwitchValue(const std::string& value) { return value != "0"; }

std::string TrimText(const std::string& text);
// CR LF and lone CR become LF.
std::string UnifyLineBreaks(const std::string& text);
std::string LowerText(const std::string& text);
bool SameText(const std::string& a, const std::string& b);
