#pragma once
// The tags a listener cares about (title, artist, album, track, …), gathered
// from whatever names a source gives them. What a container keeps for itself
// (brands, handler names, the encoder of the source, gapless data) is no tag.
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
}

// One tag: under its common name ("title", "artist", "album", "album_artist",
// "track", "track_total", "disc", "disc_total", "date", "genre", "comment",
// "composer", "lyrics", "copyright", … : those of CommonTagNames) or, for any
// other tag, under the name the source gave it, in the source's case.
struct TUserTag {
    std::string Key;
    std::string Value;
    std::string Language;  // comment and lyrics: the ISO 639-2 code the source gave them, if any
};
using TUserTags = std::vector<TUserTag>;

// The common names, in the order formats list them.
const std::vector<std::string>& CommonTagNames();
bool IsCommonTag(const std::string& key);

// The value of `key` in `tags` (any case), "" when absent.
std::string TagValue(const TUserTags& tags, const std::string& key);

// Track or disc `key` with its total, "3/12", or the number alone.
std::string NumberWithTotal(const TUserTags& tags, const std::string& key);

// The name a tag without a common name is written under: the source's, in
// its case; but the names players match in upper case only
// (REPLAYGAIN_TRACK_GAIN, …) in upper case, whatever the source's case.
std::string ExtraTagName(const std::string& key);

// Whether `key` begins with `prefix` (lower case), whatever the key's case.
bool HasPrefixIgnoringCase(const std::string& key, const char* prefix);

// True for keys a demuxer reports about its container or the program that
// wrote the file, never a user's tag ("major_brand", "handler_name", "encoder", …).
bool IsContainerKey(const std::string& key);

// Adds the tags of `dict` that `tags` does not have yet: "3/12" in a track or
// disc number becomes the number and its total, "lyrics-eng" the lyrics in
// English.
void GatherUserTags(const AVDictionary* dict, TUserTags& tags);

// Whether a source's tag `key` tells of the whole file rather than of any
// stretch of it: its title, track number and total, lyrics, cue sheet and
// loudness (ReplayGain, R128). A track cut from an album image has none of these.
bool IsWholeFileTag(const std::string& key);

// Copies into `to` the entries of the source's `from` that `to` lacks; of a
// source only a stretch of which is converted (`stretch`), not those of the
// whole file.
void CopySourceTags(AVDictionary** to, const AVDictionary* from, bool stretch);

// Tags given for an output by their common names ("title", "track", …, or
// any other name), in place of the source's: an empty value leaves the tag
// out. "3/12" in a track or disc number is the number and its total.
using TGivenTags = std::vector<std::pair<std::string, std::string>>;
void ReplaceUserTags(TUserTags& tags, const TGivenTags& given);

// The name and version of this program, as its files name their encoder.
const std::string& ProgramEncoderName();
