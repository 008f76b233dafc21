#include "FormatPresets.h"

namespace {

TPresetItem Pcm(const char* text, int channels, int rate, const char* codec, const char* ext) {
    TPresetItem item;
    item.Text = text;
    item.AudioChannels = channels;
    item.AudioSampleRate = rate;
    item.AudioCodec = codec;
    item.ExtOptions = ext;
    return item;
}

TPresetItem Rate(const char* text, int channels, int rate, int bitrate) {
    TPresetItem item;
    item.Text = text;
    item.AudioChannels = channels;
    item.AudioSampleRate = rate;
    item.AudioBitrate = bitrate;
    return item;
}

TPresetItem Vorbis(const char* text, int rate, const char* quality) {
    TPresetItem item;
    item.Text = text;
    item.AudioSampleRate = rate;
    item.ExtOptions = std::string("aq=") + quality;
    return item;
}

TPresetItem Level(int level) {
    TPresetItem item;
    item.Text = "Compression Level " + std::to_string(level) + (level == 5 ? " (Default)" : "");
    item.ExtOptions = "compression_level=" + std::to_string(level);
    return item;
}

std::vector<TPresetItem> FlacLevels() {
    std::vector<TPresetItem> items;
    for (int level = 0; level <= 8; ++level) items.push_back(Level(level));
    return items;
}

TPresetItem SourceRate(const char* text, int channels, int rate) {
    TPresetItem item = Rate(text, channels, rate, -1);
    item.SourceBitrate = true;
    return item;
}

} // namespace

const std::vector<TFormatPresets>& PresetTable() {
    // The item texts are the user's; the numbers are what the encoders get.
    // Two rates differ from older tables, which asked for 44000 Hz ("CD Audio
    // Quality") and 44800 Hz (an item that says 48000 Hz); the AAC encoder is
    // the library's own "aac".
    static const std::vector<TFormatPresets> table = {
        {"wav", ".wav", "", "", false,
         {Pcm("For Mobiles - PCM: 11025 Hz, Mono, 16 bits", 1, 11025, "", "sample_fmt=s16"),
          Pcm("AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits", 1, 22050, "", "sample_fmt=s16"),
          Pcm("FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits", 2, 22050, "pcm_s24le", ""),
          Pcm("HiFi Quality - PCM: 48000Hz, Stereo, 32 bits", 2, 48000, "pcm_s32le", ""),
          Pcm("Uncompressed (CD Audio Quality)", 2, 44100, "", "sample_fmt=s16")}},
        {"mp3", ".mp3", "libmp3lame", "", false,
         {Rate("For Mobile - MP3: 44100 Hz, Stereo, 112 kbps", 2, 44100, 112000),
          Rate("For Media Player - MP3: 48000 Hz, Stereo, 128 kbps", 2, 48000, 128000),
          Rate("Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000),
          Rate("Best Quality - MP3: 48000 Hz, Stereo, 320 kbps", 2, 48000, 320000)}},
        {"wma", ".wma", "wmav2", "", true,
         {Rate("For Media Player Best Quality", 2, 48000, 192000),
          Rate("For Media Player Economy Quality", 2, 44100, 96000),
          Rate("For Pocket PCs/PDAs Normal Quality", 2, 44100, 128000),
          Rate("For PC Normal Quality", 2, 44100, 128000), SourceRate("WMA Losslesss Audio", 2, 48000)}},
        {"ogg", ".ogg", "libvorbis", "libtheora", true,
         {Vorbis("Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono", 11025, "4.97"),
          Vorbis("AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono", 22050, "4.97"),
          Vorbis("FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo", 22050, "4.97"),
          Vorbis("CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo", 44100, "4.97"),
          Vorbis("HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo", 48000, "8.05")}},
        {"aac", ".aac", "aac", "", false,
         {Rate("For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps", 1, 16000, 96000),
          Rate("AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps", 1, 22500, 112000),
          Rate("FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps", 2, 22500, 224000),
          Rate("CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps", 2, 44100, 256000),
          Rate("HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000)}},
        {"m4a", ".m4a", "", "", true,
         {Rate("Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps", 2, 44100, 96000),
          Rate("Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000)}},
        {"flac", ".flac", "flac", "", false, FlacLevels()},
        {"mp2", ".mp2", "", "", false,
         {Rate("For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps", 1, 22050, 96000),
          Rate("AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps", 1, 22050, 112000),
          Rate("FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps", 2, 22050, 128000)}},
    };
    return table;
}

std::string OutputExtension(int format) {
    if (format < 0 || format >= static_cast<int>(PresetTable().size())) return "";
    return PresetTable()[format].Extension;
}
