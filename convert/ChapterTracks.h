#pragma once
// The chapters of a long file (an audiobook, a concert) as tracks of their
// own, named and tagged from the chapters' titles.
#include <cstdint>
#include <string>
#include <vector>

#include "FFDecode.h"
#include "SourceTrack.h"

// What the file's own tags say of the whole its tracks belong to.
struct TAlbumTags {
    std::string Album;        // its album, else its title
    std::string Artist;
    std::string AlbumArtist;  // its album artist, else its artist
    std::string Date;
    std::string Genre;
};

// One track per chapter, in the chapters' order, numbered from 1, titled
// with the chapter's title. Each runs from its chapter's start to the next
// chapter's start, so that the tracks together hold the file from the first
// chapter on; the last runs to the end of the file. `fileStart` (microseconds)
// is the time of the file's first sample: the cuts count from it. A chapter
// that starts where the one before it does is left out.
std::vector<TSourceTrack> ChapterTracks(const std::vector<TChapterInfo>& chapters, const TAlbumTags& album,
                                        int64_t fileStart = 0);
