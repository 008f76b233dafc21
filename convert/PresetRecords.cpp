#include "PresetRecords.h"

#include <algorithm>

#include "FormatPresets.h"
#include "OutputNaming.h"

TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex) {
    TOutputOptions options;
    options.FileName = OutputFileNameFor(probe.GetFileName(), outputDir, format);

    if (format >= 0 && format < static_cast<int>(PresetTable().size())) {
        const TFormatPresets& presets = PresetTable()[format];
        options.AudioCodec = presets.AudioCodec;
        options.VideoCodec = presets.VideoCodec;
        if (presets.DisableVideo) options.DisableVideo = true;
        if (presetIndex >= 0 && presetIndex < static_cast<int>(presets.Items.size())) {
            const TPresetItem& item = presets.Items[presetIndex];
            if (!item.AudioCodec.empty()) options.AudioCodec = item.AudioCodec;
            options.AudioChannels = item.AudioChannels;
            options.AudioSampleRate = item.AudioSampleRate;
            options.AudioBitrate = item.AudioBitrate;
            options.ExtOptions = item.ExtOptions;
            if (item.SourceBitrate) {
                TAudioStreamInfo audio;
                const int stream = probe.FirstAudioStream();
                options.AudioBitrate =
                    stream < 0 ? -1 : (probe.GetAudioStreamInfo(stream, audio) ? std::max(audio.BitRate, 0) : 0);
            }
        }
    }
    options.DisableSubtitle = true;
    return options;
}

TInputOptions BuildInputOptions(TCustomDecoder& probe) {
    TInputOptions options;
    options.FileName = probe.GetFileName();
    options.FileFormat = probe.ForceFormat();
    options.ExtOptions = "vn=1";
    return options;
}
