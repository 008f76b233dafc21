#include "ChapterTracks.h"

#include <algorithm>

#include "AVUtilStubs.h"

namespace {

// `value` in units of num/den seconds taken to units of toNum/toDen seconds,
// to the nearest.
int64_t Rescale(int64_t value, int num, int den, int toNum, int toDen) {
    return ff::av_rescale_q(value, AVRational{num, den}, AVRational{toNum, toDen});
}

} // namespace

std::vector<TSourceTrack> ChapterTracks(const std::vector<TChapterInfo>& chapters, const TAlbumTags& album,
                                        int64_t fileStart) {
    std::vector<const TChapterInfo*> kept;
    for (const TChapterInfo& c : chapters) {
        if (c.TimeBaseNum <= 0 || c.TimeBaseDen <= 0) continue;
        if (!kept.empty()) {
            const TChapterInfo& last = *kept.back();
            if (Rescale(c.Start, c.TimeBaseNum, c.TimeBaseDen, last.TimeBaseNum, last.TimeBaseDen) <= last.Start)
                continue;
        }
        kept.push_back(&c);
    }
    std::vector<TSourceTrack> tracks;
    for (size_t i = 0; i < kept.size(); ++i) {
        const TChapterInfo& c = *kept[i];
        const int64_t zero = Rescale(fileStart, 1, 1000000, c.TimeBaseNum, c.TimeBaseDen);
        TSourceTrack track;
        track.Cut.TimeBaseNum = c.TimeBaseNum;
        track.Cut.TimeBaseDen = c.TimeBaseDen;
        track.Cut.Start = std::max<int64_t>(c.Start - zero, 0);
        if (i + 1 < kept.size()) {
            const TChapterInfo& next = *kept[i + 1];
            const int64_t end = Rescale(next.Start, next.TimeBaseNum, next.TimeBaseDen, c.TimeBaseNum, c.TimeBaseDen);
            track.Cut.Length = std::max<int64_t>(end - zero, 0) - track.Cut.Start;
        }
        // Nothing of a chapter before the file's first sample is there to cut.
        if (track.Cut.Length == 0) continue;
        track.Title = c.Title;
        track.Performer = album.Artist;
        track.Album = album.Album;
        track.AlbumArtist = album.AlbumArtist;
        track.Date = album.Date;
        track.Genre = album.Genre;
        tracks.push_back(std::move(track));
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        tracks[i].Number = static_cast<int>(i + 1);
        tracks[i].Total = static_cast<int>(tracks.size());
    }
    return tracks;
}
