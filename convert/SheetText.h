#pragma once
// The text of a cue sheet before libcue reads it: decoded to UTF-8 and tidied
// into the form its parser takes, with the remarks it does not know.
#include <string>
#include <vector>

// `bytes` as UTF-8 text without a byte-order mark: UTF-8 with or without its
// mark as it is, UTF-16 (little or big endian) by its mark, or by its zero
// bytes when the mark is missing, else legacy 8-bit text (LegacyTextToUtf8).
std::string SheetTextToUtf8(const std::string& bytes);

// The remarks a sheet gives the whole album that libcue leaves out.
struct TSheetRemarks {
    std::string Genre;    // REM GENRE
    std::string Comment;  // REM COMMENT
    int Disc = 0;         // REM DISCNUMBER; 0 when not given
    int DiscTotal = 0;    // REM TOTALDISCS; 0 when not given
};

struct TPreparedSheet {
    std::string Text;  // for libcue's parser
    TSheetRemarks Remarks;
    // The FILE of each TRACK, in order: the one its INDEX 01 is in. (libcue
    // gives a track after one whose pregap ends a file the file before.)
    std::vector<std::string> TrackFiles;
};

// `text` (UTF-8) in the form libcue's parser takes without a complaint: the
// lines the program reads, keywords in upper case (writers of sheets by hand
// use any), titles and names written without quotes quoted, indexes of
// another form left out; so that a sheet it could read in spirit is not
// refused for its letter. The album's remarks are gathered on the way.
// Nothing (no TrackFiles) when the sheet is no list of tracks: a TRACK
// before any FILE, or one of no number from 1 to 99.
TPreparedSheet PrepareSheet(const std::string& text);
