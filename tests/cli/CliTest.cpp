// tembrio-convert as a user runs it: whole batches, bad files, parallel jobs,
// probe output and usage errors, checked with ffprobe.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <sys/wait.h>

#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class CliTest : public LibrariesTest {
protected:
    CliResult Run(const std::vector<std::string>& args) { return RunConvert(args, dir_); }
    // "codec,rate,channels" of the first audio stream, by ffprobe.
    std::string Probe(const std::string& file) {
        const std::string command = "ffprobe -v error -select_streams a:0 -show_entries "
                                    "stream=codec_name,sample_rate,channels -of csv=p=0 " +
                                    ShellQuote(file) + " >" + ShellQuote(dir_.File("probe")) + " 2>&1";
        if (std::system(command.c_str()) != 0) return "ffprobe failed: " + ReadTextFile(dir_.File("probe"));
        std::string text = ReadTextFile(dir_.File("probe"));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    // What decoding the first audio stream gives: the channels of its first
    // frame and the length of all of them at the stream's rate; its bit rate.
    struct TDecodedAudio {
        int Rate = 0, Channels = 0;
        double Seconds = 0;
        int64_t BitRate = 0;
    };
    TDecodedAudio Decode(const std::string& file) {
        TDecodedAudio a;
        std::istringstream lines(CommandOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                               "stream=sample_rate,bit_rate:frame=nb_samples,channels "
                                               "-of default=nw=1 " + ShellQuote(file)));
        int64_t samples = 0;
        for (std::string line; std::getline(lines, line);) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            const int64_t value = std::atoll(line.c_str() + eq + 1);
            if (key == "nb_samples") samples += value;
            if (key == "channels" && a.Channels == 0) a.Channels = static_cast<int>(value);
            if (key == "sample_rate") a.Rate = static_cast<int>(value);
            if (key == "bit_rate") a.BitRate = value;
        }
        if (a.Rate > 0) a.Seconds = static_cast<double>(samples) / a.Rate;
        return a;
    }
    std::string Source(const std::string& name) {
        return Utf8Path(GenerateFixture(WidePath(name), WidePath(src_.Path())));
    }
    TempDir dir_, src_, out_;
};

// One Ogg page holding `packet` whole (the format's CRC: polynomial
// 0x04C11DB7, most significant bit first, over the page with a zero CRC).
std::string OggPage(uint32_t serial, uint32_t sequence, uint8_t headerType, const std::string& packet) {
    std::string page = "OggS";
    page += '\0';
    page += static_cast<char>(headerType);
    auto put32 = [&page](uint32_t v) {
        for (int i = 0; i < 4; ++i) page += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(0);  // granule position, 64 bits
    put32(0);
    put32(serial);
    put32(sequence);
    put32(0);  // CRC, filled in below
    const size_t segments = packet.size() / 255 + 1;
    page += static_cast<char>(segments);
    for (size_t i = 0; i + 1 < segments; ++i) page += static_cast<char>(255);
    page += static_cast<char>(packet.size() % 255);
    page += packet;
    uint32_t crc = 0;
    for (unsigned char byte : page) {
        crc ^= static_cast<uint32_t>(byte) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return page;
}

// Adds to an Ogg file a second logical stream whose first packet no demuxer
// recognises: its first page after the file's first page (every stream starts
// before any data), its last page at the end.
void AddUnknownOggStream(const std::string& path) {
    std::string file = ReadTextFile(path);
    ASSERT_GT(file.size(), 27u);
    const size_t segments = static_cast<unsigned char>(file[26]);
    size_t firstPage = 27 + segments;
    for (size_t i = 0; i < segments; ++i) firstPage += static_cast<unsigned char>(file[27 + i]);
    const uint32_t serial = 0x7E57AB1E;
    file.insert(firstPage, OggPage(serial, 0, 2, "\x7fnothing anybody knows"));
    file += OggPage(serial, 1, 4, "last words");
    WriteTextFile(path, file);
}

} // namespace

TEST_F(CliTest, AStreamOfAnUnknownKindIsLeftOutAndTheSoundConverts) {
    const std::string ogg = src_.File("speex-and-more.ogg");
    WriteTone(WidePath(ogg), "libspeex", 16000, 1, 3.7);
    AddUnknownOggStream(ogg);
    ASSERT_EQ(CommandOutput("ffprobe -v quiet -show_entries stream=codec_type -of csv=p=0 " + ShellQuote(ogg)),
              "audio\nunknown\n");
    CliResult r = Run({"-f", "mp3", "-o", out_.Path(), ogg});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string mp3 = out_.File("speex-and-more.mp3");
    const double seconds = std::atof(
        CommandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 " + ShellQuote(mp3)).c_str());
    EXPECT_NEAR(seconds, 3.7, 0.1);
}

// Without -p every audio format keeps CD audio at its rate or higher, in stereo.
TEST_F(CliTest, AMixedSetConvertsToEveryFormatAndTheDefaultsKeepCdAudio) {
    const std::vector<std::string> files = {Source("tone-44k-stereo.wav"), Source("tagged-48k.flac"),
                                            Source("tone.mp3"), Source("video-audio.mp4")};
    const std::vector<std::pair<std::string, std::string>> formats = {
        {"wav", "pcm_"},    {"mp3", "mp3"}, {"wma", "wmav2"}, {"ogg", "vorbis"},
        {"aac", "aac"},     {"m4a", "aac"}, {"flac", "flac"}, {"mp2", "mp2"},
        {"opus", "opus"},   {"alac", "alac"}};
    for (const auto& [format, codec] : formats) {
        SCOPED_TRACE(format);
        const std::string extension = format == "alac" ? "m4a" : format;
        const std::string out = out_.File(format);
        std::vector<std::string> args = {"-f", format, "-o", out};
        args.insert(args.end(), files.begin(), files.end());
        CliResult r = Run(args);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("Total files: 4\nSuccessed: 4\nFailed: 0\n"), std::string::npos) << r.out;
        for (const char* stem : {"tone-44k-stereo", "tagged-48k", "tone", "video-audio"}) {
            const std::string file = out + "/" + stem + "." + extension;
            ASSERT_TRUE(fs::exists(file)) << file;
            EXPECT_EQ(Probe(file).substr(0, codec.size()), codec) << file;
        }
        for (const char* cd : {"tone-44k-stereo", "tone"}) {
            const TDecodedAudio a = Decode(out + "/" + cd + "." + extension);
            EXPECT_GE(a.Rate, 44100) << cd;
            EXPECT_EQ(a.Channels, 2) << cd;
            EXPECT_NEAR(a.Seconds, 2.0, 0.1) << cd;
        }
    }
}

// ALAC is lossless: its default preset keeps the source's rate, channels and
// bits, and a decode gives back every sample as it was, 16 or 24 bits.
TEST_F(CliTest, AlacGivesBackEverySampleOf16And24BitSources) {
    WriteTone(WidePath(src_.File("cd.wav")), "pcm_s16le", 44100, 2, 1.3);
    TFixtureMedia flac;  // FLAC keeps 24 bits of 32-bit samples
    flac.Seconds = 1.3;
    flac.Audio.push_back({"flac", 96000, 1, AV_SAMPLE_FMT_S32});
    WriteMedia(WidePath(src_.File("studio.flac")), flac);
    WriteTone(WidePath(src_.File("studio.wav")), "pcm_s24le", 48000, 2, 1.3);
    const CliResult r = Run({"-f", "alac", "-o", out_.Path(), src_.File("cd.wav"), src_.File("studio.flac"),
                             src_.File("studio.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const struct {
        std::string Source, Output, Samples;
    } cases[] = {{"cd.wav", "cd.m4a", "s16p,16"}, {"studio.flac", "studio.m4a", "s32p,24"},
                 {"studio.wav", "studio(1).m4a", "s32p,24"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Source);
        const std::string source = src_.File(c.Source), output = out_.File(c.Output);
        const std::string rateAndChannels = Probe(source).substr(Probe(source).find(','));
        EXPECT_EQ(Probe(output), "alac" + rateAndChannels);
        EXPECT_EQ(CommandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=sample_fmt,"
                                "bits_per_raw_sample -of csv=p=0 " + ShellQuote(output)),
                  c.Samples + "\n");
        const auto samples = [](const std::string& file) {
            return CommandOutput("ffmpeg -v error -i " + ShellQuote(file) + " -f s32le - | md5sum");
        };
        EXPECT_EQ(samples(output), samples(source));
    }
}

// WMA's highest preset keeps the source's rate where the encoder takes it
// (up to 48 kHz) and gives more bits than the best of the others.
TEST_F(CliTest, HighestWmaKeepsTheSourcesRate) {
    WriteToneWav(WidePath(src_.File("hi-res.wav")), 96000, 2, 2.0);
    WriteToneWav(WidePath(src_.File("low.wav")), 22050, 1, 2.0);
    const std::vector<std::pair<std::string, int>> sources = {
        {Source("tone.mp3"), 44100}, {Source("tagged-48k.flac"), 48000},
        {src_.File("hi-res.wav"), 48000}, {src_.File("low.wav"), 22050}};
    CliResult r = Run({"-f", "wma", "-p", "4", "-o", out_.File("best"), sources[0].first, sources[1].first,
                       sources[2].first, sources[3].first});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    r = Run({"-f", "wma", "-p", "0", "-o", out_.File("p0"), sources[0].first});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const int64_t bestOfTheOthers = Decode(out_.File("p0/tone.wma")).BitRate;
    ASSERT_GT(bestOfTheOthers, 0);
    for (const auto& [source, rate] : sources) {
        const std::string stem = fs::path(source).stem().string();
        SCOPED_TRACE(stem);
        const TDecodedAudio a = Decode(out_.File("best/" + stem + ".wma"));
        EXPECT_EQ(Probe(out_.File("best/" + stem + ".wma")).substr(0, 6), "wmav2,");
        EXPECT_EQ(a.Rate, rate);
        EXPECT_EQ(a.Channels, 2);
        EXPECT_NEAR(a.Seconds, 2.0, 0.1);
        EXPECT_GT(a.BitRate, bestOfTheOthers);
    }
}

TEST_F(CliTest, ABadFileIsReportedWhileTheOthersConvert) {
    const std::string good = Source("tone-44k-stereo.wav");
    const std::string bad = Source("text.mp3");
    CliResult r = Run({"-f", "flac", "-o", out_.Path(), bad, good});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("File load error: " + bad + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Total files: 2\nSuccessed: 1\nFailed: 1\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(out_.File("tone-44k-stereo.flac")));
    EXPECT_FALSE(fs::exists(out_.File("text.flac")));
}

TEST_F(CliTest, AFailedQueueAttemptLeavesNoOutputFile) {
    const std::string good = Source("tone-44k-stereo.wav");
    // An option the engine refuses makes the output's set-up fail.
    CliResult r = Run({"-f", "mp3", "-o", out_.Path(), "-x", "qscale=0", good});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot do convert, error: qscale must be > 0.0 and <= 255"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(out_.Path()));
}

TEST_F(CliTest, TwoJobsWriteTheSameFilesAsOne) {
    std::vector<std::string> files = {Source("tone-44k-stereo.wav"), Source("tagged-48k.flac"), Source("tone.mp3"),
                                      Source("tone.ogg")};
    for (const char* jobs : {"1", "2"}) {
        std::vector<std::string> args = {"-f", "flac", "-j", jobs, "-o", out_.File(jobs)};
        args.insert(args.end(), files.begin(), files.end());
        ASSERT_EQ(Run(args).exitCode, 0);
    }
    for (const auto& entry : fs::directory_iterator(out_.File("1"))) {
        const std::string other = out_.File("2") + "/" + entry.path().filename().string();
        EXPECT_EQ(ReadTextFile(entry.path()), ReadTextFile(other)) << entry.path();
    }
}

// With several jobs the files are spread over two encoder components that take
// turns; every file must still be reported once, under its own name.
TEST_F(CliTest, TwoJobsReportEveryFileOnceUnderItsOwnName) {
    WriteToneWav(WidePath(src_.File("0.wav")), 44100, 2, 0.3);
    std::vector<std::string> args = {"-f", "flac", "-j", "2", "-o", out_.Path()};
    const int count = 60;
    for (int i = 0; i < count; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        if (i > 0) fs::copy_file(src_.File("0.wav"), name);
        args.push_back(name);
        if (i == count / 2) args.push_back(Source("text.mp3"));
    }
    CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Total files: 61\nSuccessed: 60\nFailed: 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("File load error: "), std::string::npos) << r.err;
    std::map<std::string, int> reported;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Finish: ", 0) == 0) ++reported[line.substr(8)];
    ASSERT_EQ(reported.size(), static_cast<size_t>(count)) << r.out;
    for (int i = 0; i < count; ++i) {
        const std::string expected = std::to_string(i) + ".wav -> " + out_.File(std::to_string(i) + ".flac");
        EXPECT_EQ(reported[expected], 1) << expected;
    }
}

// Ctrl-C stops the batch: what ran is finalised, nothing queued is left behind
// as an empty file, and the batch counts as failed.
TEST_F(CliTest, InterruptStopsTheBatchAndLeavesNoEmptyFile) {
    WriteToneWav(WidePath(src_.File("0.wav")), 44100, 2, 1.0);
    std::string command = "exec " + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert") +
                          " -j 2 -o " + ShellQuote(out_.Path());
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        if (i > 0) fs::copy_file(src_.File("0.wav"), name);
        command += " " + ShellQuote(name);
    }
    std::string out;
    bool signalled = false;
    const int status = RunAndSignalAfterFirstFile(command, SIGINT, out, signalled);
    ASSERT_TRUE(signalled) << out;
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 1) << out;
    EXPECT_NE(out.find("Total files: 300\n"), std::string::npos) << out;
    int finished = 0, stopped = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Finish: ", 0) == 0) ++finished;
        if (line.rfind("Stopped: ", 0) == 0) ++stopped;
    }
    EXPECT_NE(out.find("Successed: " + std::to_string(finished) + "\n"), std::string::npos) << out;
    EXPECT_LT(finished, count);
    EXPECT_GT(stopped, 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out_.Path())) {
        ++files;
        EXPECT_GT(fs::file_size(entry.path()), 0u) << entry.path();
    }
    EXPECT_GE(files, finished);
}

TEST_F(CliTest, SameNamesInOneBatchGetACounter) {
    const std::string wav = Source("tone-44k-stereo.wav");
    fs::copy_file(wav, src_.File("a.wav"));
    WriteTone(WidePath(src_.File("a.flac")), "flac", 44100, 2, 0.5);
    CliResult r = Run({"-o", out_.Path(), src_.File("a.wav"), src_.File("a.flac")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(out_.File("a.mp3")));
    EXPECT_TRUE(fs::exists(out_.File("a(1).mp3")));
}

TEST_F(CliTest, ElevenHundredFilesQueueAndConvert) {
    WriteToneWav(WidePath(src_.File("0.wav")), 8000, 1, 0.05);
    std::vector<std::string> args = {"-f", "wav", "-o", out_.Path()};
    for (int i = 0; i < 1100; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        if (i > 0) fs::copy_file(src_.File("0.wav"), name);
        args.push_back(name);
    }
    CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(0, 2000);
    EXPECT_NE(r.out.find("Total files: 1100\nSuccessed: 1100\nFailed: 0\n"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(out_.Path()), fs::directory_iterator()), 1100);
}

// Damaged copies of every fixture (bytes changed, cut short, a piece
// repeated): each is either converted or reported, and nothing crashes.
TEST_F(CliTest, DamagedFilesAreConvertedOrReportedNeverCrash) {
    std::mt19937 random(20261209);
    auto below = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    std::vector<std::string> args = {"-f", "ogg", "-j", "2", "-o", out_.Path()};
    int count = 0;
    for (const std::wstring& name : FixtureNames()) {
        const std::string source = Utf8Path(GenerateFixture(name, WidePath(src_.Path())));
        const std::string original = ReadTextFile(source);
        if (original.empty()) continue;
        for (int kind = 0; kind < 3; ++kind) {
            std::string damaged = original;
            if (kind == 0) {
                for (int i = 0; i < 24; ++i) damaged[below(damaged.size())] = static_cast<char>(random());
            } else if (kind == 1) {
                damaged.resize(below(damaged.size()));
            } else {
                const size_t at = below(damaged.size());
                damaged.insert(at, damaged.substr(at, 2048));
            }
            const std::string file = dir_.File(std::to_string(count++) + fs::path(source).extension().string());
            WriteTextFile(file, damaged);
            args.push_back(file);
        }
    }
    CliResult r = Run(args);
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << "\n" << r.err.substr(0, 2000);
    EXPECT_NE(r.out.find("Total files: " + std::to_string(count) + "\n"), std::string::npos) << r.out;
    // One line per file: "Finish:" on standard output, a failure on standard error.
    auto countLines = [](const std::string& text, std::initializer_list<const char*> starts) {
        int n = 0;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            for (const char* start : starts) n += line.rfind(start, 0) == 0 ? 1 : 0;
        return n;
    };
    const int finished = countLines(r.out, {"Finish: "});
    const int failed = countLines(r.err, {"Failed: ", "File load error: ", "Adding file error: ",
                                          "Cannot do convert, error: "});
    EXPECT_EQ(finished + failed, count) << r.out << r.err;
    EXPECT_NE(r.out.find("Successed: " + std::to_string(finished) + "\n"), std::string::npos) << r.out;
}

TEST_F(CliTest, InfoPrintsTheProbeRecordsOrTheError) {
    const std::string flac = Source("tagged-48k.flac");
    CliResult r = Run({"--info", flac});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Audio.SampleRate: 48000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Title: "), std::string::npos);
    CliResult missing = Run({"--info", src_.File("missing.mp3")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
}

TEST_F(CliTest, InfoListsEveryStreamAndTheCoverAndAConversionSaysWhichAudioItTook) {
    TFixtureMedia m;
    m.Seconds = 1.0;
    m.Audio = {{"aac", 44100, 2}, {"aac", 22050, 1}};
    m.Pictures = {{"png", 64, 48, "Cover (front)"}};
    const std::string source = src_.File("two-audio-cover.m4a");
    WriteMedia(WidePath(source), m);

    CliResult info = Run({"--info", source});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Streams: 3\nStream.0: audio, aac, 44100 Hz, 2 channels"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Stream.1: audio, aac, 22050 Hz, 1 channel"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Stream.2: video, png, 64x48, attached picture of "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Cover: 64x48, png, "), std::string::npos) << info.out;

    CliResult converted = Run({"-f", "mp3", "-o", out_.Path(), source});
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    EXPECT_NE(converted.out.find("two-audio-cover.m4a: Converting audio stream #0.0; 1 more audio stream left out.\n"
                                 "Finish: "),
              std::string::npos)
        << converted.out;
    CliResult output = Run({"--info", out_.File("two-audio-cover.mp3")});
    EXPECT_NE(output.out.find("Streams: 2\n"), std::string::npos) << output.out;
    EXPECT_NE(output.out.find("Cover: 64x48, png, "), std::string::npos) << output.out;
    EXPECT_NE(Run({"--info", Source("tone.mp3")}).out.find("Cover: none\n"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", "a.wav"}, {"-f", "xyz", "a.wav"}, {"-p", "9", "a.wav"}, {"-j", "0", "a.wav"},
             {"-x", "novalue", "a.wav"}}) {
        CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("usage: tembrio-convert"), std::string::npos);
    }
    CliResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    CliResult presets = Run({"--list-presets"});
    EXPECT_NE(presets.out.find("* 5  Compression Level 5 (Default)\n"), std::string::npos);
    EXPECT_NE(presets.out.find("opus:\n  0  Speech"), std::string::npos) << presets.out;
    EXPECT_NE(presets.out.find("* 2  Normal Quality - Opus"), std::string::npos);
    EXPECT_NE(presets.out.find("alac:\n* 0  Same as source"), std::string::npos);
    EXPECT_NE(help.out.find("opus (Ogg Opus) and alac (Apple Lossless"), std::string::npos);
}
