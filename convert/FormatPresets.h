#pragma once
// The output formats with their presets: the list items the user picks from
// and the numbers the encoders get. Codes 0 … 9 are the audio formats of both
// front ends; the codes after them are the video containers only the command
// line offers.
#include <string>
#include <vector>

struct TPresetItem {
    std::string Text;         // the list item, as the user sees it
    int AudioChannels = -1;   // -1: keep the record's default
    int AudioSampleRate = -1;
    int AudioBitrate = -1;
    // The source's sample rate where the WMA 2 encoder takes it (up to 48 kHz),
    // with as many bits as the encoder can use at that rate.
    bool SourceRateHighestBitrate = false;
    std::string AudioCodec;   // per item (WAV), else the format's
    std::string ExtOptions;
    // A source whose rate is below this one is converted at 48 kHz: the
    // item's bit rate is more than the encoder allows at the lower rates.
    int LowestSourceRate = 0;
    // A source of more than two channels keeps them, at the item's bit rate
    // for every two of them.
    bool KeepsSurround = false;
    // 16-bit samples for a source of 16 bits or fewer, else 24-bit ones.
    bool SourceBits = false;
};

struct TFormatPresets {
    const char* Name = "";     // "wav", "mp3", … (the command line's format names)
    const char* Extension = "";  // ".wav", …
    std::string AudioCodec;    // empty: the container's default encoder
    std::string VideoCodec;
    bool DisableVideo = false;
    std::vector<TPresetItem> Items;
    // Video containers: the picture is kept, encoded with VideoCodec or, when
    // the libraries lack that encoder, with FallbackVideoCodec; text
    // subtitles are kept when SubtitleCodec names their encoder, subtitles
    // drawn as pictures when PictureSubtitleCodecs names encoders of them:
    // the source's own kind when it is one of them, else the first.
    bool KeepsPicture = false;
    std::string FallbackVideoCodec;
    std::string SubtitleCodec;
    std::vector<std::string> PictureSubtitleCodecs;
};

// Indexed by output format code: 0 WAV … 7 MP2, 8 Opus, 9 ALAC, then 10 MP4,
// 11 MKV, 12 AVI, 13 MPG. The audio formats' codes are stored in settings
// files: a new one is appended after them, never put between.
const std::vector<TFormatPresets>& PresetTable();
// The audio formats: codes below this one.
constexpr int AudioFormatCount = 10;

// ".wav" … ".mpg" by format code; "" for any other code.
std::string OutputExtension(int format);
