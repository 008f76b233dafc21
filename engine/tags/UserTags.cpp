#include "UserTags.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "AVUtilStubs.h"

#ifndef TEMBRIO_ENCODER_NAME
#define TEMBRIO_ENCODER_NAME "Tembrio Audio Converter"
#endif

namespace {

std::string Lower(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

std::string Upper(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The common name of a tag, from the names sources of every kind give it
// (already lower case).
std::string CommonName(const std::string& key) {
    static const std::pair<const char*, const char*> aliases[] = {
        {"author", "artist"},           {"albumartist", "album_artist"}, {"album artist", "album_artist"},
        {"wm/albumartist", "album_artist"}, {"wm/albumtitle", "album"}, {"tracknumber", "track"},
        {"wm/tracknumber", "track"},    {"tracktotal", "track_total"},   {"totaltracks", "track_total"},
        {"discnumber", "disc"},         {"wm/partofset", "disc"},        {"disctotal", "disc_total"},
        {"totaldiscs", "disc_total"},   {"year", "date"},                {"wm/year", "date"},
        {"wm/genre", "genre"},          {"wm/composer", "composer"},     {"wm/lyrics", "lyrics"},
        {"unsyncedlyrics", "lyrics"},   {"description", "comment"},
    };
    for (const auto& [alias, name] : aliases)
        if (key == alias) return name;
    // ID3 lyrics and comments carry their language: "lyrics-eng".
    if (StartsWith(key, "lyrics-")) return "lyrics";
    if (StartsWith(key, "comment-")) return "comment";
    return key;
}

void Add(TUserTags& tags, const std::string& key, const std::string& value) {
    if (value.empty() || !TagValue(tags, key).empty()) return;
    tags.push_back({key, value});
}

// "3/12" is track (or disc) 3 of 12.
void AddNumber(TUserTags& tags, const std::string& key, const std::string& value) {
    const size_t slash = value.find('/');
    if (slash == std::string::npos) {
        Add(tags, key, value);
        return;
    }
    Add(tags, key, value.substr(0, slash));
    Add(tags, key + "_total", value.substr(slash + 1));
}

} // namespace

std::string NumberWithTotal(const TUserTags& tags, const std::string& key) {
    const std::string number = TagValue(tags, key), total = TagValue(tags, key + "_total");
    return total.empty() || number.empty() ? number : number + "/" + total;
}

std::string TagValue(const TUserTags& tags, const std::string& key) {
    for (const TUserTag& tag : tags)
        if (tag.Key == key) return tag.Value;
    return {};
}

bool IsContainerKey(const std::string& key) {
    static const char* const keys[] = {
        "major_brand", "minor_version", "compatible_brands", "handler_name", "vendor_id", "encoder",
        "encoder_options", "creation_time", "duration", "timecode", "itunsmpb", "itunnorm",
        "itunpgap", "isvbr", "wm/encodingsettings", "wm/toolname", "wm/toolversion", "wm/mediaprimaryclassid",
        "deviceconformancetemplate", "wmfsdkversion", "wmfsdkneeded",
    };
    const std::string lower = Lower(key);
    for (const char* k : keys)
        if (lower == k) return true;
    // Private frames, and the loudness and gapless notes of other programs.
    return StartsWith(lower, "id3v2_priv.") || StartsWith(lower, "itunes_") || StartsWith(lower, "wm/wmadrc") ||
           StartsWith(lower, "wmfsdk");
}

void GatherUserTags(const AVDictionary* dict, TUserTags& tags) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(dict, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        if (IsContainerKey(entry->key)) continue;
        const std::string key = CommonName(Lower(entry->key));
        if (key == "track" || key == "disc") AddNumber(tags, key, entry->value);
        else Add(tags, key, entry->value);
    }
}

const std::string& ProgramEncoderName() {
    static const std::string name = TEMBRIO_ENCODER_NAME;
    return name;
}

TTagStyle TagStyleOf(const char* muxerName) {
    const std::string name = muxerName ? muxerName : "";
    if (name == "mp3" || name == "mp2" || name == "adts") return TTagStyle::Id3;
    if (name == "wav") return TTagStyle::Riff;
    if (name == "ogg" || name == "oga" || name == "flac" || name == "opus") return TTagStyle::Vorbis;
    if (name == "asf" || name == "asf_stream") return TTagStyle::Asf;
    return TTagStyle::Generic;
}

std::vector<std::pair<std::string, std::string>> ContainerEntries(const TUserTags& tags, TTagStyle style) {
    // The names each style's readers look for; a dash: no field of its own
    // (the total goes with its number).
    struct TName {
        const char* Common;
        const char* Vorbis;
        const char* Asf;
    };
    static const TName names[] = {
        {"title", "TITLE", "Title"},
        {"artist", "ARTIST", "Author"},
        {"album", "ALBUM", "WM/AlbumTitle"},
        {"album_artist", "ALBUMARTIST", "WM/AlbumArtist"},
        {"track", "TRACKNUMBER", "WM/TrackNumber"},
        {"track_total", "TRACKTOTAL", "-"},
        {"disc", "DISCNUMBER", "WM/PartOfSet"},
        {"disc_total", "DISCTOTAL", "-"},
        {"date", "DATE", "WM/Year"},
        {"genre", "GENRE", "WM/Genre"},
        {"comment", "COMMENT", "Description"},
        {"composer", "COMPOSER", "WM/Composer"},
        {"lyrics", "LYRICS", "WM/Lyrics"},
    };
    std::vector<std::pair<std::string, std::string>> entries;
    for (const TUserTag& tag : tags) {
        const TName* known = nullptr;
        for (const TName& n : names)
            if (tag.Key == n.Common) known = &n;
        std::string key = tag.Key, value = tag.Value;
        switch (style) {
        case TTagStyle::Vorbis:
            key = known ? known->Vorbis : Upper(tag.Key);
            break;
        case TTagStyle::Asf:
            if (known) key = known->Asf;
            if (tag.Key == "disc") value = NumberWithTotal(tags, "disc");
            break;
        case TTagStyle::Riff:
            // RIFF INFO has a track number but no total.
            if (tag.Key == "track_total" || tag.Key == "disc_total") continue;
            break;
        case TTagStyle::Generic:
            if (tag.Key == "track_total" || tag.Key == "disc_total") continue;
            if (tag.Key == "track" || tag.Key == "disc") value = NumberWithTotal(tags, tag.Key);
            break;
        case TTagStyle::Id3:
            return {};
        }
        if (key != "-") entries.emplace_back(key, value);
    }
    return entries;
}
