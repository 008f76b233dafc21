#include "LoudnessChoice.h"

#include <algorithm>

#include "Format.h"
#include "UserTags.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Option lines that choose codecs, containers or passes: the measuring pass
// has its own, and writes nothing.
bool ChoosesCoding(const std::string& key) {
    static const char* const keys[] = {"acodec", "vcodec",  "scodec",   "apre",      "vpre",     "spre",
                                       "f",      "target",  "newvideo", "newaudio",  "newsubtitle",
                                       "pass",   "passlogfile", "vstats", "vstats_file", "sample_fmt"};
    return std::any_of(std::begin(keys), std::end(keys), [&](const char* k) { return key == k; });
}

} // namespace

const std::vector<int>& NormaliseTargets() {
    static const std::vector<int> targets = {-23, -18, -16, -14};
    return targets;
}

TProbedFile MeasuringRecords(const TProbedFile& file) {
    TProbedFile measuring;
    measuring.Loaded = file.Loaded;
    measuring.Input = file.Input;
    const TOutputOptions& o = file.Output;
    TOutputOptions& m = measuring.Output;
    // Named as the output, for the log; the null container makes no file.
    m.FileName = o.FileName;
    m.FileFormat = "null";
    // Floating point: the meter sees what goes beyond full scale, as the
    // encoder of a lossy format does.
    m.AudioCodec = "pcm_f32le";
    m.AudioChannels = o.AudioChannels;
    m.AudioSampleRate = o.AudioSampleRate;
    m.AudioSync = o.AudioSync;
    m.AudioVolume = o.AudioVolume;
    m.AudioLanguage = o.AudioLanguage;
    m.DisableVideo = true;
    m.DisableSubtitle = true;
    m.StartTime = o.StartTime;
    m.RecordingTime = o.RecordingTime;
    m.InputSync = o.InputSync;
    m.MeasureLoudness = true;
    // What shapes the sound stays: rate, channels, streams, volume, times.
    for (const TOptionLine& line : ParseOptionText(o.ExtOptions))
        if (!ChoosesCoding(line.Key)) m.ExtOptions += (m.ExtOptions.empty() ? "" : "\n") + line.Key + "=" + line.Value;
    return measuring;
}

double NormalisingGain(const TLoudness& measured, int target, std::string& notice) {
    notice.clear();
    if (!measured.Measured || measured.Silent()) {
        notice = "Too quiet to be measured: its level is kept";
        return 0;
    }
    const double wanted = target - measured.Integrated;
    const double room = NormalisedPeakCeiling - DecibelsOf(measured.TruePeak);
    if (wanted <= room) return wanted;
    notice = Format("Normalised with a gain of %+.2f dB instead of %+.2f dB, so that its true peak stays at %.0f dBTP",
                    room, wanted, NormalisedPeakCeiling);
    return room;
}

std::string SourceFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + (slash == 0));
}

std::string AlbumKeyOf(const AVFormatContext* ic, const std::string& path, std::string& name,
                       const TSourceTrack* track) {
    name.clear();
    if (!ic) return {};
    TUserTags tags;
    GatherUserTags(ic->metadata, tags);
    // Ogg and FLAC-in-Ogg keep their comments with the stream.
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            GatherUserTags(ic->streams[i]->metadata, tags);
            break;
        }
    name = track && !track->Album.empty() ? track->Album : TagValue(tags, "album");
    const std::string artist =
        track && !track->AlbumArtist.empty() ? track->AlbumArtist : TagValue(tags, "album_artist");
    if (!name.empty()) return SourceFolderOf(path) + '\n' + name + '\n' + artist;
    if (!track) return {};
    // An image is an album, whatever its sheet calls it; the key cannot be
    // one of a named album (no album name has a line end in front).
    const size_t slash = path.find_last_of('/');
    name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return SourceFolderOf(path) + "\n\n" + path;
}
