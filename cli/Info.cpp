// tembrio-convert --info and --list-presets.
#include <ostream>

#include "Batch.h"
#include "FFDecode.h"
#include "FormatPresets.h"
#include "StopSignals.h"
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

} // namespace

int PrintInfo(const std::vector<TSourceFile>& files, std::ostream& out, std::ostream& err) {
    TFFDecoder probe;
    TStopCheck stopCheck;
    int status = 0;
    for (const TSourceFile& source : files) {
        const std::string& file = source.Path;
        if (StopRequested()) return 1;
        out << "File: " << ShownName(file) << "\n";
        if (!probe.LoadFile(Utf8ToWide(file))) {
            if (StopRequested()) return 1;  // the probe gave up because of the stop
            err << ShownName(probe.LastErrMsg()) << "\n";
            status = 1;
            out << "\n";
            continue;
        }
        TFileStreamInfo info;
        if (probe.GetFileStreamInfo(info)) PrintFileInfo(out, info);
        TAudioStreamInfo audio;
        if (probe.FirstAudioStream() >= 0 && probe.GetAudioStreamInfo(probe.FirstAudioStream(), audio))
            PrintAudioInfo(out, audio);
        TVideoStreamInfo video;
        if (probe.FirstVideoStream() >= 0 && probe.GetVideoStreamInfo(probe.FirstVideoStream(), video))
            PrintVideoInfo(out, video);
        probe.CloseFile();
        out << "\n";
    }
    return status;
}

void PrintPresets(std::ostream& out) {
    for (const TFormatPresets& format : PresetTable()) {
        out << format.Name << (format.KeepsPicture ? " (video):\n" : ":\n");
        for (size_t i = 0; i < format.Items.size(); ++i) out << "  " << i << "  " << format.Items[i].Text << "\n";
    }
}
