#pragma once
// A file whose conversion was stopped keeps what it got as far as it got, but
// under a name that says so ("song (stopped).mp3"), so that it never passes
// for the song: a player, a later run into the same folder and --update all
// see the real name free. A run with --update that completes a file (or finds
// it complete) removes what a stopped run left of it beside it.
#include <string>

// The word a stopped file's name carries before its extension.
constexpr const char* StoppedMark = " (stopped)";

// "out/song (stopped).mp3" for the output "out/song.mp3": the mark before the
// extension of the last path component, the stem shortened (FitName) when the
// name would be too long for the file system.
std::string StoppedOutputName(const std::string& output);

// Moves the file a stopped conversion wrote, `written`, to the first free of
// StoppedOutputName(`output`) and its numbered variants ("song (stopped)(1).mp3"),
// never over another file. `output` is the name the file was meant to have
// before any numbering. The name it is kept under; "" when `written` is not
// there (nothing was kept). When no such name can be had the file stays where
// it is, its name is returned and `error` says why.
std::string KeepStoppedOutput(const std::string& written, const std::string& output, std::string& error);

// Removes StoppedOutputName(`output`) and its numbered variants from the
// folder of `output` (regular files only, never through a link). The number
// removed.
int RemoveStoppedOutputs(const std::string& output);
