// Option handlers for codecs, rates, encoder passes, statistics files, video
// hooks, stream ids and bit-stream filters.
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "StreamHelpers.h"
#include "Format.h"
#include "OptionNumbers.h"

namespace {

// The folder of the running program, with a trailing separator.
std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "./";
    path.resize(static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

// Splits a "vhook" value into the module name and its arguments; blanks and
// "|" both separate, and runs of them count once.
std::vector<std::string> HookArguments(const std::string& value) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < value.size()) {
        i = value.find_first_not_of(" |", i);
        if (i == std::string::npos) break;
        const size_t end = value.find_first_of(" |", i);
        args.push_back(value.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? value.size() : end;
    }
    return args;
}

} // namespace

void TCustomFFmpeg::OptThreads(const std::string&, const std::string& value) {
    Opt.ThreadCount = StrToIntOrRaise(value);
    if (Opt.Verbose >= 0)
        GlobalLogger()->Log(this, llVerbose,
                            "Warning: if the ffmpeg libraries were not compiled with thread support, it would be "
                            "using thread emulation.");
}

void TCustomFFmpeg::OptBitrate(const std::string& name, const std::string& value) {
    if (!SetContextOption(name, value)) {
        RaiseUnlessAccepted(false, name);
        return;
    }
    const int type = name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    int64_t bitRate = 0;
    if (ff::av_opt_get_int(Options->CodecDefaults[type].get(), "b", 0, &bitRate) >= 0 && bitRate < 1000)
        GlobalLogger()->Log(this, llWarning,
                            "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TCustomFFmpeg::OptCodec(const std::string& name, const std::string& value) {
    if (name[0] == 'v') SetVideoCodec(value);
    else if (name[0] == 'a') SetAudioCodec(value);
    else SetSubtitleCodec(value);
}

namespace {

void SetCodecOfKind(std::string& codecName, int& streamCopy, const std::string& value) {
    if (value.empty()) return;
    codecName.clear();
    if (value == "copy") streamCopy = 1;
    else codecName = value;
}

} // namespace

void TCustomFFmpeg::SetVideoCodec(const std::string& Value) { SetCodecOfKind(Opt.VideoCodecName, Opt.VideoStreamCopy, Value); }
void TCustomFFmpeg::SetAudioCodec(const std::string& Value) { SetCodecOfKind(Opt.AudioCodecName, Opt.AudioStreamCopy, Value); }
void TCustomFFmpeg::SetSubtitleCodec(const std::string& Value) {
    SetCodecOfKind(Opt.SubtitleCodecName, Opt.SubtitleStreamCopy, Value);
}

void TCustomFFmpeg::OptPass(const std::string&, const std::string& value) {
    int pass = 0;
    if (!TryStrToInt(value, pass) || (pass != 1 && pass != 2))
        throw FFmpegException("pass number can be only 1 or 2");
    Opt.Pass = pass;
}

void TCustomFFmpeg::OptVstats(const std::string&, const std::string& value) {
    Opt.VstatsFileName.clear();
    if (!SwitchValue(value)) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string clock = Format("%.2d%.2d%.2d", local.tm_hour, local.tm_min, local.tm_sec);
    // An installed program's folder is not the user's to write in: the
    // statistics then go to the current folder.
    const std::string folder = ProgramFolder();
    Opt.VstatsFileName = Format("%svstats_%s.log", access(folder.c_str(), W_OK) == 0 ? folder : std::string(), clock);
}

void TCustomFFmpeg::OptVstatsFile(const std::string&, const std::string& value) { Opt.VstatsFileName = value; }

void TCustomFFmpeg::OptVideoHook(const std::string&, const std::string& value) {
    std::vector<std::string> args = HookArguments(value);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (AddFrameHook(VideoHooks, static_cast<int>(args.size()), argv.data()) != 0)
        throw FFmpegException("Failed to add video hook function: " + value);
    Opt.VideoHookActive = true;
}

void TCustomFFmpeg::OptNewStream(const std::string& name, const std::string&) {
    if (OutputFileCount <= 0) throw FFmpegException("At least one output file must be specified");
    const TMediaKind kind = name == "newvideo" ? mkVideo : name == "newaudio" ? mkAudio : mkSubtitle;
    NewStreamOfKind(kind, OutputFileCount - 1);
}

void TCustomFFmpeg::OptStreamId(const std::string& name, const std::string& value) {
    if (value.empty()) return;
    const size_t colon = value.find(':');
    int index = 0, id = 0;
    const bool valid = colon != std::string::npos && TryStrToInt(value.substr(0, colon), index) &&
                       TryStrToInt(value.substr(colon + 1), id);
    // A negative index would address no stream at all.
    if (!valid || index < 0)
        throw FFmpegException(
            Format("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"", value, name));
    GrowList(Opt.StreamIdMap, static_cast<int64_t>(index) + 1);
    Opt.StreamIdMap[index] = id;
}

void TCustomFFmpeg::OptAudioRate(const std::string&, const std::string& value) { SetAudioRate(StrToIntOrRaise(value)); }

void TCustomFFmpeg::OptAudioChannels(const std::string&, const std::string& value) {
    SetAudioChannels(StrToIntOrRaise(value));
}

void TCustomFFmpeg::SetAudioRate(int Rate) {
    if (Rate > 0) Opt.AudioSampleRate = Rate;
}

void TCustomFFmpeg::SetAudioChannels(int Channels) {
    if (Channels > 0) Opt.AudioChannels = Channels;
}

void TCustomFFmpeg::OptVideoStandard(const std::string&, const std::string& value) { Opt.VideoStandard = value; }

void TCustomFFmpeg::OptBitstreamFilter(const std::string& name, const std::string& value) {
    if (value.empty() || value[0] == '=') return;
    // Arguments after "=" are not used: the chain only needs the filter.
    const std::string filterName = value.substr(0, value.find('='));
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(filterName.c_str());
    if (!filter) throw FFmpegException(Format("Unknown bitstream filter %s", TrimText(value)));
    AVBSFContext* context = nullptr;
    const int ret = ff::av_bsf_alloc(filter, &context);
    if (ret < 0) throw FFmpegException(LibraryErrorText("av_bsf_alloc", ret));
    BsfContextPtr owned(context);
    TBitstreamFilterChain& chain = name[0] == 'v'   ? Opt.VideoBitstreamFilters
                                   : name[0] == 'a' ? Opt.AudioBitstreamFilters
                                                    : Opt.SubtitleBitstreamFilters;
    chain.push_back(std::move(owned));
}

void TCustomFFmpeg::OptTarget(const std::string&, const std::string& value) { SetTarget(value); }

void TCustomFFmpeg::OptPreset(const std::string& name, const std::string& value) { SetPreset(name, value); }
