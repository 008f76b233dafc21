#pragma once
// The tags a listener cares about (title, artist, album, track, …), gathered
// from whatever names a source gives them and written back under the names
// the players of each container read. What a container keeps for itself
// (brands, handler names, the encoder of the source, gapless data) is no tag.
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
}

// One tag under its common name: "title", "artist", "album", "album_artist",
// "track", "track_total", "disc", "disc_total", "date", "genre", "comment",
// "composer", "lyrics", or any other name in lower case.
struct TUserTag {
    std::string Key;
    std::string Value;
};
using TUserTags = std::vector<TUserTag>;

// The value of `key` in `tags`, "" when absent.
std::string TagValue(const TUserTags& tags, const std::string& key);

// Track or disc `key` with its total, "3/12", or the number alone.
std::string NumberWithTotal(const TUserTags& tags, const std::string& key);

// True for keys a demuxer reports about its container or the program that
// wrote the file, never a user's tag ("major_brand", "handler_name", "encoder", …).
bool IsContainerKey(const std::string& key);

// Adds the tags of `dict` that `tags` does not have yet, under their common
// names: "3/12" in a track or disc number becomes the number and its total.
void GatherUserTags(const AVDictionary* dict, TUserTags& tags);

// The name and version of this program, as its files name their encoder.
const std::string& ProgramEncoderName();

// How a container carries tags.
enum class TTagStyle {
    Id3,        // an ID3v2 tag the engine writes itself (MP3, MP2, raw AAC)
    Riff,       // RIFF INFO from the muxer, and an ID3v2 chunk the engine adds (WAV)
    Vorbis,     // Vorbis comments (Ogg, FLAC)
    Asf,        // ASF attributes (WMA)
    Generic,    // the library's common names (MP4/M4A, Matroska, …)
};
TTagStyle TagStyleOf(const char* muxerName);

// `tags` as the entries of a container's metadata in style `style` (not Id3,
// which keeps none there), in the names that style's readers look for.
std::vector<std::pair<std::string, std::string>> ContainerEntries(const TUserTags& tags, TTagStyle style);
