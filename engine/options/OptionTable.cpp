// The option table of a task: every option name with the family that parses
// its value and the task value it sets, and the dispatcher over it.
#include <unordered_map>
#include <variant>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "Format.h"
#include "OptionNumbers.h"

namespace {

// Marks an option that only logs that it does nothing.
struct TNoEffect {};

} // namespace

// One row of the table: a handler, or the task value a plain family sets.
using THandler = void (TCustomFFmpeg::*)(const std::string& name, const std::string& value);
struct TCustomFFmpeg::TOptionEntry {
    std::variant<THandler,
                 bool TOptionValues::*,           // switch
                 int TOptionValues::*,            // integer
                 float TOptionValues::*,          // floating point
                 std::string TOptionValues::*>    // text, taken unchanged
        Target;
};

const TCustomFFmpeg::TOptionEntry* TCustomFFmpeg::FindOption(const std::string& name) {
    using T = TCustomFFmpeg;
    using V = TOptionValues;
    static const std::unordered_map<std::string, TOptionEntry> table = {
        // no effect
        {"L", {&T::OptNoEffect}}, {"h", {&T::OptNoEffect}}, {"version", {&T::OptNoEffect}},
        {"formats", {&T::OptNoEffect}}, {"codecs", {&T::OptNoEffect}}, {"bsfs", {&T::OptNoEffect}},
        {"protocols", {&T::OptNoEffect}}, {"filters", {&T::OptNoEffect}}, {"i", {&T::OptNoEffect}},
        {"y", {&T::OptNoEffect}}, {"benchmark", {&T::OptNoEffect}},
        {"timelimit", {&T::OptTimeLimit}}, {"loglevel", {&T::OptLogLevel}},
        // switches
        {"dump", {&V::PacketDump}}, {"hex", {&V::HexDump}}, {"re", {&V::RateEmulation}},
        {"loop_input", {&V::LoopInput}}, {"copyts", {&V::CopyTs}}, {"copytb", {&V::CopyTb}},
        {"shortest", {&V::Shortest}}, {"xerror", {&V::ExitOnError}}, {"intra", {&V::IntraOnly}},
        {"vn", {&V::VideoDisable}}, {"sameq", {&V::SameQuality}}, {"deinterlace", {&V::Deinterlace}},
        {"psnr", {&V::Psnr}}, {"qphist", {&V::QpHistogram}}, {"force_fps", {&V::ForceFps}},
        {"an", {&V::AudioDisable}}, {"sn", {&V::SubtitleDisable}}, {"isync", {&V::InputSync}},
        // integers
        {"v", {&V::Verbose}}, {"loop_output", {&V::LoopOutput}}, {"vsync", {&V::VideoSyncMethod}},
        {"async", {&V::AudioSyncMethod}}, {"vglobal", {&V::VideoGlobalHeader}}, {"programid", {&V::ProgramId}},
        {"copyinkf", {&V::CopyInitialNonKeyframes}}, {"vdt", {&V::VideoDiscard}}, {"dc", {&V::IntraDcPrecision}},
        {"top", {&V::TopFieldFirst}}, {"me_threshold", {&V::MeThreshold}}, {"vol", {&V::AudioVolume}},
        {"vc", {&V::VideoChannel}},
        {"vframes", {&T::OptMaxFrames}}, {"aframes", {&T::OptMaxFrames}}, {"dframes", {&T::OptMaxFrames}},
        {"fs", {&T::OptFileSize}},
        // floating point
        {"adrift_threshold", {&V::AudioDriftThreshold}}, {"dts_delta_threshold", {&V::DtsDeltaThreshold}},
        {"aq", {&V::AudioQscale}}, {"muxdelay", {&V::MuxMaxDelay}}, {"muxpreload", {&V::MuxPreload}},
        // texts
        {"passlogfile", {&V::PassLogPrefix}}, {"vlang", {&V::VideoLanguage}}, {"alang", {&V::AudioLanguage}},
        {"slang", {&V::SubtitleLanguage}}, {"force_key_frames", {&V::ForcedKeyFrames}},
        // own handlers
        {"f", {&T::OptFormat}}, {"map", {&T::OptMap}}, {"map_meta_data", {&T::OptMapMetadata}},
        {"map_chapters", {&T::OptMapChapters}}, {"t", {&T::OptTime}}, {"ss", {&T::OptTime}},
        {"itsoffset", {&T::OptTime}}, {"timestamp", {&T::OptTime}}, {"itsscale", {&T::OptInputTsScale}},
        {"metadata", {&T::OptMetadata}}, {"target", {&T::OptTarget}}, {"threads", {&T::OptThreads}},
        {"b", {&T::OptBitrate}}, {"vb", {&T::OptBitrate}}, {"ab", {&T::OptBitrate}},
        {"r", {&T::OptFrameRate}}, {"s", {&T::OptFrameSize}}, {"aspect", {&T::OptAspect}},
        {"pix_fmt", {&T::OptPixelFormat}}, {"sample_fmt", {&T::OptSampleFormat}},
        {"croptop", {&T::OptCrop}}, {"cropbottom", {&T::OptCrop}}, {"cropleft", {&T::OptCrop}},
        {"cropright", {&T::OptCrop}}, {"padtop", {&T::OptPad}}, {"padbottom", {&T::OptPad}},
        {"padleft", {&T::OptPad}}, {"padright", {&T::OptPad}}, {"padcolor", {&T::OptPad}},
        {"qscale", {&T::OptQscale}}, {"rc_override", {&T::OptRcOverride}},
        {"vcodec", {&T::OptCodec}}, {"acodec", {&T::OptCodec}}, {"scodec", {&T::OptCodec}},
        {"pass", {&T::OptPass}}, {"vstats", {&T::OptVstats}}, {"vstats_file", {&T::OptVstatsFile}},
        {"vhook", {&T::OptVideoHook}}, {"vfilters", {&T::OptVideoFilters}}, {"vf", {&T::OptVideoFilters}},
        {"intra_matrix", {&T::OptMatrix}}, {"inter_matrix", {&T::OptMatrix}},
        {"vtag", {&T::OptTag}}, {"atag", {&T::OptTag}}, {"stag", {&T::OptTag}},
        {"newvideo", {&T::OptNewStream}}, {"newaudio", {&T::OptNewStream}}, {"newsubtitle", {&T::OptNewStream}},
        {"streamid", {&T::OptStreamId}}, {"ar", {&T::OptAudioRate}}, {"ac", {&T::OptAudioChannels}},
        {"tvstd", {&T::OptVideoStandard}},
        {"absf", {&T::OptBitstreamFilter}}, {"vbsf", {&T::OptBitstreamFilter}}, {"sbsf", {&T::OptBitstreamFilter}},
        {"apre", {&T::OptPreset}}, {"vpre", {&T::OptPreset}}, {"spre", {&T::OptPreset}}, {"fpre", {&T::OptPreset}},
    };
    auto found = table.find(name);
    return found == table.end() ? nullptr : &found->second;
}

void TCustomFFmpeg::SetOption(const std::string& Name, const std::string& Value) {
    const TOptionEntry* entry = FindOption(Name);
    if (!entry) {
        RaiseUnlessAccepted(SetContextOption(Name, Value), Name);
        return;
    }
    std::visit(
        [&](auto target) {
            using V = decltype(target);
            if constexpr (std::is_same_v<V, THandler>) {
                (this->*target)(Name, Value);
            } else if constexpr (std::is_same_v<V, bool TOptionValues::*>) {
                Opt.*target = SwitchValue(Value);
            } else if constexpr (std::is_same_v<V, int TOptionValues::*>) {
                Opt.*target = StrToIntOrRaise(Value);
            } else if constexpr (std::is_same_v<V, float TOptionValues::*>) {
                Opt.*target = static_cast<float>(StrToFloatOrRaise(Value));
            } else {
                Opt.*target = Value;
            }
        },
        entry->Target);
}

void TCustomFFmpeg::RaiseUnlessAccepted(bool accepted, const std::string& name) {
    if (accepted || !StrictOptions) return;
    // The generic setter leaves no text for a blank name; do not report the
    // text of some earlier option instead.
    if (TrimText(name).empty()) throw FFmpegException(Format("Unrecognized option \"%s\"", name));
    throw FFmpegException(LastOptionMessage());
}

bool TCustomFFmpeg::SetContextOption(const std::string& Name, const std::string& Value) {
    if (!Options) return false;
    TCLocaleScope numbersInC;
    return SetGenericOption(*Options, Name, Value);
}

bool TCustomFFmpeg::SetIntContextOption(const std::string& Name, int64_t Number) {
    return SetContextOption(Name, Format("%d", Number));
}

// ---- options without effect ----

void TCustomFFmpeg::OptNoEffect(const std::string& name, const std::string&) {
    GlobalLogger()->Log(this, llInfo, "Do nothing: option - " + name);
}

void TCustomFFmpeg::OptTimeLimit(const std::string&, const std::string&) {
    GlobalLogger()->Log(this, llWarning, "Warning: -timelimit not implemented on Windows");
}

void TCustomFFmpeg::OptLogLevel(const std::string&, const std::string& value) {
    try {
        GlobalLogger()->SetLogLevelByName(value);
    } catch (const FFmpegException&) {
        throw;
    } catch (const Exception& e) {
        throw FFmpegException(e.Message());
    }
}

// ---- integer options with a target of their own ----

void TCustomFFmpeg::OptMaxFrames(const std::string& name, const std::string& value) {
    const int kind = name[0] == 'v' ? mkVideo : name[0] == 'a' ? mkAudio : mkData;
    Opt.MaxFrames[kind] = StrToIntOrRaise(value);
}

void TCustomFFmpeg::OptFileSize(const std::string&, const std::string& value) {
    Opt.LimitFileSize = static_cast<uint64_t>(StrToInt64OrRaise(value));
}
