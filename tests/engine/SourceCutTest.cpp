// Tracks cut from an album image: each output holds exactly its stretch's
// samples (lossless tracks join to the image bit for bit), a late track is
// read from near its start, a lossy track lasts its stretch within an
// encoder frame, a source short of a track is judged by the track, and a
// track's own tags replace the image's while its album and cover stay.
#include <taglib/flacfile.h>
#include <taglib/xiphcomment.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>

#include "CapturedLog.h"
#include "SourceCutter.h"
#include "TranscodeTestSupport.h"

namespace {

constexpr int Rate = 44100;
constexpr int SamplesPerCdFrame = Rate / 75;
// The image's tracks, in CD frames (1/75 s), as a cue sheet gives them; the
// last runs to the end of the image, 1234 samples after 20 s.
constexpr int64_t TrackStarts[] = {0, 412, 1163};
constexpr int64_t ImageSamples = 20LL * Rate + 1234;

int64_t TrackStartSample(int track) { return TrackStarts[track] * SamplesPerCdFrame; }
int64_t TrackEndSample(int track) { return track + 1 < 3 ? TrackStartSample(track + 1) : ImageSamples; }

TSourceCut TrackCut(int track) {
    TSourceCut cut;
    cut.Start = TrackStarts[track];
    cut.Length = track + 1 < 3 ? TrackStarts[track + 1] - TrackStarts[track] : -1;
    return cut;
}

// Sample n of channel c: each track a tone of its own under a little noise,
// so that no sample is where another should be.
int16_t ImageSample(int64_t n, int c) {
    const double frequency = n < TrackStartSample(1) ? 440.0 : n < TrackStartSample(2) ? 554.37 : 659.26;
    uint32_t h = static_cast<uint32_t>(n) * 2654435761u + static_cast<uint32_t>(c) * 40503u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    const double tone = 9000.0 * std::sin(2 * M_PI * frequency * static_cast<double>(n) / Rate + c);
    return static_cast<int16_t>(std::lrint(tone) + static_cast<int>(h % 512) - 256);
}

void Put(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> (8 * i) & 0xFF));
}

// The image as 16-bit stereo PCM in a WAV file.
void WriteImageWav(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const uint32_t data = static_cast<uint32_t>(ImageSamples * 4);
    out.write("RIFF", 4);
    Put(out, 36 + data, 4);
    out.write("WAVEfmt ", 8);
    Put(out, 16, 4);
    Put(out, 1, 2);
    Put(out, 2, 2);
    Put(out, Rate, 4);
    Put(out, Rate * 4, 4);
    Put(out, 4, 2);
    Put(out, 16, 2);
    out.write("data", 4);
    Put(out, data, 4);
    for (int64_t n = 0; n < ImageSamples; ++n)
        for (int c = 0; c < 2; ++c) Put(out, static_cast<uint16_t>(ImageSample(n, c)), 2);
}

// Where the log says the decoding of a cut stream began, in seconds; -1 when it does not.
double DecodedFrom(const std::vector<std::string>& lines) {
    static const std::regex pattern(R"(cut from [0-9.]+ s to .*, decoded from ([0-9.]+) s)");
    std::smatch match;
    for (const std::string& line : lines)
        if (std::regex_search(line, match, pattern)) return std::stod(match[1]);
    return -1;
}

class SourceCutTest : public TranscodeTest {
protected:
    // A task converting `cut` of `input` into `name` by `output`.
    void OpenCut(const std::string& input, const TSourceCut& cut, TOutputOptions output, const std::string& name) {
        task = std::make_unique<TCustomFFmpeg>(20);
        TInputOptions record;
        ResetInputOptions(record);
        record.FileName = WidePath(input);
        record.Cut = cut;
        ASSERT_TRUE(OpenInputWithRecord(*task, record.FileName, &record, 10000)) << task->SetupError;
        output.FileName = WidePath(Out(name));
        ASSERT_GE(OpenOutputWithRecord(*task, output.FileName, &output, 10000), 1) << task->SetupError;
    }

    // The image in `container` ("wav", "flac", "mka": FLAC in Matroska,
    // whose clock of milliseconds cannot place single samples).
    std::string Image(const std::string& container) {
        const std::string wav = Out("image.wav");
        if (!std::ifstream(wav)) WriteImageWav(wav);
        if (container == "wav") return wav;
        TOutputOptions o = AudioRecord("flac", Rate);
        if (container == "mka") o.FileFormat = "matroska";
        Open({wav}, o, "image." + container);
        EXPECT_EQ(Run(), "");
        task.reset();
        return Out("image." + container);
    }

    // Converts track `track` of `image` into `name`; the error, or "".
    std::string ConvertTrack(const std::string& image, int track, TOutputOptions output, const std::string& name) {
        OpenCut(image, TrackCut(track), output, name);
        if (!task) return "not opened";
        const std::string error = RunTask();
        warning = task->SourceWarning;
        task.reset();
        return error;
    }

    std::string warning;
};

} // namespace

TEST_F(SourceCutTest, LosslessTracksHoldExactlyTheirSamplesAndJoinToTheImage) {
    for (const char* container : {"wav", "flac", "mka"}) {
        SCOPED_TRACE(container);
        const std::string image = Image(container);
        const TDecoded whole = DecodeFile(image, AV_SAMPLE_FMT_S16);
        ASSERT_EQ(whole.Samples(), ImageSamples);
        std::vector<uint8_t> joined;
        for (int track = 0; track < 3; ++track) {
            SCOPED_TRACE(track);
            const std::string name = std::string(container) + "-" + std::to_string(track + 1) + ".flac";
            CapturedLog log(llVerbose);
            ASSERT_EQ(ConvertTrack(image, track, AudioRecord("flac", Rate), name), "");
            const TDecoded decoded = DecodeFile(Out(name), AV_SAMPLE_FMT_S16);
            EXPECT_EQ(decoded.Samples(), TrackEndSample(track) - TrackStartSample(track));
            joined.insert(joined.end(), decoded.Bytes.begin(), decoded.Bytes.end());
            EXPECT_EQ(warning, "");
            // A late track is read from a little before it; a clock that
            // cannot place samples has them counted from the start.
            const double from = DecodedFrom(log.Lines());
            const double start = static_cast<double>(TrackStartSample(track)) / Rate;
            if (std::string(container) == "mka" || track == 0) {
                EXPECT_EQ(from, 0.0);
            } else {
                EXPECT_LE(from, start);
                EXPECT_GT(from, start - 2.5);
            }
        }
        EXPECT_TRUE(joined == whole.Bytes) << joined.size() << " bytes joined, the image " << whole.Bytes.size();
    }
}

TEST_F(SourceCutTest, ALossyTrackLastsItsStretchWithinAnEncoderFrameAndTheProgressKnowsIt) {
    const std::string image = Image("flac");
    OpenCut(image, TrackCut(1), AudioRecord("libmp3lame", Rate), "track.mp3");
    const int64_t stretch = TrackEndSample(1) - TrackStartSample(1);
    EXPECT_NEAR(static_cast<double>(task->TotalDuration), stretch * 1e6 / Rate, 1.0);
    ASSERT_EQ(RunTask(), "");
    task.reset();
    const TDecoded decoded = DecodeFile(Out("track.mp3"), AV_SAMPLE_FMT_S16);
    EXPECT_NEAR(static_cast<double>(decoded.Samples()), static_cast<double>(stretch), 1152.0);
}

TEST_F(SourceCutTest, ASourceShortOfATrackIsJudgedByTheTrack) {
    const std::string image = Image("flac");
    // The image loses its last 3 seconds on disk; its header still promises them.
    const std::string bytes = ReadTextFile(image);
    const std::string cut = Out("cut.flac");
    WriteTextFile(cut, bytes.substr(0, bytes.size() * 17 / 20));
    // The second track lies wholly in what is left, the last one only partly.
    ASSERT_EQ(ConvertTrack(cut, 1, AudioRecord("flac", Rate), "second.flac"), "");
    EXPECT_EQ(warning, "");
    ASSERT_EQ(ConvertTrack(cut, 2, AudioRecord("flac", Rate), "last.flac"), "");
    const double read = static_cast<double>(DecodeFile(Out("last.flac"), AV_SAMPLE_FMT_S16).Samples()) / Rate;
    ASSERT_GT(read, 0.5);
    std::smatch told;
    ASSERT_TRUE(std::regex_match(warning, told, std::regex(R"(source damaged: only ([0-9.]+) s of ([0-9.]+) s could be read)")))
        << warning;
    EXPECT_NEAR(std::stod(told[1]), read, 0.2);
    EXPECT_EQ(told[2], "4.5");
}

TEST_F(SourceCutTest, ATracksTagsReplaceTheImagesWholeFileTagsWhileItsAlbumAndCoverStay) {
    TFixtureMedia m;
    m.Seconds = 20.0;
    m.Audio.push_back({"flac", Rate, 2});
    m.Pictures.push_back({"mjpeg", 64, 48, "Cover (front)"});
    m.Tags = {{"title", "The Whole Concert"}, {"artist", "The Band"},      {"album", "Live"},
              {"track", "1/1"},               {"CUESHEET", "FILE x WAVE"}, {"REPLAYGAIN_TRACK_GAIN", "-6.00 dB"},
              {"LYRICS", "All of them"},      {"date", "1999"}};
    WriteMedia(WidePath(Out("tagged.flac")), m);
    TOutputOptions o = AudioRecord("flac", Rate);
    o.Tags = {{"title", "Second Song"}, {"track", "2"}, {"track_total", "3"}};
    ASSERT_EQ(ConvertTrack(Out("tagged.flac"), 1, o, "song.flac"), "");

    TagLib::FLAC::File file(Out("song.flac").c_str());
    ASSERT_TRUE(file.isValid());
    std::map<std::string, std::string> fields;
    for (const auto& [name, values] : file.xiphComment()->fieldListMap())
        fields[name.to8Bit(true)] = values.toString("|").to8Bit(true);
    fields.erase("ENCODER");
    const std::map<std::string, std::string> expected = {{"TITLE", "Second Song"}, {"TRACKNUMBER", "2"},
                                                         {"TRACKTOTAL", "3"},      {"ARTIST", "The Band"},
                                                         {"ALBUM", "Live"},        {"DATE", "1999"}};
    EXPECT_EQ(fields, expected);
    EXPECT_EQ(file.pictureList().size(), 1u);

    // Nor does a track keep the chapters of the whole.
    TFixtureMedia chaptered;
    chaptered.Seconds = 20.0;
    chaptered.Audio.push_back({"flac", Rate, 2});
    chaptered.Chapters = {{0, 6, "One"}, {6, 13, "Two"}, {13, 20, "Three"}};
    WriteMedia(WidePath(Out("chapters.mka")), chaptered);
    ASSERT_EQ(ConvertTrack(Out("chapters.mka"), 1, AudioRecord("flac", Rate), "song.mka"), "");
    EXPECT_EQ(CommandOutput("ffprobe -v error -show_chapters -of csv=p=0 " + ShellQuote(Out("song.mka"))), "");
}
