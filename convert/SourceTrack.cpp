#include "SourceTrack.h"

#include <algorithm>
#include <string>

#include "OutputNames.h"

namespace {

// Room a track's stem leaves in a name for its extension and a counter:
// "(32767)" and the longest extension a format has, with some to spare.
constexpr size_t StemRoom = NameMax - 32;

// A title as part of a file name: no separator, nothing a terminal or a
// listing would mangle (control characters become spaces), blanks at its ends
// and runs of blanks reduced. Everything else, letters of any script
// included, stays as the sheet spelled it.
std::string SafeTitle(const std::string& title) {
    std::string out;
    out.reserve(title.size());
    for (const char ch : title) {
        const auto c = static_cast<unsigned char>(ch);
        char put = ch;
        if (c < 0x20 || c == 0x7F) put = ' ';
        else if (ch == '/') put = '-';
        if (put == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += put;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

int Digits(int n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

void AddNumber(std::vector<std::pair<std::string, std::string>>& tags, const char* key, int value) {
    if (value > 0) tags.emplace_back(key, std::to_string(value));
}

void AddText(std::vector<std::pair<std::string, std::string>>& tags, const char* key, const std::string& value) {
    if (!value.empty()) tags.emplace_back(key, value);
}

} // namespace

std::string TrackOutputStem(const TSourceTrack& track) {
    std::string number = std::to_string(std::max(track.Number, 0));
    const size_t width = static_cast<size_t>(std::max(2, Digits(track.Total)));
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    const std::string title = SafeTitle(track.Title);
    // The number leads, so the stem is never "." or ".." nor hidden.
    const std::string stem = title.empty() ? number : number + " - " + title;
    return FitStem(stem, StemRoom);
}

std::vector<std::pair<std::string, std::string>> TrackTags(const TSourceTrack& track) {
    std::vector<std::pair<std::string, std::string>> tags;
    AddText(tags, "title", track.Title);
    AddText(tags, "artist", track.Performer);
    AddText(tags, "album", track.Album);
    AddText(tags, "album_artist", track.AlbumArtist);
    AddNumber(tags, "track", track.Number);
    AddNumber(tags, "track_total", track.Total);
    AddNumber(tags, "disc", track.Disc);
    AddNumber(tags, "disc_total", track.DiscTotal);
    AddText(tags, "date", track.Date);
    AddText(tags, "genre", track.Genre);
    AddText(tags, "comment", track.Comment);
    return tags;
}

int64_t TrackDuration(const TSourceTrack& track, int64_t sourceDuration) {
    const TSourceCut& cut = track.Cut;
    if (cut.TimeBaseDen <= 0 || cut.TimeBaseNum <= 0) return -1;
    return CutLengthMicroseconds(cut, sourceDuration);
}
