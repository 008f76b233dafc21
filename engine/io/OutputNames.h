#pragma once
// Numbered variants of an output name: "song.mp3", "song(1).mp3", … Every
// name made here fits the file system's limit for one path component.
#include <cstddef>
#include <string>

// The highest counter a name takes; past it the name counts as unavailable.
constexpr int MaxNameCounter = 32767;

// The longest name of one path component, in bytes, that the file systems a
// library lives on take.
constexpr size_t NameMax = 255;

// `stem` cut to at most `room` bytes: unchanged when it fits, else its
// beginning (ending on a whole UTF-8 character) followed by "~" and eight
// hexadecimal digits of a hash of the whole stem, so that two long names
// that begin alike still differ. "" when `room` leaves no space for that.
std::string FitStem(const std::string& stem, size_t room);

// The last path component of `name` made to fit NameMax with `extra` bytes
// inserted before its extension: its stem is shortened by FitStem when it
// must be. `name` unchanged when even that cannot fit (an extension of
// nearly NameMax bytes).
std::string FitName(const std::string& name, size_t extra = 0);

// `name` with the counter `n` in parentheses before the extension of its last
// path component: "out/song.mp3" and 2 give "out/song(2).mp3". The name is
// never interpreted otherwise; its stem is shortened (FitName) when the
// counter would make it too long.
std::wstring CounterName(const std::wstring& name, int n);
std::string CounterName(const std::string& name, int n);

// The message for a name whose every numbered variant is taken, `base` as
// the user is shown it.
std::string NoFreeNameText(const std::string& base);

// The message for a name the file system refuses as too long, `name` as the
// user is shown it.
std::string NameTooLongText(const std::string& name);
