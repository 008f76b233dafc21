// One short conversion of a mutated file, to MP3 and to FLAC, the way a batch
// queues it: an input record that drops video, an output record from the
// format's preset, one task per output, run inline on this thread. The output
// is capped at two seconds of recording time, so a file that claims hours of
// audio still ends quickly.
#include <cstddef>
#include <cstdint>

#include "FormatPresets.h"
#include "FuzzConversion.h"

namespace {

constexpr int FormatMp3 = 1;
constexpr int FormatFlac = 6;
constexpr int64_t RecordingTimeUs = 2'000'000;

TOutputOptions PresetRecord(int format, int preset) {
    const TFormatPresets& presets = PresetTable().at(format);
    const TPresetItem& item = presets.Items.at(preset);
    TOutputOptions options;
    options.AudioCodec = item.AudioCodec.empty() ? presets.AudioCodec : item.AudioCodec;
    options.AudioChannels = item.AudioChannels;
    options.AudioSampleRate = item.AudioSampleRate;
    options.AudioBitrate = item.AudioBitrate;
    options.ExtOptions = item.ExtOptions;
    options.DisableVideo = presets.DisableVideo;
    options.DisableSubtitle = true;
    options.RecordingTime = RecordingTimeUs;
    return options;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TOutputOptions mp3 = PresetRecord(FormatMp3, 0);
    static const TOutputOptions flac = PresetRecord(FormatFlac, 5);

    const std::wstring input = WriteFuzzInput(data, size);
    TRunFolder outputs;
    TInputOptions in;
    in.ExtOptions = "vn=1";
    ConvertFuzzInput(input, &in, {{outputs.File(L"ausgang.mp3"), &mp3}, {outputs.File(L"ausgang.flac"), &flac}});
    return 0;
}
