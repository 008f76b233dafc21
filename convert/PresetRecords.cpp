#include "PresetRecords.h"

#include <algorithm>
#include <functional>
#include <map>

#include "FormatPresets.h"
#include "MediaIO.h"
#include "OptionNumbers.h"
#include "OutputNaming.h"
#include "UnicodeProtocol.h"

namespace {

const TFormatPresets* PresetsOf(int format) {
    return format >= 0 && format < static_cast<int>(PresetTable().size()) ? &PresetTable()[format] : nullptr;
}

// The format's video encoder, or its fallback when the loaded libraries have
// no encoder of that name.
std::string VideoEncoderOf(const TFormatPresets& presets) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(presets.VideoCodec.c_str());
    if (codec && codec->type == AVMEDIA_TYPE_VIDEO) return presets.VideoCodec;
    return presets.FallbackVideoCodec.empty() ? presets.VideoCodec : presets.FallbackVideoCodec;
}

// The subtitle stream of the open file a conversion takes: as the engine
// chooses, the one its container counts the most packets of, the first of
// equals.
const AVStream* SubtitleSource(TCustomDecoder& probe) {
    const AVFormatContext* ic = probe.FormatContext();
    const AVStream* found = nullptr;
    for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        if (!found || st->nb_frames > found->nb_frames) found = st;
    }
    return found;
}

// The encoder that keeps subtitles like those of `source` in a container of
// `presets`, or "" when it holds none of their kind: text stays text, and
// pictures stay pictures (they cannot become text, nor text pictures).
std::string SubtitleEncoderFor(const TFormatPresets& presets, const AVStream* source) {
    const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(source->codecpar->codec_id);
    if (!descriptor) return "";
    if (descriptor->props & AV_CODEC_PROP_TEXT_SUB) return presets.SubtitleCodec;
    if (!(descriptor->props & AV_CODEC_PROP_BITMAP_SUB) || presets.PictureSubtitleCodecs.empty()) return "";
    const AVCodec* own = ff::avcodec_find_encoder(source->codecpar->codec_id);
    const auto& codecs = presets.PictureSubtitleCodecs;
    if (own && std::find(codecs.begin(), codecs.end(), own->name) != codecs.end()) return own->name;
    return codecs.front();
}

// The options of an output record that the engine applies after the
// record's text, each with how the record's field gives way to a line of the
// command line: a field set only when it has a value is cleared, so the
// line's option stays; a field the record always sets takes the line's value.
using TGiveWay = std::function<void(TOutputOptions&, const std::string&)>;

const std::map<std::string, TGiveWay>& RecordFields() {
    using O = TOutputOptions;
    static const std::map<std::string, TGiveWay> fields = {
        {"packetsize", [](O& o, auto&) { o.PacketSize = -1; }},
        {"muxrate", [](O& o, auto&) { o.MuxRate = -1; }},
        {"muxdelay", [](O& o, auto&) { o.MuxDelay = -1; }},
        {"muxpreload", [](O& o, auto&) { o.MuxPreload = -1; }},
        {"acodec", [](O& o, auto&) { o.AudioCodec.clear(); }},
        {"apre", [](O& o, auto&) { o.AudioPreset.clear(); }},
        {"an", [](O& o, auto&) { o.DisableAudio = false; }},
        {"vol", [](O& o, auto&) { o.AudioVolume = -1; }},
        {"ac", [](O& o, auto&) { o.AudioChannels = -1; }},
        {"ar", [](O& o, auto&) { o.AudioSampleRate = -1; }},
        {"ab", [](O& o, auto&) { o.AudioBitrate = -1; }},
        {"abt", [](O& o, auto&) { o.AudioBitrateTolerance = -1; }},
        {"alang", [](O& o, const std::string& v) { o.AudioLanguage = v; }},
        {"async", [](O& o, const std::string& v) { o.AudioSync = StrToIntOrRaise(v); }},
        {"atag", [](O& o, auto&) { o.AudioTag.clear(); }},
        {"vcodec", [](O& o, auto&) { o.VideoCodec.clear(); }},
        {"vpre", [](O& o, auto&) { o.VideoPreset.clear(); }},
        {"vn", [](O& o, auto&) { o.DisableVideo = false; }},
        {"r", [](O& o, auto&) { o.FrameRate.clear(); }},
        {"s", [](O& o, auto&) { o.FrameSize.clear(); }},
        {"aspect", [](O& o, auto&) { o.FrameAspectRatio.clear(); }},
        {"g", [](O& o, auto&) { o.GopSize = -1; }},
        {"b", [](O& o, auto&) { o.VideoBitrate = -1; }},
        {"vb", [](O& o, auto&) { o.VideoBitrate = -1; }},
        {"maxrate", [](O& o, auto&) { o.VideoMaxRate = -1; }},
        {"minrate", [](O& o, auto&) { o.VideoMinRate = -1; }},
        {"bt", [](O& o, auto&) { o.VideoBitrateTolerance = -1; }},
        {"bufsize", [](O& o, auto&) { o.VideoBufSize = -1; }},
        {"vsync", [](O& o, const std::string& v) { o.VideoSync = StrToIntOrRaise(v); }},
        {"vtag", [](O& o, auto&) { o.VideoTag.clear(); }},
        {"vf", [](O& o, auto&) { o.VideoFilters.clear(); }},
        {"vfilters", [](O& o, auto&) { o.VideoFilters.clear(); }},
        {"vlang", [](O& o, const std::string& v) { o.VideoLanguage = v; }},
        // Asking for a subtitle encoder asks for subtitles.
        {"scodec", [](O& o, auto&) { o.SubtitleCodec.clear(), o.DisableSubtitle = false; }},
        {"spre", [](O& o, auto&) { o.SubtitlePreset.clear(); }},
        {"sn", [](O& o, auto&) { o.DisableSubtitle = false; }},
        {"slang", [](O& o, const std::string& v) { o.SubtitleLanguage = v; }},
        {"isync", [](O& o, const std::string& v) { o.InputSync = SwitchValue(v); }},
        {"copyts", [](O& o, auto&) { o.CopyTimestamps = false; }},
        {"ss", [](O& o, auto&) { o.StartTime = AV_NOPTS_VALUE; }},
        {"t", [](O& o, auto&) { o.RecordingTime = AV_NOPTS_VALUE; }},
        {"timestamp", [](O& o, auto&) { o.Info.Timestamp = -1; }},
    };
    return fields;
}

constexpr int MaxWmaBitrate = 320000;

// The WMA 2 encoder takes rates up to 48 kHz; a higher rate becomes the one
// of 44.1 and 48 kHz that divides it.
int WmaRateFor(int sourceRate) {
    if (sourceRate <= 48000) return sourceRate;
    return sourceRate % 44100 == 0 ? 44100 : 48000;
}

// The source's rate where the WMA 2 encoder takes it, and the highest bit
// rate players of WMA 2 are made for, 320 kbps (less for a rate whose 16-bit
// PCM needs less). The encoder would take far more, but above that it only
// pads its packets: the file grows past the size of the uncompressed audio
// and sounds no better. No audio stream: no bit rate (-1).
void SetHighestWma(TCustomDecoder& probe, TOutputOptions& options) {
    const int stream = probe.FirstAudioStream();
    if (stream < 0) {
        options.AudioBitrate = -1;
        return;
    }
    TAudioStreamInfo audio;
    if (probe.GetAudioStreamInfo(stream, audio) && audio.SampleRate > 0)
        options.AudioSampleRate = WmaRateFor(audio.SampleRate);
    options.AudioBitrate = std::min(options.AudioSampleRate * options.AudioChannels * 16, MaxWmaBitrate);
}

// A source slower than `lowest` samples a second is converted at 48 kHz.
void RaiseLowRate(TCustomDecoder& probe, int lowest, TOutputOptions& options) {
    const int stream = probe.FirstAudioStream();
    TAudioStreamInfo audio;
    if (options.AudioSampleRate <= 0 && stream >= 0 && probe.GetAudioStreamInfo(stream, audio) &&
        audio.SampleRate > 0 && audio.SampleRate < lowest)
        options.AudioSampleRate = 48000;
}

// The first audio stream of the open file, or nullptr.
const AVStream* FirstAudio(TCustomDecoder& probe) {
    const AVFormatContext* ic = probe.FormatContext();
    const int stream = probe.FirstAudioStream();
    return ic && stream >= 0 && stream < static_cast<int>(ic->nb_streams) ? ic->streams[stream] : nullptr;
}

// A surround source keeps its channels, with the item's bit rate (meant for
// two of them) for every two; up to eight (7.1), the most Opus names a place
// for. More become the item's stereo.
void KeepSurround(TCustomDecoder& probe, TOutputOptions& options) {
    const AVStream* st = FirstAudio(probe);
    const int channels = st ? st->codecpar->ch_layout.nb_channels : 0;
    if (channels <= 2 || channels > 8) return;
    options.AudioChannels = -1;
    if (options.AudioBitrate > 0) options.AudioBitrate = options.AudioBitrate / 2 * channels;
}

// 16-bit samples when the source has no more (8 or 16 bits, or a coding
// that says so), else 24 bits, the most the lossless encoders here keep; a
// source decoded to floating point (a lossy one) gets 24 bits too.
void TakeSourceBits(TCustomDecoder& probe, TOutputOptions& options) {
    const AVStream* st = FirstAudio(probe);
    if (!st) return;
    const auto format = static_cast<AVSampleFormat>(st->codecpar->format);
    const int bytes = format == AV_SAMPLE_FMT_NONE ? 0 : ff::av_get_bytes_per_sample(format);
    const int raw = st->codecpar->bits_per_raw_sample;
    const bool sixteen = (bytes > 0 && bytes <= 2) || (raw > 0 && raw <= 16);
    options.ExtOptions = sixteen ? "sample_fmt=s16" : "sample_fmt=s32";
}

} // namespace

std::string ExtraLineProblem(const std::string& line, int format) {
    const TFormatPresets* presets = PresetsOf(format);
    for (const TOptionLine& option : ParseOptionText(line)) {
        const std::string& key = option.Key;
        // A picture or subtitles asked of an audio format.
        const bool asksForMore = key == "vcodec" || key == "scodec" || key == "newvideo" || key == "newsubtitle" ||
                                 ((key == "vn" || key == "sn") && !SwitchValue(option.Value));
        if (asksForMore && presets && !presets->KeepsPicture)
            return "-x " + key + ": format " + presets->Name + " writes sound only";
        if (key == "async" || key == "vsync") {
            int number = 0;
            if (!TryStrToInt(option.Value, number))
                return "-x " + key + " needs a whole number, not '" + option.Value + "'";
        }
    }
    return "";
}

void TakeExtraLines(TOutputOptions& options, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        options.ExtOptions += (options.ExtOptions.empty() ? "" : "\n") + line;
        for (const TOptionLine& option : ParseOptionText(line)) {
            const auto field = RecordFields().find(option.Key);
            if (field != RecordFields().end()) field->second(options, option.Value);
        }
    }
}

TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex) {
    TOutputOptions options;
    options.FileName = OutputFileNameFor(OutputStem(WideToUtf8(probe.GetFileName())), outputDir, format);
    options.DisableSubtitle = true;

    if (const TFormatPresets* presets = PresetsOf(format)) {
        options.AudioCodec = presets->AudioCodec;
        options.VideoCodec = presets->KeepsPicture ? VideoEncoderOf(*presets) : presets->VideoCodec;
        if (presets->DisableVideo) options.DisableVideo = true;
        if (const AVStream* source = SubtitleSource(probe)) {
            options.SubtitleCodec = SubtitleEncoderFor(*presets, source);
            options.DisableSubtitle = options.SubtitleCodec.empty();
        }
        if (presetIndex >= 0 && presetIndex < static_cast<int>(presets->Items.size())) {
            const TPresetItem& item = presets->Items[presetIndex];
            if (!item.AudioCodec.empty()) options.AudioCodec = item.AudioCodec;
            options.AudioChannels = item.AudioChannels;
            options.AudioSampleRate = item.AudioSampleRate;
            options.AudioBitrate = item.AudioBitrate;
            options.ExtOptions = item.ExtOptions;
            if (item.SourceRateHighestBitrate) SetHighestWma(probe, options);
            if (item.LowestSourceRate > 0) RaiseLowRate(probe, item.LowestSourceRate, options);
            if (item.KeepsSurround) KeepSurround(probe, options);
            if (item.SourceBits) TakeSourceBits(probe, options);
        }
    }
    return options;
}

TInputOptions BuildInputOptions(TCustomDecoder& probe, int format) {
    TInputOptions options;
    options.FileName = probe.GetFileName();
    options.FileFormat = probe.ForceFormat();
    options.PlainPcm = PcmSearchedPlain(probe.FormatContext());
    const TFormatPresets* presets = PresetsOf(format);
    if (!presets || !presets->KeepsPicture) options.ExtOptions = "vn=1";
    return options;
}
