// tembrio-makesounds FOLDER: writes the end-of-batch sounds done.wav and
// fail.wav into FOLDER. The sounds are synthesised, so the sources hold no
// recorded media: a bright two-note chime for a batch without failures and a
// low, falling pair of notes for one with failures. Mono 16-bit PCM WAV.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 44100;

struct Note {
    double Start;      // seconds
    double Frequency;  // Hz
    double Decay;      // seconds for the level to fall to 1/e
    double Overtone;   // level of the second harmonic against the first
};

std::vector<double> Render(const std::vector<Note>& notes, double seconds) {
    std::vector<double> mix(static_cast<size_t>(seconds * SampleRate), 0.0);
    const double attack = 0.005;  // a softened start does not click
    for (const Note& note : notes) {
        for (size_t i = static_cast<size_t>(note.Start * SampleRate); i < mix.size(); ++i) {
            const double t = static_cast<double>(i) / SampleRate - note.Start;
            const double level = std::min(1.0, t / attack) * std::exp(-t / note.Decay);
            const double phase = 2 * std::numbers::pi * note.Frequency * t;
            mix[i] += level * (std::sin(phase) + note.Overtone * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
        }
    }
    // The tail fades to silence, so the sound ends without a click too.
    const size_t fade = SampleRate / 30;
    for (size_t k = 0; k < fade && k < mix.size(); ++k) mix[mix.size() - 1 - k] *= static_cast<double>(k) / fade;
    const double peak = std::max(1e-9, std::abs(*std::max_element(mix.begin(), mix.end(), [](double a, double b) {
        return std::abs(a) < std::abs(b);
    })));
    for (double& v : mix) v *= 0.6 / peak;
    return mix;
}

void PutLE(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteWav(const std::string& path, const std::vector<double>& samples) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    PutLE(out, 36 + dataSize, 4);
    out.write("WAVEfmt ", 8);
    PutLE(out, 16, 4);              // fmt chunk size
    PutLE(out, 1, 2);               // PCM
    PutLE(out, 1, 2);               // mono
    PutLE(out, SampleRate, 4);
    PutLE(out, SampleRate * 2, 4);  // bytes per second
    PutLE(out, 2, 2);               // bytes per frame
    PutLE(out, 16, 2);              // bits per sample
    out.write("data", 4);
    PutLE(out, dataSize, 4);
    for (double v : samples) {
        const long s = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        PutLE(out, static_cast<uint32_t>(static_cast<int16_t>(s)) & 0xFFFF, 2);
    }
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tembrio-makesounds FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    // G5 then C6: a rising fourth.
    const auto done = Render({{0.0, 783.99, 0.16, 0.25}, {0.14, 1046.50, 0.20, 0.25}}, 0.6);
    // A3 falling to F3, darker and slower.
    const auto fail = Render({{0.0, 220.00, 0.22, 0.5}, {0.26, 174.61, 0.30, 0.5}}, 0.8);
    for (const auto& [name, samples] : {std::pair{"done.wav", done}, std::pair{"fail.wav", fail}}) {
        if (!WriteWav(folder + name, samples)) {
            std::fprintf(stderr, "tembrio-makesounds: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
