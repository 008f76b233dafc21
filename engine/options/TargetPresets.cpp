// Target presets: the settings of the disc and camera formats ("vcd", "svcd",
// "dvd", "dv", "dv50"), each in a PAL, NTSC or film norm.
#include <cmath>
#include <cstring>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "Format.h"
#include "OptionNumbers.h"

namespace {

// Frame rates of the norms, by TNorm.
const char* const NormFrameRates[] = {"25", "30000/1001", "24000/1001"};

int RateTimes1000(AVRational rate) {
    return static_cast<int>(std::lrint(static_cast<double>(rate.num) * 1000.0 / rate.den));
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

void TCustomFFmpeg::SetTarget(const std::string& Value) {
    std::string type = TrimText(Value);
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        if (StartsWith(type, prefix)) {
            norm = std::string(prefix, std::strlen(prefix) - 1);
            type = type.substr(std::strlen(prefix));
            break;
        }
    }
    ApplyTarget(type, norm, "ntsc");
}

TCustomFFmpeg::TNorm TCustomFFmpeg::DetectNorm(const std::string& norm, const std::string& fallbackNorm) {
    if (norm == "pal") return nmPAL;
    if (norm == "ntsc") return nmNTSC;
    if (norm == "film") return nmFILM;
    if (Opt.FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
    auto decide = [](int fr, TNorm& found) {
        if (fr == 25000) found = nmPAL;
        else if (fr == 29970 || fr == 23976) found = nmNTSC;
        else return false;
        return true;
    };
    TNorm found = nmPAL;
    bool decided = decide(RateTimes1000(Opt.FrameRate), found);
    // Streams carry no codec time base any more; the stream's frame rate is
    // the same clock seen the other way round.
    for (int i = 0; !decided && i < InputFileCount; ++i) {
        const AVFormatContext* input = InputFiles[i].get();
        for (unsigned s = 0; input && !decided && s < input->nb_streams; ++s) {
            const AVStream* stream = input->streams[s];
            if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
            AVRational rate = stream->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) continue;
            decided = decide(RateTimes1000(rate), found);
        }
    }
    if (!decided) found = fallbackNorm == "film" ? nmFILM : fallbackNorm == "ntsc" ? nmNTSC : nmPAL;
    if (Opt.Verbose > 0) GlobalLogger()->LogFmt(this, llVerbose, "Assuming %s for target.", found == nmPAL ? "PAL" : "NTSC");
    return found;
}

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm, const std::string& fallbackNorm) {
    const TNorm n = DetectNorm(norm, fallbackNorm);
    const bool pal = n == nmPAL;
    auto aspectIfUnset = [&](const char* aspect) {
        if (Opt.FrameAspectRatio != 0) return;
        GlobalLogger()->LogFmt(this, llInfo, "Assuming %s for aspect ratio", aspect);
        SetAspect(aspect);
    };
    auto atLeastStereo = [&] {
        if (Opt.AudioChannels == 1) Opt.AudioChannels = 2;
    };
    if (type == "vcd") {
        SetVideoCodec("mpeg1video");
        SetAudioCodec("mp2");
        SetFormat("vcd");
        SetFrameSize(pal ? "352x288" : "352x240");
        SetFrameRate(NormFrameRates[n]);
        SetContextOption("g", pal ? "15" : "18");
        SetContextOption("b", "1150000");
        SetContextOption("maxrate", "1150000");
        SetContextOption("minrate", "1150000");
        SetContextOption("bufsize", "327680");
        SetContextOption("ab", "224000");
        Opt.AudioSampleRate = 44100;
        Opt.AudioChannels = 2;
        SetContextOption("packetsize", "2324");
        SetContextOption("muxrate", "1411200");
        // The player reads ahead 0.44 s; more makes it underflow.
        Opt.MuxPreload = 0.44f;
        aspectIfUnset("4:3");
    } else if (type == "svcd") {
        SetVideoCodec("mpeg2video");
        SetAudioCodec("mp2");
        SetFormat("svcd");
        SetFrameSize(pal ? "480x576" : "480x480");
        SetFrameRate(NormFrameRates[n]);
        SetContextOption("g", pal ? "15" : "18");
        SetContextOption("b", "2040000");
        SetContextOption("maxrate", "2516000");
        SetContextOption("minrate", "0");
        SetContextOption("bufsize", "1835008");
        SetContextOption("flags", "+scan_offset");
        SetContextOption("ab", "224000");
        Opt.AudioSampleRate = 44100;
        SetContextOption("packetsize", "2324");
        atLeastStereo();
        aspectIfUnset("4:3");
    } else if (type == "dvd") {
        SetVideoCodec("mpeg2video");
        SetAudioCodec("ac3");
        SetFormat("dvd");
        SetFrameSize(pal ? "720x576" : "720x480");
        SetFrameRate(NormFrameRates[n]);
        SetContextOption("g", pal ? "15" : "18");
        SetContextOption("b", "6000000");
        SetContextOption("maxrate", "9000000");
        SetContextOption("minrate", "0");
        SetContextOption("bufsize", "1835008");
        SetContextOption("packetsize", "2048");
        SetContextOption("muxrate", "10080000");
        SetContextOption("ab", "448000");
        Opt.AudioSampleRate = 48000;
        atLeastStereo();
        aspectIfUnset("16:9");
    } else if (type == "dv" || type == "dv50") {
        SetFormat("dv");
        SetFrameSize(pal ? "720x576" : "720x480");
        SetFrameRate(NormFrameRates[n]);
        const char* pixFmt = type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p";
        Opt.FramePixFmt = ff::av_get_pix_fmt(pixFmt);
        Opt.AudioSampleRate = 48000;
        Opt.AudioChannels = 2;
    } else {
        throw FFmpegException("Unknown target type");
    }
}
