#pragma once
// Numbered variants of an output name: "song.mp3", "song(1).mp3", …
#include <string>

// The highest counter a name takes; past it the name counts as unavailable.
constexpr int MaxNameCounter = 32767;

// `name` with the counter `n` in parentheses before the extension of its last
// path component: "out/song.mp3" and 2 give "out/song(2).mp3". The name is
// never interpreted otherwise.
std::wstring CounterName(const std::wstring& name, int n);
std::string CounterName(const std::string& name, int n);

// The message for a name whose every numbered variant is taken, `base` as
// the user is shown it.
std::string NoFreeNameText(const std::string& base);
