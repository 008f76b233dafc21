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
struct TCustomFFmpeg::TOptionEntry {
    std::variant<THandler,
                 bool TCustomFFmpeg::*,           // switch
                 int TCustomFFmpeg::*,            // integer
                 float TCustomFFmpeg::*,          // floating point
                 std::string TCustomFFmpeg::*>    // text, taken unchanged
        Target;
};

const TCustomFFmpeg::TOptionEntry* TCustomFFmpeg::FindOption(const std::string& name) {
    using T = TCustomFFmpeg;
    static const std::unordered_map<std::string, TOptionEntry> table = {
        // no effect
        {"L", {&T::OptNoEffect}}, {"h", {&T::OptNoEffect}}, {"version", {&T::OptNoEffect}},
        {"formats", {&T::OptNoEffect}}, {"codecs", {&T::OptNoEffect}}, {"bsfs", {&T::OptNoEffect}},
        {"protocols", {&T::OptNoEffect}}, {"filters", {&T::OptNoEffect}}, {"i", {&T::OptNoEffect}},
        {"y", {&T::OptNoEffect}}, {"benchmark", {&T::OptNoEffect}},
        {"timelimit", {&T::OptTimeLimit}}, {"loglevel", {&T::OptLogLevel}},
        // switches
        {"dump", {&T::PacketDump}}, {"hex", {&T::HexDump}}, {"re", {&T::RateEmulation}},
        {"loop_input", {&T::LoopInput}}, {"copyts", {&T::CopyTs}}, {"copytb", {&T::CopyTb}},
        {"shortest", {&T::Shortest}}, {"xerror", {&T::ExitOnError}}, {"intra", {&T::IntraOnly}},
        {"vn", {&T::VideoDisable}}, {"sameq", {&T::SameQuality}}, {"deinterlace", {&T::Deinterlace}},
        {"psnr", {&T::Psnr}}, {"qphist", {&T::QpHistogram}}, {"force_fps", {&T::ForceFps}},
        {"an", {&T::AudioDisable}}, {"sn", {&T::SubtitleDisable}}, {"isync", {&T::InputSync}},
        // integers
        {"v", {&T::Verbose}}, {"loop_output", {&T::LoopOutput}}, {"vsync", {&T::VideoSyncMethod}},
        {"async", {&T::AudioSyncMethod}}, {"vglobal", {&T::VideoGlobalHeader}}, {"programid", {&T::ProgramId}},
        {"copyinkf", {&T::CopyInitialNonKeyframes}}, {"vdt", {&T::VideoDiscard}}, {"dc", {&T::IntraDcPrecision}},
        {"top", {&T::TopFieldFirst}}, {"me_threshold", {&T::MeThreshold}}, {"vol", {&T::AudioVolume}},
        {"vc", {&T::VideoChannel}},
        {"vframes", {&T::OptMaxFrames}}, {"aframes", {&T::OptMaxFrames}}, {"dframes", {&T::OptMaxFrames}},
        {"fs", {&T::OptFileSize}},
        // floating point
        {"adrift_threshold", {&T::AudioDriftThreshold}}, {"dts_delta_threshold", {&T::DtsDeltaThreshold}},
        {"aq", {&T::AudioQscale}}, {"muxdelay", {&T::MuxMaxDelay}}, {"muxpreload", {&T::MuxPreload}},
        // texts
        {"passlogfile", {&T::PassLogPrefix}}, {"vlang", {&T::VideoLanguage}}, {"alang", {&T::AudioLanguage}},
        {"slang", {&T::SubtitleLanguage}}, {"force_key_frames", {&T::ForcedKeyFrames}},
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
            } else if constexpr (std::is_same_v<V, bool TCustomFFmpeg::*>) {
                this->*target = SwitchValue(Value);
            } else if constexpr (std::is_same_v<V, int TCustomFFmpeg::*>) {
                this->*target = StrToIntOrRaise(Value);
            } else if constexpr (std::is_same_v<V, float TCustomFFmpeg::*>) {
                this->*target = static_cast<float>(StrToFloatOrRaise(Value));
            } else {
                this->*target = Value;
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
    MaxFrames[kind] = StrToIntOrRaise(value);
}

void TCustomFFmpeg::OptFileSize(const std::string&, const std::string& value) {
    LimitFileSize = static_cast<uint64_t>(StrToInt64OrRaise(value));
}
