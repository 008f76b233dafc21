#pragma once
// Texts and names as JSON strings. A name is bytes: valid UTF-8 is kept, and
// every other byte becomes "\udcXX", the lone surrogate U+DC80 + byte, which
// Python's json.loads followed by os.fsencode (surrogateescape) turns back
// into the byte.
#include <string>

// `bytes` as a JSON string, quotes included: quote, backslash and control
// characters escaped.
std::string JsonString(const std::string& bytes);
