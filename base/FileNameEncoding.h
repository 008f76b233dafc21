#pragma once
// File names are bytes. Where the program holds one as a wide string (a URL for
// the media libraries, a text of the desktop's) no byte of it may get lost.
#include <string>

// UTF-8 text of a wide string and back. File names are bytes, so the round
// trip from bytes is lossless: each byte that is not part of valid UTF-8
// decodes to U+DC80 + byte (a lone surrogate, which valid UTF-8 never yields)
// and encodes back to that byte. Other surrogates and values beyond U+10FFFF
// encode as U+FFFD.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// True when the text carries such escaped bytes.
bool HasEscapedBytes(const std::wstring& text);
// A name (bytes) as text a terminal or window can show on one line: valid
// UTF-8 as it is, but line end, carriage return and tab as "\n", "\r" and
// "\t", other control characters and every byte that is not UTF-8 as
// "\xNN".
std::string ShownName(const std::string& bytes);
// Appends the UTF-8 form of code point `c` (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);
