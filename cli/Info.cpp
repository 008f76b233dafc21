// tembrio-convert --info and --list-presets.
#include <algorithm>
#include <cstring>
#include <ostream>
#include <strings.h>

#include "AVUtilStubs.h"
#include "Arguments.h"
#include "Batch.h"
#include "EmbeddedTracks.h"
#include "FFDecode.h"
#include "FFUtils.h"
#include "FormatPresets.h"
#include "ReplayGainTags.h"
#include "StopSignals.h"
#include "StreamList.h"
#include "UnicodeProtocol.h"

namespace {

void PrintFileInfo(std::ostream& out, const TFileStreamInfo& f) {
    out << "StartTime: " << f.StartTime << "\n"
        << "Duration: " << f.Duration << "\n"
        << "BitRate: " << f.BitRate << "\n"
        << "Timestamp: " << f.Timestamp << "\n"
        << "Year: " << f.Year << "\n"
        << "Track: " << f.Track << "\n"
        << "Title: " << f.Title << "\n"
        << "Author: " << f.Author << "\n"
        << "CopyrightNotice: " << f.CopyrightNotice << "\n"
        << "Comment: " << f.Comment << "\n"
        << "Album: " << f.Album << "\n"
        << "Genre: " << f.Genre << "\n";
}

void PrintAudioInfo(std::ostream& out, const TAudioStreamInfo& a) {
    out << "Audio.Language: " << a.Language << "\n"
        << "Audio.CodecDesc: " << a.CodecDesc << "\n"
        << "Audio.StartTime: " << a.StartTime << "\n"
        << "Audio.Duration: " << a.Duration << "\n"
        << "Audio.BitRate: " << a.BitRate << "\n"
        << "Audio.Channels: " << a.Channels << "\n"
        << "Audio.SampleRate: " << a.SampleRate << "\n"
        << "Audio.SampleFormat: " << a.SampleFormat << "\n";
}

void PrintVideoInfo(std::ostream& out, const TVideoStreamInfo& v) {
    out << "Video.Language: " << v.Language << "\n"
        << "Video.CodecDesc: " << v.CodecDesc << "\n"
        << "Video.StartTime: " << v.StartTime << "\n"
        << "Video.Duration: " << v.Duration << "\n"
        << "Video.BitRate: " << v.BitRate << "\n"
        << "Video.Width: " << v.Width << "\n"
        << "Video.Height: " << v.Height << "\n"
        << "Video.AspectRatio: " << v.AspectRatio << "\n"
        << "Video.PixelFormat: " << v.PixelFormat << "\n"
        << "Video.FrameRate: " << v.FrameRateNum << "/" << v.FrameRateDen << "\n";
}

// The ReplayGain tags of the file, or of its first audio stream (Ogg keeps
// its comments there), those it has; of a WAV those of its ID3 chunk.
void PrintReplayGain(std::ostream& out, const AVFormatContext* ic, const std::string& path) {
    static const std::pair<const char*, const char*> names[] = {
        {"REPLAYGAIN_TRACK_GAIN", "TrackGain"}, {"REPLAYGAIN_TRACK_PEAK", "TrackPeak"},
        {"REPLAYGAIN_ALBUM_GAIN", "AlbumGain"}, {"REPLAYGAIN_ALBUM_PEAK", "AlbumPeak"}};
    const AVDictionary* audio = nullptr;
    for (unsigned i = 0; i < ic->nb_streams && !audio; ++i)
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) audio = ic->streams[i]->metadata;
    const bool wav = ic->iformat && std::strcmp(ic->iformat->name, "wav") == 0;
    const auto chunk = wav ? WavReplayGainTags(path) : std::vector<std::pair<std::string, std::string>>{};
    for (const auto& [tag, shown] : names) {
        const AVDictionaryEntry* entry = ff::av_dict_get(ic->metadata, tag, nullptr, 0);
        if (!entry && audio) entry = ff::av_dict_get(audio, tag, nullptr, 0);
        if (entry) {
            out << "ReplayGain." << shown << ": " << entry->value << "\n";
            continue;
        }
        for (const auto& [name, value] : chunk)
            if (strcasecmp(name.c_str(), tag) == 0) {
                out << "ReplayGain." << shown << ": " << value << "\n";
                break;
            }
    }
}

// Every stream on a line of its own, then the cover the converter would carry.
void PrintStreams(std::ostream& out, const AVFormatContext* ic) {
    const std::vector<TStreamEntry> streams = ListStreams(ic);
    out << "Streams: " << streams.size() << "\n";
    for (const TStreamEntry& s : streams) {
        out << "Stream." << s.Index << ": " << s.Kind << ", " << s.Codec;
        if (s.SampleRate > 0) out << ", " << s.SampleRate << " Hz";
        if (s.Channels > 0) out << ", " << s.Channels << (s.Channels == 1 ? " channel" : " channels");
        if (s.Width > 0 && s.Height > 0) out << ", " << s.Width << "x" << s.Height;
        if (s.BitRate > 0) out << ", " << s.BitRate << " bit/s";
        if (!s.Language.empty()) out << ", language " << s.Language;
        if (s.Picture) out << ", attached picture of " << s.PictureBytes << " bytes";
        out << "\n";
    }
    const int cover = CoverStreamIndex(ic);
    if (cover < 0) {
        out << "Cover: none\n";
        return;
    }
    const TStreamEntry& c = streams[cover];
    out << "Cover: " << c.Width << "x" << c.Height << ", " << c.Codec << ", " << c.PictureBytes << " bytes (stream "
        << c.Index << ")\n";
}

// "01" for track 1 of 15, "001" for track 1 of 150: as the outputs number them.
std::string TrackLabel(const TSourceTrack& track) {
    const size_t width = std::max<size_t>(2, std::to_string(std::max(track.Total, track.Number)).size());
    const std::string number = std::to_string(track.Number);
    return std::string(number.size() < width ? width - number.size() : 0, '0') + number;
}

// The tracks of a file of `duration` microseconds (-1: unknown), each with
// its title, performer and length.
void PrintTracks(std::ostream& out, const std::vector<TSourceTrack>& tracks, int64_t duration) {
    out << "Tracks: " << tracks.size() << "\n";
    for (const TSourceTrack& track : tracks) {
        const std::string key = "Track." + TrackLabel(track);
        const int64_t length = TrackDuration(track, duration);
        out << key << ".Title: " << track.Title << "\n"
            << key << ".Performer: " << track.Performer << "\n"
            << key << ".Length: " << (length >= 0 ? TimeText(length) : "N/A") << "\n";
    }
}

} // namespace

int PrintInfo(const std::vector<TSourceFile>& files, bool splitChapters, std::ostream& out, std::ostream& err) {
    TFFDecoder probe;
    TStopCheck stopCheck;
    int status = 0;
    for (size_t i = 0; i < files.size();) {
        const TSourceFile& source = files[i];
        const std::string& file = source.Path;
        if (StopRequested()) return 1;
        if (!source.Problem.empty()) {
            err << ShownName(source.Problem) << "\n";
            status = 1;
            ++i;
            continue;
        }
        out << "File: " << ShownName(file) << "\n";
        const bool loaded = probe.LoadFile(Utf8ToWide(file));
        if (!loaded) {
            if (StopRequested()) return 1;  // the probe gave up because of the stop
            err << ShownName(probe.LastErrMsg()) << "\n";
            status = 1;
        }
        TFileStreamInfo info;
        const int64_t duration = loaded && probe.GetFileStreamInfo(info) ? info.Duration : -1;
        if (source.Track) {
            // A sheet's tracks of one image are listed together, under it.
            std::vector<TSourceTrack> tracks;
            for (; i < files.size() && files[i].Track && files[i].Problem.empty() && files[i].Path == file; ++i)
                tracks.push_back(*files[i].Track);
            PrintTracks(out, tracks, duration);
        } else {
            ++i;
            if (!loaded) {
                out << "\n";
                continue;
            }
            PrintFileInfo(out, info);
            TAudioStreamInfo audio;
            if (probe.FirstAudioStream() >= 0 && probe.GetAudioStreamInfo(probe.FirstAudioStream(), audio))
                PrintAudioInfo(out, audio);
            TVideoStreamInfo video;
            if (probe.FirstVideoStream() >= 0 && probe.GetVideoStreamInfo(probe.FirstVideoStream(), video))
                PrintVideoInfo(out, video);
            PrintReplayGain(out, probe.FormatContext(), file);
            PrintStreams(out, probe.FormatContext());
            std::string problem;
            const std::vector<TSourceTrack> tracks = EmbeddedTracks(file, probe, splitChapters, &problem);
            if (!problem.empty()) err << ShownName(problem) << "\n";
            if (!tracks.empty()) PrintTracks(out, tracks, duration);
        }
        probe.CloseFile();
        out << "\n";
    }
    return status;
}

// The preset taken without -p is marked "*".
void PrintPresets(std::ostream& out) {
    const auto& table = PresetTable();
    for (size_t code = 0; code < table.size(); ++code) {
        const TFormatPresets& format = table[code];
        out << format.Name << (format.KeepsPicture ? " (video):\n" : ":\n");
        const size_t chosen = static_cast<size_t>(DefaultPreset(static_cast<int>(code)));
        for (size_t i = 0; i < format.Items.size(); ++i)
            out << (i == chosen ? "* " : "  ") << i << "  " << format.Items[i].Text << "\n";
    }
}
