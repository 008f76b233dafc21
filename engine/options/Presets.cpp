// Presets: the built-in table of encoder settings and preset files, both in
// preset syntax (one "key=value" per line, "#" starts a comment line).
#include <algorithm>
#include <sys/stat.h>

#include "CustomFFmpeg.h"
#include "Presets.h"
#include "Format.h"
#include "OptionNumbers.h"

namespace {

// The settings that tell the encoder presets apart; every other key of a
// preset is the same for all of them.
struct TX264Settings {
    const char* Name;
    bool Lossless;
    int Coder;
    const char* Flags;
    const char* Partitions;
    const char* MeMethod;
    int Subq;
    int MeRange;
    int ScThreshold;
    int BStrategy;
    int Bf;        // not written for the lossless presets
    int Refs;      // -1: not written
    int DirectPred;
    int Trellis;   // not written for the lossless presets
    const char* Flags2;
    int WPredP;    // -1: not written
};

constexpr const char* AllPartitions = "+parti8x8+parti4x4+partp8x8+partb8x8";
constexpr const char* EveryPartition = "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8";
constexpr const char* NoPartitions = "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8";
constexpr const char* IntraPartitions = "+parti8x8+parti4x4-partp8x8-partp4x4-partb8x8";

// First passes only gather statistics: the cheapest analysis gives the same
// rate-control data.
constexpr const char* FirstPassFlags2 = "-mixed_refs+wpred-dct8x8+fastpskip";

// Name, lossless, coder, flags, partitions, me_method, subq, me_range,
// sc_threshold, b_strategy, bf, refs, directpred, trellis, flags2, wpredp.
const TX264Settings X264Rows[] = {
    {"libx264-fast", false, 1, "+loop", AllPartitions, "hex", 6, 16, 40, 1, 3, 2, 1, 1, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-fast_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 2},
    {"libx264-faster", false, 1, "+loop", AllPartitions, "hex", 4, 16, 40, 1, 3, 2, 1, 1, "-mixed_refs+wpred+dct8x8+fastpskip", 1},
    {"libx264-faster_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 1},
    {"libx264-fastfirstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 2},
    {"libx264-hq", false, 1, "+loop", AllPartitions, "umh", 8, 16, 40, 2, 3, 4, 3, 1, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-lossless_fast", true, 0, "+loop", NoPartitions, "hex", 3, 16, 40, 1, 0, -1, 1, 0, "+mixed_refs+fastpskip", 2},
    {"libx264-lossless_max", true, 1, "+loop", EveryPartition, "esa", 8, 16, 40, 1, 0, 16, 1, 0, "+mixed_refs+dct8x8", 2},
    {"libx264-lossless_medium", true, 1, "+loop", IntraPartitions, "hex", 5, 16, 40, 1, 0, -1, 1, 0, "+mixed_refs+fastpskip", 2},
    {"libx264-lossless_slow", true, 1, "+loop", AllPartitions, "umh", 6, 16, 40, 1, 0, 2, 1, 0, "+mixed_refs+dct8x8+fastpskip", 2},
    {"libx264-lossless_slower", true, 1, "+loop", EveryPartition, "umh", 8, 16, 40, 1, 0, 4, 1, 0, "+mixed_refs+dct8x8+fastpskip", 2},
    {"libx264-lossless_ultrafast", true, 0, "-loop", NoPartitions, "dia", 0, 16, 0, 0, 0, -1, 1, 0, "-mixed_refs+fastpskip", -1},
    {"libx264-max", false, 1, "+loop", EveryPartition, "tesa", 10, 24, 40, 2, 16, 16, 3, 2, "+mixed_refs+wpred+dct8x8-fastpskip", 2},
    {"libx264-medium", false, 1, "+loop", AllPartitions, "hex", 7, 16, 40, 1, 3, 3, 1, 1, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-medium_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 2},
    {"libx264-normal", false, 1, "+loop", AllPartitions, "hex", 6, 16, 40, 1, 3, 2, 3, 0, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-placebo", false, 1, "+loop", EveryPartition, "tesa", 10, 24, 40, 2, 16, 16, 3, 2, "+mixed_refs+wpred+dct8x8-fastpskip", 2},
    {"libx264-placebo_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 2, 16, 1, 3, 0, FirstPassFlags2, 2},
    {"libx264-slow", false, 1, "+loop", AllPartitions, "umh", 8, 16, 40, 2, 3, 5, 3, 1, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-slow_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 2, 3, 1, 3, 0, FirstPassFlags2, 2},
    {"libx264-slower", false, 1, "+loop", EveryPartition, "umh", 9, 16, 40, 2, 3, 8, 3, 2, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-slower_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 2, 3, 1, 3, 0, FirstPassFlags2, 2},
    {"libx264-slowfirstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 2, 3, 1, 3, 0, FirstPassFlags2, 2},
    {"libx264-superfast", false, 1, "+loop", IntraPartitions, "dia", 1, 16, 40, 1, 3, 1, 1, 0, "-mixed_refs+wpred+dct8x8+fastpskip", 1},
    {"libx264-superfast_firstpass", false, 1, "+loop", NoPartitions, "dia", 1, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 1},
    {"libx264-ultrafast", false, 0, "-loop", NoPartitions, "dia", 0, 16, 0, 0, 0, 1, 1, 0, "-mixed_refs-wpred-dct8x8+fastpskip", 0},
    {"libx264-ultrafast_firstpass", false, 0, "-loop", NoPartitions, "dia", 0, 16, 0, 0, 0, 1, 1, 0, "-mixed_refs-wpred-dct8x8+fastpskip", 0},
    {"libx264-veryfast", false, 1, "+loop", IntraPartitions, "hex", 2, 16, 40, 1, 3, 1, 1, 0, "-mixed_refs+wpred+dct8x8+fastpskip", 1},
    {"libx264-veryfast_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 1, 3, 1, 1, 0, FirstPassFlags2, 1},
    {"libx264-veryslow", false, 1, "+loop", EveryPartition, "umh", 10, 24, 40, 2, 8, 16, 3, 2, "+mixed_refs+wpred+dct8x8+fastpskip", 2},
    {"libx264-veryslow_firstpass", false, 1, "+loop", NoPartitions, "dia", 2, 16, 40, 2, 8, 1, 3, 0, FirstPassFlags2, 2},
};

// The 22 keys of a preset, in their order; the lossless presets carry cqp=0
// in place of bf and trellis and leave out what their row leaves out.
std::string X264PresetText(const TX264Settings& s) {
    std::string text = Format("coder=%d\nflags=%s\ncmp=+chroma\npartitions=%s\nme_method=%s\nsubq=%d\nme_range=%d\n"
                              "g=250\nkeyint_min=25\nsc_threshold=%d\ni_qfactor=0.71\nb_strategy=%d\nqcomp=0.6\n"
                              "qmin=10\nqmax=51\nqdiff=4\n",
                              s.Coder, s.Flags, s.Partitions, s.MeMethod, s.Subq, s.MeRange, s.ScThreshold,
                              s.BStrategy);
    if (s.Lossless) text += "cqp=0\n";
    else text += Format("bf=%d\n", s.Bf);
    if (s.Refs >= 0) text += Format("refs=%d\n", s.Refs);
    text += Format("directpred=%d\n", s.DirectPred);
    if (!s.Lossless) text += Format("trellis=%d\n", s.Trellis);
    text += Format("flags2=%s\n", s.Flags2);
    if (s.WPredP >= 0) text += Format("wpredp=%d\n", s.WPredP);
    return text;
}

std::vector<TOptionsPreset> MakeBuiltinPresets() {
    std::vector<TOptionsPreset> table = {
        {"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n"},
        {"libx264-default",
         "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_method=hex\n"
         "subq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\nqcomp=0.6\n"
         "qmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis=1\n"
         "flags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\n"},
        {"libx264-ipod320", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0\n"},
        {"libx264-ipod640",
         "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\nbufsize=10000000\nwpredp=0\n"},
        {"libx264-main", "flags2=-dct8x8\n"},
    };
    for (const TX264Settings& row : X264Rows) table.push_back({row.Name, X264PresetText(row)});
    // The table is searched in name order.
    std::sort(table.begin(), table.end(),
              [](const TOptionsPreset& a, const TOptionsPreset& b) { return std::string(a.Name) < b.Name; });
    return table;
}

const TOptionsPreset* FindBuiltinPreset(const std::string& name) {
    for (const TOptionsPreset& preset : BuiltinPresets())
        if (SameText(preset.Name, name)) return &preset;
    return nullptr;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}


} // namespace

const std::vector<TOptionsPreset>& BuiltinPresets() {
    static const std::vector<TOptionsPreset> table = MakeBuiltinPresets();
    return table;
}

void TCustomFFmpeg::SetPreset(const std::string& Name, const std::string& Value) {
    if (Name.empty() || Value.empty()) return;
    const char kind = Name[0];
    const TOptionsPreset* builtin = nullptr;
    if (kind == 'a' || kind == 'v' || kind == 's') {
        builtin = FindBuiltinPreset(Value);
        const std::string& codec = kind == 'v' ? Opt.VideoCodecName : kind == 'a' ? Opt.AudioCodecName : Opt.SubtitleCodecName;
        if (!builtin && !codec.empty()) builtin = FindBuiltinPreset(codec + "-" + Value);
    }
    if (builtin) {
        ApplyPresetText(Value, builtin->Text);
        return;
    }
    if (!FileExists(Value)) throw FFmpegException(Format("Preset \"%s\" not found", Value));
    char* buffer = nullptr;
    size_t size = 0;
    if (ReadWholeFile(Value, &buffer, &size) != 0) throw FFmpegException(Format("Preset \"%s\" not found", Value));
    LibraryMemoryPtr<char> owned(buffer);
    ApplyPresetText(Value, std::string(buffer, size > 0 ? size - 1 : 0));
}

void TCustomFFmpeg::ApplyPresetText(const std::string& displayName, const std::string& text) {
    const std::string all = UnifyLineBreaks(TrimText(text));
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        const std::string line = TrimText(all.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : TrimText(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? std::string() : TrimText(line.substr(eq + 1));
        if (key.empty() || value.empty())
            throw FFmpegException(Format("%s: Invalid syntax: \"%s\"", displayName, line));
        if (SameText(key, "acodec")) SetAudioCodec(value);
        else if (SameText(key, "vcodec")) SetVideoCodec(value);
        else if (SameText(key, "scodec")) SetSubtitleCodec(value);
        else if (!SetContextOption(key, value) && StrictOptions)
            throw FFmpegException(Format("%s\r\n%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                                         LastOptionMessage(), displayName, line, key, value));
    }
}
