// PLACEHOLDER: replaced by the full unicode file protocol.
#include "UnicodeProtocol.h"
bool NeedsUnicodeURL(const std::wstring&) { return false; }
std::string FileNameToURL(const std::wstring&) { return {}; }
std::wstring URLToFileName(const std::string&) { return {}; }
std::wstring StripUnicodeURL(const std::string&) { return {}; }
bool IsUnicodeURL(const std::string&) { return false; }
void RegisterUnicodeProtocol() {}
