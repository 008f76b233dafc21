#pragma once
// The tracks a probed file holds in itself: an album image with its cue
// sheet embedded, or a long file with chapters.
#include <string>
#include <vector>

#include "FFDecode.h"
#include "SourceTrack.h"

// The tracks of the file at `path`, open in `probe`; none when it converts
// whole. An embedded sheet always gives its tracks: its "cuesheet" tag (with
// the titles), else FLAC's CUESHEET block. Chapters of other files give
// theirs only when `splitChapters` (the user's "Split by chapters"). Empty
// album tags of the tracks are taken from the file's own tags. When an
// embedded sheet cannot be read and the file is converted whole for that,
// `problem` (when given) says why; else it is left empty.
std::vector<TSourceTrack> EmbeddedTracks(const std::string& path, const TCustomDecoder& probe, bool splitChapters,
                                         std::string* problem = nullptr);
