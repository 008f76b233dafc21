// tembrio-fuzz-seeds: writes the seed media of the probe and conversion fuzz
// targets into a folder. Short files, so that mutations stay cheap and most of
// each file is the container's structure, in the formats users add most.
//   tembrio-fuzz-seeds FOLDER
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
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
    };
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
