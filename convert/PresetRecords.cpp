#include "PresetRecords.h"

#include <algorithm>

#include "FormatPresets.h"
#include "OutputNaming.h"

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

// Whether every subtitle stream of the open file holds text: pictures of
// subtitles cannot become text subtitles.
bool HasOnlyTextSubtitles(TCustomDecoder& probe) {
    const AVFormatContext* ic = probe.FormatContext();
    bool any = false;
    for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(par->codec_id);
        if (!descriptor || !(descriptor->props & AV_CODEC_PROP_TEXT_SUB)) return false;
        any = true;
    }
    return any;
}

// The WMA 2 encoder takes rates up to 48 kHz; a higher rate becomes the one
// of 44.1 and 48 kHz that divides it.
int WmaRateFor(int sourceRate) {
    if (sourceRate <= 48000) return sourceRate;
    return sourceRate % 44100 == 0 ? 44100 : 48000;
}

// The source's rate where the WMA 2 encoder takes it, and the bit rate of the
// same audio as 16-bit PCM: at its finest step the encoder fills about three
// quarters of that even with full-scale noise, and pads whatever it is given
// beyond, so more only makes the file larger than the uncompressed one. No
// audio stream: no bit rate (-1).
void SetHighestWma(TCustomDecoder& probe, TOutputOptions& options) {
    const int stream = probe.FirstAudioStream();
    if (stream < 0) {
        options.AudioBitrate = -1;
        return;
    }
    TAudioStreamInfo audio;
    if (probe.GetAudioStreamInfo(stream, audio) && audio.SampleRate > 0)
        options.AudioSampleRate = WmaRateFor(audio.SampleRate);
    options.AudioBitrate = options.AudioSampleRate * options.AudioChannels * 16;
}

} // namespace

TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex) {
    TOutputOptions options;
    options.FileName = OutputFileNameFor(probe.GetFileName(), outputDir, format);
    options.DisableSubtitle = true;

    if (const TFormatPresets* presets = PresetsOf(format)) {
        options.AudioCodec = presets->AudioCodec;
        options.VideoCodec = presets->KeepsPicture ? VideoEncoderOf(*presets) : presets->VideoCodec;
        if (presets->DisableVideo) options.DisableVideo = true;
        if (!presets->SubtitleCodec.empty() && HasOnlyTextSubtitles(probe)) {
            options.SubtitleCodec = presets->SubtitleCodec;
            options.DisableSubtitle = false;
        }
        if (presetIndex >= 0 && presetIndex < static_cast<int>(presets->Items.size())) {
            const TPresetItem& item = presets->Items[presetIndex];
            if (!item.AudioCodec.empty()) options.AudioCodec = item.AudioCodec;
            options.AudioChannels = item.AudioChannels;
            options.AudioSampleRate = item.AudioSampleRate;
            options.AudioBitrate = item.AudioBitrate;
            options.ExtOptions = item.ExtOptions;
            if (item.SourceRateHighestBitrate) SetHighestWma(probe, options);
        }
    }
    return options;
}

TInputOptions BuildInputOptions(TCustomDecoder& probe, int format) {
    TInputOptions options;
    options.FileName = probe.GetFileName();
    options.FileFormat = probe.ForceFormat();
    const TFormatPresets* presets = PresetsOf(format);
    if (!presets || !presets->KeepsPicture) options.ExtOptions = "vn=1";
    return options;
}
