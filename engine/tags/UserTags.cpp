#include "UserTags.h"

#include <algorithm>
#include <cctype>

#include "AVUtilStubs.h"
#include "TextEncoding.h"

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

// A language code as ID3 frames carry it: three lower-case letters.
bool IsLanguageCode(const std::string& text) {
    return text.size() == 3 && std::all_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The common name of a tag, from the names sources of every kind give it
// (already lower case); "" for a tag without one.
std::string CommonName(const std::string& key, std::string& language) {
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
    if (IsCommonTag(key)) return key;
    // The ID3 reader names lyrics (and some writers comments) with their
    // language: "lyrics-eng", "lyrics-description-eng".
    for (const char* prefix : {"lyrics-", "comment-"}) {
        if (!StartsWith(key, prefix)) continue;
        const std::string code = key.substr(key.rfind('-') + 1);
        if (IsLanguageCode(code)) language = code;
        return std::string(prefix, std::char_traits<char>::length(prefix) - 1);
    }
    return {};
}

void Add(TUserTags& tags, const std::string& key, const std::string& value, const std::string& language = {}) {
    if (value.empty() || !TagValue(tags, key).empty()) return;
    tags.push_back({key, value, language});
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

const std::vector<std::string>& CommonTagNames() {
    static const std::vector<std::string> names = {
        "title",     "artist",    "album",      "album_artist", "track",    "track_total", "disc",
        "disc_total", "date",     "genre",      "comment",      "composer", "lyrics",      "copyright",
        "publisher", "performer", "encoded_by", "language",     "grouping", "compilation", "lyricist",
    };
    return names;
}

bool IsCommonTag(const std::string& key) {
    const auto& names = CommonTagNames();
    return std::find(names.begin(), names.end(), key) != names.end();
}

std::string NumberWithTotal(const TUserTags& tags, const std::string& key) {
    const std::string number = TagValue(tags, key), total = TagValue(tags, key + "_total");
    return total.empty() || number.empty() ? number : number + "/" + total;
}

std::string TagValue(const TUserTags& tags, const std::string& key) {
    const std::string lower = Lower(key);
    for (const TUserTag& tag : tags)
        if (Lower(tag.Key) == lower) return tag.Value;
    return {};
}

std::string ExtraTagName(const std::string& key) {
    const std::string lower = Lower(key);
    for (const char* prefix : {"replaygain_", "r128_", "musicbrainz_", "acoustid_"})
        if (StartsWith(lower, prefix)) return Upper(key);
    for (const char* name : {"isrc", "barcode", "catalognumber", "asin"})
        if (lower == name) return Upper(key);
    return key;
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
        std::string language;
        const std::string common = CommonName(Lower(entry->key), language);
        // RIFF INFO comes as its bytes: older programs wrote it in the Western code page.
        const std::string value = LegacyTextToUtf8(entry->value);
        if (common == "track" || common == "disc") AddNumber(tags, common, value);
        else Add(tags, common.empty() ? entry->key : common, value, language);
    }
}

bool HasPrefixIgnoringCase(const std::string& key, const char* prefix) {
    return StartsWith(Lower(key.substr(0, std::char_traits<char>::length(prefix))), prefix);
}

bool IsWholeFileTag(const std::string& key) {
    const std::string lower = Lower(key);
    std::string language;
    const std::string common = CommonName(lower, language);
    return common == "title" || common == "track" || common == "track_total" || common == "lyrics" ||
           lower == "cuesheet" || StartsWith(lower, "replaygain_") || StartsWith(lower, "r128_");
}

void CopySourceTags(AVDictionary** to, const AVDictionary* from, bool stretch) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(from, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        if (stretch && IsWholeFileTag(entry->key)) continue;
        ff::av_dict_set(to, entry->key, entry->value, AV_DICT_DONT_OVERWRITE);
    }
}

void ReplaceUserTags(TUserTags& tags, const TGivenTags& given) {
    for (const auto& [name, value] : given) {
        std::string language;
        const std::string common = CommonName(Lower(name), language);
        const std::string key = common.empty() ? name : common;
        const bool number = key == "track" || key == "disc";
        const bool withTotal = number && value.find('/') != std::string::npos;
        std::erase_if(tags, [&](const TUserTag& tag) {
            const std::string lower = Lower(tag.Key);
            return lower == Lower(key) || (withTotal && lower == key + "_total");
        });
        if (withTotal) AddNumber(tags, key, value);
        else Add(tags, key, value);
    }
}

const std::string& ProgramEncoderName() {
    static const std::string name = TEMBRIO_ENCODER_NAME;
    return name;
}
