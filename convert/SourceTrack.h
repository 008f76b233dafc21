#pragma once
// A track of a source that holds several: a track of an album image its cue
// sheet describes, or a chapter of a long file. It converts as a file of its
// own: its stretch of the image, its own tags and its own output name.
#include <string>
#include <utility>
#include <vector>

#include "SourceCut.h"

struct TSourceTrack {
    TSourceCut Cut;
    int Number = 0;      // 1-based, as the sheet numbers it (chapters: in order)
    int Total = 0;       // tracks of its sheet (chapters of its file)
    int Disc = 0;        // 0: not given
    int DiscTotal = 0;   // 0: not given
    std::string Title;       // may be empty
    std::string Performer;   // the track's, else the sheet's
    std::string Album;       // the sheet's TITLE
    std::string AlbumArtist; // the sheet's PERFORMER
    std::string Date;        // REM DATE
    std::string Genre;       // REM GENRE
    std::string Comment;     // REM COMMENT
};

// "NN - Title": the track number in two digits (more when the total needs
// them) and its title, made safe for a file name; "NN" alone without a title.
std::string TrackOutputStem(const TSourceTrack& track);

// The track's tags under the common names the engine writes (title, artist,
// album, album_artist, track, track_total, disc, disc_total, date, genre,
// comment), only those given.
std::vector<std::pair<std::string, std::string>> TrackTags(const TSourceTrack& track);

// The track's length in microseconds; `sourceDuration` (microseconds, or
// negative when unknown) for a track that runs to the end of its source.
int64_t TrackDuration(const TSourceTrack& track, int64_t sourceDuration);
