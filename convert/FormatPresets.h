#pragma once
// The eight output formats with their presets: the list items the user picks
// from and the numbers the encoders get.
#include <string>
#include <vector>

struct TPresetItem {
    std::string Text;         // the list item, as the user sees it
    int AudioChannels = -1;   // -1: keep the record's default
    int AudioSampleRate = -1;
    int AudioBitrate = -1;
    bool SourceBitrate = false;  // the bit rate of the source's first audio stream
    std::string AudioCodec;   // per item (WAV), else the format's
    std::string ExtOptions;
};

struct TFormatPresets {
    const char* Name;          // "wav", "mp3", … (the command line's format names)
    const char* Extension;     // ".wav", …
    std::string AudioCodec;    // empty: the container's default encoder
    std::string VideoCodec;
    bool DisableVideo;
    std::vector<TPresetItem> Items;
};

// Indexed by output format code (0 WAV … 7 MP2).
const std::vector<TFormatPresets>& PresetTable();

// ".wav" … ".mp2" by format code; "" for any other code.
std::string OutputExtension(int format);
