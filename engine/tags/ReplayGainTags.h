#pragma once
// ReplayGain 2.0 in the tags, under the names players read: Vorbis comments,
// TXXX frames, "----:com.apple.iTunes:" atoms and WM attributes all named
// REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK, REPLAYGAIN_ALBUM_GAIN and
// REPLAYGAIN_ALBUM_PEAK (a WAV's RIFF INFO has no field for them; its ID3
// chunk has). The gain is to the reference loudness, the peak the true peak.
#include <string>
#include <utility>
#include <vector>

#include "Loudness.h"
#include "TagFormat.h"
#include "UserTags.h"

// Takes out of `tags` the ReplayGain notes a source brought and, when the
// level of the audio changes, also its R128 gains.
void DropLoudnessTags(TUserTags& tags, bool levelChanged);

// Puts the track gain and peak of `loudness` into `tags`, in place of any.
void SetTrackReplayGain(TUserTags& tags, const TLoudness& loudness);

// Writes an album's gain and peak into the finished file `path`, whose tags
// are of `format`, leaving its other tags as they are. Raises Exception with
// the reason when the file cannot be read as its format or not be saved.
void WriteAlbumReplayGain(const std::string& path, TTagFormat format, double albumLufs, double albumPeak);

// The ReplayGain tags in the ID3 chunk of the WAV file `path` (the media
// libraries read only its RIFF INFO), by name; none when it has none or
// cannot be read.
std::vector<std::pair<std::string, std::string>> WavReplayGainTags(const std::string& path);
