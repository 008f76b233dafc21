// tembrio-fuzz-seeds: writes the seed media of the probe and conversion fuzz
// targets into a folder. Short files, so that mutations stay cheap and most of
// each file is the container's structure, in the formats users add most.
//   tembrio-fuzz-seeds FOLDER
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Exception.h"
#include "FFLoad.h"
#include "Fixtures.h"

namespace {

constexpr double Seconds = 0.25;

struct TSeed {
    const wchar_t* Name;
    TFixtureMedia Media;
};

TFixtureMedia Audio(const std::string& encoder, int rate, int channels, int bitRate = 0,
                    AVSampleFormat format = AV_SAMPLE_FMT_NONE) {
    TFixtureMedia m;
    m.Seconds = Seconds;
    m.Audio.push_back({encoder, rate, channels, format, 440.0, bitRate});
    m.Tags = {{"title", "Seed"}, {"artist", "Fuzz"}};
    return m;
}

TFixtureMedia WithVideo(TFixtureMedia m) {
    m.Video.push_back({"mpeg4", 64, 48, 10});
    return m;
}

TFixtureMedia WithSubtitles(TFixtureMedia m, const char* codec) {
    m.Subtitles.push_back({codec, {{0.05, 0.15, "Seed"}}});
    return m;
}

std::vector<TSeed> Seeds() {
    return {
        {L"s16.wav", Audio("pcm_s16le", 22050, 1, 0, AV_SAMPLE_FMT_S16)},
        {L"u8.wav", Audio("pcm_u8", 8000, 2, 0, AV_SAMPLE_FMT_U8)},
        {L"flt.wav", Audio("pcm_f32le", 11025, 1, 0, AV_SAMPLE_FMT_FLT)},
        {L"tone.mp3", Audio("libmp3lame", 44100, 2, 64000)},
        {L"tone.ogg", Audio("libvorbis", 22050, 1)},
        {L"tone.flac", Audio("flac", 44100, 2)},
        {L"tone.aac", Audio("aac", 22050, 2, 64000)},
        {L"tone.m4a", Audio("aac", 44100, 1, 64000)},
        {L"tone.wma", Audio("wmav2", 22050, 2, 64000)},
        {L"tone.mp2", Audio("mp2", 32000, 1, 64000)},
        {L"tone.ac3", Audio("ac3", 48000, 2, 96000)},
        {L"tone.opus.mka", Audio("libopus", 48000, 2, 32000)},
        {L"tone.aiff", Audio("pcm_s16be", 22050, 1, 0, AV_SAMPLE_FMT_S16)},
        {L"video-audio.mp4", WithVideo(Audio("aac", 22050, 1, 32000))},
        {L"video-audio.mkv", WithVideo(Audio("mp2", 22050, 1, 64000))},
        {L"video-audio.avi", WithVideo(Audio("libmp3lame", 22050, 1, 32000))},
        {L"video-subrip.mkv", WithSubtitles(WithVideo(Audio("aac", 22050, 1, 32000)), "subrip")},
        {L"video-dvbsub.mkv", WithSubtitles(WithVideo(Audio("mp2", 22050, 1, 64000)), "dvbsub")},
    };
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    if (!file) throw Exception("cannot write " + path);
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v);
    out += static_cast<char>(v >> 8);
}

// A mono 32-bit float WAV of a tone with the given samples replaced. The
// fixture writers only make tones within full scale; such files found that
// samples which are not finite, or far beyond full scale (1e10), reach the
// MP3 encoder unchecked, whose library then aborts the process.
void WriteFloatWav(const std::string& path, const std::vector<std::pair<size_t, float>>& replaced) {
    constexpr uint32_t Rate = 22050;
    std::vector<float> samples(Rate / 10);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(2.0 * M_PI * 440.0 * i / Rate);
    for (const auto& [index, value] : replaced) samples.at(index) = value;
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * sizeof(float));
    std::string out = "RIFF";
    Put32(out, 36 + dataSize);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 3);  // IEEE float
    Put16(out, 1);
    Put32(out, Rate);
    Put32(out, Rate * sizeof(float));
    Put16(out, sizeof(float));
    Put16(out, 32);
    out += "data";
    Put32(out, dataSize);
    for (float s : samples) {
        uint32_t bits;
        std::memcpy(&bits, &s, sizeof bits);
        Put32(out, bits);
    }
    WriteBytes(path, out);
}

// An AVI header whose video stream claims 64 x 1296433176 pixels: the product
// overflows an int where the engine reads the stream's aspect ratio. Found by
// fuzz_convert and minimised by libFuzzer; the bytes are kept as they came.
void WriteTallAvi(const std::string& path) {
    static const unsigned char bytes[] = {
        0x52, 0x49, 0x46, 0x46, 0x96, 0x2e, 0x00, 0x00, 0x41, 0x56, 0x49, 0x20, 0x73, 0x74, 0x72, 0x68,
        0x38, 0x00, 0x00, 0x00, 0x76, 0x69, 0x64, 0x73, 0x46, 0x4d, 0x50, 0x34, 0x00, 0x00, 0xff, 0xff,
        0x5f, 0x30, 0x00, 0x01, 0x4d, 0xed, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x33, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4f, 0x01, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x30, 0x00, 0x73, 0x74, 0x72, 0x66,
        0x28, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x18, 0x00, 0x46, 0x4d,
        0x50, 0xe9, 0xcf, 0x84, 0x08, 0x90, 0x35, 0x8b, 0x40, 0x93, 0x00, 0x72, 0xaf, 0xfd, 0xff, 0xfe,
        0x69, 0x00, 0xff, 0xff, 0xff, 0x50, 0x54, 0x20, 0x2a, 0x2a, 0x2a, 0x00, 0x00, 0x00, 0x62, 0x06,
        0x00, 0x00, 0x69,
    };
    WriteBytes(path, std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (argc != 2) {
        std::fprintf(stderr, "usage: tembrio-fuzz-seeds FOLDER\n");
        return 2;
    }
    TFFBindProcess binding;
    FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
    if (!FFLoader()->Load(EngineLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader()->LastError().c_str());
        return 1;
    }
    try {
        std::filesystem::create_directories(argv[1]);
        const std::wstring folder = WidePath(argv[1]);
        for (const TSeed& seed : Seeds()) WriteMedia(folder + L"/" + seed.Name, seed.Media);
        const std::string dir = argv[1];
        WriteFloatWav(dir + "/non-finite.wav", {{1000, std::numeric_limits<float>::quiet_NaN()},
                                                {1500, std::numeric_limits<float>::infinity()}});
        WriteFloatWav(dir + "/huge-sample.wav", {{1000, 1e10f}});
        WriteTallAvi(dir + "/tall-video.avi");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
