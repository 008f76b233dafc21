#pragma once
// The CUESHEET block a FLAC album image carries: its tracks as chapters.
#include <string>
#include <vector>

#include "FFDecode.h"

// One chapter per audio track of the CUESHEET metadata block of the FLAC
// file at `path`, in samples (time base 1/sample rate): from the track's
// INDEX 01 to the next track's (the lead-out for the last), so that a pregap
// (INDEX 00) stays at the end of the track before it. The media library makes
// chapters of the block too, but from each track's first index, which moves
// pregaps to the start of the next track. None when the file is no FLAC or
// has no such block.
std::vector<TChapterInfo> FlacCueSheetChapters(const std::string& path);
