#include "EmbeddedTracks.h"

#include "ChapterTracks.h"
#include "CueSheet.h"
#include "FFUtils.h"
#include "FlacCueSheet.h"

namespace {

TAlbumTags FileAlbumTags(const AVFormatContext* c) {
    const AVDictionary* m = c->metadata;
    TAlbumTags album;
    album.Album = MetadataValue(m, "album", MetadataValue(m, "title", ""));
    album.Artist = MetadataValue(m, "artist", MetadataValue(m, "author", ""));
    album.AlbumArtist = MetadataValue(m, "album_artist", album.Artist);
    album.Date = MetadataValue(m, "date", MetadataValue(m, "year", ""));
    album.Genre = MetadataValue(m, "genre", "");
    return album;
}

void FillFromFile(TSourceTrack& track, const TAlbumTags& album) {
    auto fill = [](std::string& field, const std::string& value) {
        if (field.empty()) field = value;
    };
    fill(track.Album, album.Album);
    fill(track.AlbumArtist, album.AlbumArtist);
    fill(track.Performer, album.Artist);
    fill(track.Date, album.Date);
    fill(track.Genre, album.Genre);
}

// The time of the file's first sample, which the cuts count from.
int64_t FirstSampleTime(const AVFormatContext* c, int audioStream) {
    if (audioStream >= 0) {
        const AVStream* st = c->streams[audioStream];
        if (st->start_time != AV_NOPTS_VALUE && st->time_base.den > 0)
            return ff::av_rescale_q(st->start_time, st->time_base, AVRational{1, 1000000});
    }
    return c->start_time == AV_NOPTS_VALUE ? 0 : c->start_time;
}

} // namespace

std::vector<TSourceTrack> EmbeddedTracks(const std::string& path, const TCustomDecoder& probe, bool splitChapters,
                                         std::string* problem) {
    if (problem) problem->clear();
    const AVFormatContext* c = probe.FormatContext();
    if (!c) return {};
    const TAlbumTags album = FileAlbumTags(c);
    std::string sheetProblem;
    if (!probe.EmbeddedCueSheet().empty()) {
        TCueSheet sheet = ReadEmbeddedCueSheet(probe.EmbeddedCueSheet(), path);
        std::vector<TSourceTrack> tracks;
        for (TSheetTrack& t : sheet.Tracks) {
            FillFromFile(t.Track, album);
            tracks.push_back(std::move(t.Track));
        }
        if (!tracks.empty()) return tracks;
        sheetProblem = sheet.Error;
    }
    const bool flac = c->iformat && std::string(c->iformat->name) == "flac";
    std::vector<TChapterInfo> chapters;
    if (flac) {
        chapters = FlacCueSheetChapters(path);
        if (chapters.empty()) chapters = probe.Chapters();
    } else if (splitChapters) {
        chapters = probe.Chapters();
    }
    std::vector<TSourceTrack> tracks = ChapterTracks(chapters, album, FirstSampleTime(c, probe.FirstAudioStream()));
    if (tracks.empty() && problem) *problem = sheetProblem;
    return tracks;
}
