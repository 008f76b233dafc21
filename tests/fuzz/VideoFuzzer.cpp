// One short conversion of a mutated file that keeps the picture: to AVI
// (MPEG-4 with MP3, scaled down, at a fixed rate) and to Matroska (MPEG-4
// with AAC, text subtitles carried when the file has them), queued and run
// inline as the command line's video containers queue them. The output is
// capped at one second of recording time, and the picture at a small size,
// so that a file claiming hours or huge pictures still ends quickly.
#include <cstddef>
#include <cstdint>

#include "FuzzConversion.h"

namespace {

constexpr int64_t RecordingTimeUs = 1'000'000;

TOutputOptions VideoRecord(const char* audio, const char* subtitles) {
    TOutputOptions options;
    options.AudioCodec = audio;
    options.AudioChannels = 2;
    options.VideoCodec = "mpeg4";
    options.ExtOptions = "s=64x48\nr=10\nvb=200000\nab=64000";
    options.DisableVideo = false;
    options.SubtitleCodec = subtitles;
    options.DisableSubtitle = *subtitles == '\0';
    options.RecordingTime = RecordingTimeUs;
    return options;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TOutputOptions avi = VideoRecord("libmp3lame", "");
    static const TOutputOptions mkv = VideoRecord("aac", "subrip");

    const std::wstring input = WriteFuzzInput(data, size);
    TRunFolder outputs;
    ConvertFuzzInput(input, nullptr, {{outputs.File(L"bild.avi"), &avi}, {outputs.File(L"bild.mkv"), &mkv}});
    return 0;
}
