#pragma once
// Cue sheets: the tracks of album images, read with libcue. A sheet's text
// may be UTF-8 (with or without a byte-order mark), UTF-16 with its mark, or
// a legacy 8-bit encoding (UTF-8 when valid, else Windows-1252). Each FILE it
// names is matched to a file beside the sheet, also when only the case of its
// name or its extension differs. A track runs from its INDEX 01 to the next
// track's INDEX 01 in the same FILE (a pregap stays at the end of the track
// before it); a FILE's last track runs to the end of the file.
#include <string>
#include <vector>

#include "SourceTrack.h"

struct TSheetTrack {
    std::string Image;   // the file it is cut from, a path beside the sheet
    TSourceTrack Track;
};

struct TCueSheet {
    std::vector<TSheetTrack> Tracks;   // in the sheet's order
    std::vector<std::string> Images;   // every file the sheet's tracks are cut from, once each
    // Why the sheet gave no tracks, in the program's words; or, beside the
    // tracks it did give, which files it names that are not there (their
    // tracks are left out).
    std::string Error;
};

// Whether `path` names a cue sheet (".cue", any case).
bool IsCueSheetName(const std::string& path);

// The sheet in the file at `path`.
TCueSheet ReadCueSheet(const std::string& path);

// A sheet embedded in `image` (its "cuesheet" tag): its tracks are all cut
// from `image`, whatever its FILE lines name.
TCueSheet ReadEmbeddedCueSheet(const std::string& text, const std::string& image);
