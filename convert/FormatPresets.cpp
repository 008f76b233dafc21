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

TPresetItem Vorbis(const char* text, int rate, const char* quality, int channels = -1) {
    TPresetItem item;
    item.Text = text;
    item.AudioChannels = channels;
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

// A preset of a video container: the bit rates as options, so that a target
// or a rate given on the command line after them takes their place.
TPresetItem Movie(const char* text, int videoKbps, int audioKbps, int channels = -1) {
    TPresetItem item;
    item.Text = text;
    item.AudioChannels = channels;
    item.ExtOptions = "vb=" + std::to_string(videoKbps * 1000) + "\nab=" + std::to_string(audioKbps * 1000);
    return item;
}

// MPEG layer-2 takes 192 kbps and more only at 32 kHz and above.
TPresetItem AtFullRate(TPresetItem item) {
    item.LowestSourceRate = 32000;
    return item;
}

TFormatPresets AudioFormat(const char* name, const char* extension, const char* audio, const char* video,
                           bool disableVideo, std::vector<TPresetItem> items) {
    TFormatPresets presets;
    presets.Name = name;
    presets.Extension = extension;
    presets.AudioCodec = audio;
    presets.VideoCodec = video;
    presets.DisableVideo = disableVideo;
    presets.Items = std::move(items);
    return presets;
}

TFormatPresets VideoContainer(const char* name, const char* extension, const char* audio, const char* video,
                              const char* fallback, const char* subtitles, std::vector<std::string> pictureSubtitles,
                              std::vector<TPresetItem> items) {
    TFormatPresets presets = AudioFormat(name, extension, audio, video, false, std::move(items));
    presets.KeepsPicture = true;
    presets.FallbackVideoCodec = fallback;
    presets.SubtitleCodec = subtitles;
    presets.PictureSubtitleCodecs = std::move(pictureSubtitles);
    return presets;
}

std::vector<TPresetItem> H264Items() {
    return {Movie("Normal Quality - H.264 (or MPEG-4): 1000 kbps; AAC: 128 kbps", 1000, 128),
            Movie("High Quality - H.264 (or MPEG-4): 2500 kbps; AAC: 192 kbps", 2500, 192),
            Movie("Small File - H.264 (or MPEG-4): 500 kbps; AAC: 96 kbps", 500, 96)};
}

// The rate here stands when the source's is unknown.
TPresetItem SourceRate(const char* text, int channels, int rate) {
    TPresetItem item = Rate(text, channels, rate, -1);
    item.SourceRateHighestBitrate = true;
    return item;
}

// Opus codes at 48 kHz whatever the source's rate; its presets give a bit
// rate the encoder keeps to on average.
TPresetItem Opus(const char* text, int channels, int kbps) {
    TPresetItem item = Rate(text, channels, 48000, kbps * 1000);
    item.KeepsSurround = channels == 2;
    return item;
}

TPresetItem AlacSameAsSource() {
    TPresetItem item;
    item.Text = "Same as source - ALAC: Source Rate and Channels, 16 or 24 bits";
    item.SourceBits = true;
    return item;
}

} // namespace

const std::vector<TFormatPresets>& PresetTable() {
    // The item texts are the user's; the numbers are what the encoders get.
    // Two rates differ from older tables, which asked for 44000 Hz ("CD Audio
    // Quality") and 44800 Hz (an item that says 48000 Hz); the AAC encoder is
    // the library's own "aac". MPEG layer-2 has a CD-quality item after the
    // older three, whose rates halve CD audio.
    static const std::vector<TFormatPresets> table = {
        AudioFormat("wav", ".wav", "", "", false,
         {Pcm("For Mobiles - PCM: 11025 Hz, Mono, 16 bits", 1, 11025, "", "sample_fmt=s16"),
          Pcm("AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits", 1, 22050, "", "sample_fmt=s16"),
          Pcm("FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits", 2, 22050, "pcm_s24le", ""),
          Pcm("HiFi Quality - PCM: 48000Hz, Stereo, 32 bits", 2, 48000, "pcm_s32le", ""),
          Pcm("Uncompressed (CD Audio Quality)", 2, 44100, "", "sample_fmt=s16")}),
        AudioFormat("mp3", ".mp3", "libmp3lame", "", false,
         {Rate("For Mobile - MP3: 44100 Hz, Stereo, 112 kbps", 2, 44100, 112000),
          Rate("For Media Player - MP3: 48000 Hz, Stereo, 128 kbps", 2, 48000, 128000),
          Rate("Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000),
          Rate("Best Quality - MP3: 48000 Hz, Stereo, 320 kbps", 2, 48000, 320000)}),
        AudioFormat("wma", ".wma", "wmav2", "", true,
         {Rate("For Media Player Best Quality", 2, 48000, 192000),
          Rate("For Media Player Economy Quality", 2, 44100, 96000),
          Rate("For Pocket PCs/PDAs Normal Quality", 2, 44100, 128000),
          Rate("For PC Normal Quality", 2, 44100, 128000),
          // The libraries have no lossless WMA encoder: this is the best WMA 2
          // there is, and its text says so.
          SourceRate("WMA 2, highest bit rate, source sample rate", 2, 48000)}),
        AudioFormat("ogg", ".ogg", "libvorbis", "libtheora", true,
         {Vorbis("Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono", 11025, "4.97", 1),
          Vorbis("AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono", 22050, "4.97", 1),
          Vorbis("FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo", 22050, "4.97"),
          Vorbis("CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo", 44100, "4.97"),
          Vorbis("HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo", 48000, "8.05")}),
        AudioFormat("aac", ".aac", "aac", "", false,
         {Rate("For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps", 1, 16000, 96000),
          Rate("AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps", 1, 22500, 112000),
          Rate("FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps", 2, 22500, 224000),
          Rate("CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps", 2, 44100, 256000),
          Rate("HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000)}),
        AudioFormat("m4a", ".m4a", "", "", true,
         {Rate("Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps", 2, 44100, 96000),
          Rate("Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", 2, 48000, 256000)}),
        AudioFormat("flac", ".flac", "flac", "", false, FlacLevels()),
        AudioFormat("mp2", ".mp2", "", "", false,
         {Rate("For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps", 1, 22050, 96000),
          Rate("AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps", 1, 22050, 112000),
          Rate("FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps", 2, 22050, 128000),
          Rate("CD Quality - MPEG layer-2: 44100 Hz, Stereo, 256 kbps", 2, 44100, 256000)}),
        // A surround source keeps its channels in the stereo items (see
        // KeepsSurround); the speech item makes mono of any source.
        AudioFormat("opus", ".opus", "libopus", "", true,
         {Opus("Speech - Opus: 48000 Hz, Mono, 48 kbps", 1, 48),
          Opus("For Mobile - Opus: 48000 Hz, Stereo, 96 kbps", 2, 96),
          Opus("Normal Quality - Opus: 48000 Hz, Stereo, 128 kbps", 2, 128),
          Opus("High Quality - Opus: 48000 Hz, Stereo, 160 kbps", 2, 160),
          Opus("Best Quality - Opus: 48000 Hz, Stereo, 256 kbps", 2, 256)}),
        AudioFormat("alac", ".m4a", "alac", "", true,
         {AlacSameAsSource(),
          Pcm("CD Quality - ALAC: 44100 Hz, Stereo, 16 bits", 2, 44100, "", "sample_fmt=s16")}),
        // The command line's video containers. MP3 and MPEG layer-2 take at
        // most two channels. Matroska keeps DVD and DVB subtitles as they
        // are; a program stream holds DVD subtitles only.
        VideoContainer("mp4", ".mp4", "aac", "libx264", "mpeg4", "", {}, H264Items()),
        VideoContainer("mkv", ".mkv", "aac", "libx264", "mpeg4", "subrip", {"dvdsub", "dvbsub"}, H264Items()),
        VideoContainer("avi", ".avi", "libmp3lame", "mpeg4", "", "", {},
                       {Movie("Normal Quality - MPEG-4: 1000 kbps; MP3: 128 kbps, Stereo", 1000, 128, 2),
                        Movie("High Quality - MPEG-4: 2500 kbps; MP3: 192 kbps, Stereo", 2500, 192, 2)}),
        VideoContainer("mpg", ".mpg", "mp2", "mpeg2video", "", "", {"dvdsub"},
                       {AtFullRate(Movie("Normal Quality - MPEG-2: 2500 kbps; MPEG layer-2: 192 kbps, Stereo", 2500, 192, 2)),
                        AtFullRate(Movie("High Quality - MPEG-2: 6000 kbps; MPEG layer-2: 256 kbps, Stereo", 6000, 256, 2))}),
    };
    return table;
}

std::string OutputExtension(int format) {
    if (format < 0 || format >= static_cast<int>(PresetTable().size())) return "";
    return PresetTable()[format].Extension;
}
