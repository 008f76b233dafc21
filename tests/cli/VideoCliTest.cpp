// tembrio-convert with the video containers: what the files it writes hold
// (ffprobe counts every picture, so a file that does not decode to its end
// shows), the options of -x reaching the conversion, the sound in step with
// the picture, and subtitles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "FFPtr.h"
#include "Fixtures.h"
#include "MediaIO.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class VideoCliTest : public LibrariesTest {
protected:
    CliResult Run(const std::vector<std::string>& args, const std::string& shellPrefix = "") {
        return RunConvert(args, dir_, shellPrefix);
    }
    std::string Source(const std::string& name) {
        return Utf8Path(GenerateFixture(WidePath(name), WidePath(src_.Path())));
    }
    // ffprobe's `entries` of stream `stream` ("v:0", "a:0", "s:0"), comma
    // separated in the order asked for, and after them whatever ffprobe
    // complained about; the pictures are counted by decoding them.
    std::string Probe(const std::string& file, const std::string& stream, const std::string& entries) {
        const std::string text = CommandOutput("ffprobe -v error -count_frames -select_streams " + stream +
                                               " -show_entries stream=" + entries + " -of default=nw=1 " +
                                               ShellQuote(file) + " 2>&1");
        std::map<std::string, std::string> values;
        std::string complaints;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && entries.find(line.substr(0, eq)) != std::string::npos)
                values.emplace(line.substr(0, eq), line.substr(eq + 1));  // a program's copy comes second
            else if (!line.empty())
                complaints += "\n" + line;
        }
        std::string result;
        std::istringstream keys(entries);
        for (std::string key; std::getline(keys, key, ',');) result += (result.empty() ? "" : ",") + values[key];
        return result + complaints;
    }
    // A clip of 3 s whose sound (AAC) starts 0.459 s after its picture; its
    // container counts in milliseconds, so the sound's time stamps jitter.
    std::string LateSoundClip() {
        TFixtureMedia media;
        media.Seconds = 3;
        media.Video.push_back({});
        TFixtureAudio sound;
        sound.Encoder = "aac";
        sound.Start = 0.459;
        media.Audio.push_back(sound);
        const std::string path = src_.File("late-sound.mkv");
        WriteMedia(WidePath(path), media);
        return path;
    }
    // "codec,width,height,rate" of the first video stream, and its picture count in `frames`.
    std::string Picture(const std::string& file, int& frames) {
        const std::string line = Probe(file, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames");
        const size_t comma = line.find_last_of(',');
        frames = comma == std::string::npos ? -1 : std::atoi(line.c_str() + comma + 1);
        return line.substr(0, comma);
    }
    TempDir dir_, src_, out_;
};

// The luma at (x, y) of the first picture of `file`, or -1.
int FirstPictureLuma(const std::string& file, double x, double y) {
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, file, nullptr, nullptr) < 0) return -1;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return -1;
    const int index = ff::av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return -1;
    const AVCodec* codec = ff::avcodec_find_decoder(raw->streams[index]->codecpar->codec_id);
    CodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(dec.get(), raw->streams[index]->codecpar);
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return -1;
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    bool got = false;
    while (!got && ff::av_read_frame(raw, pkt.get()) >= 0) {
        if (pkt->stream_index == index && ff::avcodec_send_packet(dec.get(), pkt.get()) >= 0)
            got = ff::avcodec_receive_frame(dec.get(), frame.get()) == 0;
        ff::av_packet_unref(pkt.get());
    }
    if (!got) {
        ff::avcodec_send_packet(dec.get(), nullptr);
        got = ff::avcodec_receive_frame(dec.get(), frame.get()) == 0;
    }
    if (!got) return -1;
    const int px = static_cast<int>(x * (frame->width - 1)), py = static_cast<int>(y * (frame->height - 1));
    return frame->data[0][py * frame->linesize[0] + px];
}

// When the first picture of `file` is shown, or when its sound is first
// heard (a sample of channel 0 louder than 1/20 of full scale), in seconds;
// -1 when there is none. The decoder drops what the container says is no
// sound (an encoder's priming).
double FirstMoment(const std::string& file, AVMediaType type) {
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, file, nullptr, nullptr) < 0) return -1;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return -1;
    const int index = ff::av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (index < 0) return -1;
    const AVStream* st = raw->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    CodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(dec.get(), st->codecpar);
    dec->pkt_timebase = st->time_base;
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return -1;
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    // The moment within `frame` that counts, or -1.
    auto moment = [&]() -> double {
        const double start = frame->best_effort_timestamp * av_q2d(st->time_base);
        if (type == AVMEDIA_TYPE_VIDEO) return start;
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const int step = ff::av_sample_fmt_is_planar(format) ? 1 : frame->ch_layout.nb_channels;
        for (int i = 0; i < frame->nb_samples; ++i) {
            double value = 0;
            if (ff::av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_FLT)
                value = reinterpret_cast<const float*>(frame->data[0])[i * step];
            else if (ff::av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_S16)
                value = reinterpret_cast<const int16_t*>(frame->data[0])[i * step] / 32768.0;
            if (std::abs(value) > 0.05) return start + static_cast<double>(i) / frame->sample_rate;
        }
        return -1;
    };
    for (bool more = true; more;) {
        more = ff::av_read_frame(raw, pkt.get()) >= 0;
        if (more && pkt->stream_index != index) {
            ff::av_packet_unref(pkt.get());
            continue;
        }
        ff::avcodec_send_packet(dec.get(), more ? pkt.get() : nullptr);
        ff::av_packet_unref(pkt.get());
        while (ff::avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            const double at = moment();
            if (at >= 0) return at;
        }
    }
    return -1;
}

// How much later than the picture the sound of `file` begins.
double SoundAfterPicture(const std::string& file) {
    return FirstMoment(file, AVMEDIA_TYPE_AUDIO) - FirstMoment(file, AVMEDIA_TYPE_VIDEO);
}

bool IsH264OrMpeg4(const std::string& picture) {
    return picture.rfind("h264,", 0) == 0 || picture.rfind("mpeg4,", 0) == 0;
}

} // namespace

TEST_F(VideoCliTest, VideoContainersAreListedWithTheirPresets) {
    const CliResult list = Run({"--list-presets"});
    EXPECT_EQ(list.exitCode, 0);
    for (const char* format : {"mp4", "mkv", "avi", "mpg"})
        EXPECT_NE(list.out.find(std::string(format) + " (video):\n* 0  "), std::string::npos) << format;
    const CliResult tooFar = Run({"-f", "mpg", "-p", "2", "a.mp4"});
    EXPECT_EQ(tooFar.exitCode, 2);
    EXPECT_NE(tooFar.err.find("format mpg has presets 0 to 1"), std::string::npos) << tooFar.err;
}

TEST_F(VideoCliTest, Mp4ShowsTheLastPictureForItsWholeTime) {
    const std::string clip = Source("video-only.mkv");  // 2 seconds at 25 pictures a second
    int sourceFrames = 0;
    Picture(clip, sourceFrames);
    ASSERT_EQ(sourceFrames, 50);
    const CliResult r = Run({"-f", "mp4", "-o", out_.Path(), clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // The container's edit list ends where the last packet ends: without the
    // packets' durations the last picture would not be shown at all.
    const std::string mp4 = out_.File("video-only.mp4");
    EXPECT_EQ(Probe(mp4, "v:0", "nb_read_frames,duration"), "50,2.000000");
}

TEST_F(VideoCliTest, AviKeepsThePictureAsMpeg4WithMp3) {
    const std::string clip = Source("video-audio.mp4");
    const CliResult r = Run({"-f", "avi", "-o", out_.Path(), clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string avi = out_.File("video-audio.avi");
    int frames = 0;
    EXPECT_EQ(Picture(avi, frames), "mpeg4,160,120,25/1");
    EXPECT_NEAR(frames, 100, 2);
    EXPECT_EQ(Probe(avi, "a:0", "codec_name,channels"), "mp3,2");
}

TEST_F(VideoCliTest, PictureOptionsOfTheCommandLineReachTheConversion) {
    const std::string clip = Source("video-audio.mp4");
    const CliResult r = Run({"-f", "avi", "-o", out_.Path(), "-x", "s=320x240", "-x", "r=10", "-x", "vf=hflip", clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string avi = out_.File("video-audio.avi");
    int frames = 0;
    EXPECT_EQ(Picture(avi, frames), "mpeg4,320,240,10/1");
    EXPECT_NEAR(frames, 40, 2);
    // The white bar of the test picture's left edge is on the right now.
    EXPECT_GT(FirstPictureLuma(avi, 0.98, 0.25), 180);
    EXPECT_LT(FirstPictureLuma(avi, 0.02, 0.25), 120);
}

TEST_F(VideoCliTest, MkvKeepsTheTextSubtitles) {
    const std::string clip = Source("video-subtitles.mkv");
    const CliResult r = Run({"-f", "mkv", "-o", out_.Path(), clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string mkv = out_.File("video-subtitles.mkv");
    int frames = 0;
    const std::string picture = Picture(mkv, frames);
    EXPECT_TRUE(IsH264OrMpeg4(picture)) << picture;
    EXPECT_NEAR(frames, 100, 2);
    EXPECT_EQ(Probe(mkv, "a:0", "codec_name"), "aac");
    EXPECT_EQ(Probe(mkv, "s:0", "codec_name"), "subrip");
    // Both cues, each as long as in the source.
    const std::string cues = CommandOutput("ffprobe -v error -select_streams s:0 -show_entries packet=duration_time "
                                           "-of csv=p=0 " + ShellQuote(mkv));
    EXPECT_EQ(cues, "1.000000\n1.250000\n");
}

TEST_F(VideoCliTest, MpgTakesADiscTarget) {
    const std::string clip = Source("video-audio.mp4");
    const CliResult r = Run({"-f", "mpg", "-o", out_.Path(), "-x", "target=pal-dvd", clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string mpg = out_.File("video-audio.mpg");
    int frames = 0;
    EXPECT_EQ(Picture(mpg, frames), "mpeg2video,720,576,25/1");
    EXPECT_NEAR(frames, 100, 2);
    EXPECT_EQ(Probe(mpg, "a:0", "codec_name,sample_rate"), "ac3,48000");
}

// MPEG layer-2 at the presets' bit rates needs 32 kHz or more: a slower
// source is converted at 48 kHz instead of failing its encoder.
TEST_F(VideoCliTest, MpgTakesSoundOfALowRate) {
    TFixtureMedia clip;
    clip.Seconds = 1.0;
    clip.Video.push_back(TFixtureVideo{});
    clip.Audio.push_back({"aac", 22050, 1});
    WriteMedia(WidePath(src_.File("low.mp4")), clip);
    const CliResult r = Run({"-f", "mpg", "-o", out_.Path(), src_.File("low.mp4")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Probe(out_.File("low.mpg"), "a:0", "codec_name,sample_rate"), "mp2,48000");
}

TEST_F(VideoCliTest, Mp4InTwoPasses) {
    const std::string clip = Source("video-audio.mp4");
    const std::string log = dir_.File("passes");
    // The first pass's file is a by-product, in a folder of its own. The
    // converter runs in the scratch folder: nothing lands beside the tests.
    const std::string inScratch = "cd " + ShellQuote(dir_.Path()) + " &&";
    const CliResult first =
        Run({"-f", "mp4", "-o", dir_.File("pass1"), "-x", "pass=1", "-x", "passlogfile=" + log, clip}, inScratch);
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_TRUE(fs::exists(log + "-0.log"));
    const CliResult second =
        Run({"-f", "mp4", "-o", out_.Path(), "-x", "pass=2", "-x", "passlogfile=" + log, clip}, inScratch);
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    const std::string mp4 = out_.File("video-audio.mp4");
    int frames = 0;
    const std::string picture = Picture(mp4, frames);
    EXPECT_TRUE(IsH264OrMpeg4(picture)) << picture;
    EXPECT_NEAR(frames, 100, 2);
    EXPECT_EQ(Probe(mp4, "a:0", "codec_name"), "aac");

    const CliResult missing = Run({"-f", "mp4", "-o", dir_.File("none"), "-x", "pass=2", "-x",
                                   "passlogfile=" + dir_.File("missing"), clip},
                                  inScratch);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Cannot read file: Error reading log file"), std::string::npos) << missing.err;
}

TEST_F(VideoCliTest, SoundThatStartsLateKeepsItsPlaceBesideThePicture) {
    const std::string clip = LateSoundClip();
    ASSERT_NEAR(SoundAfterPicture(clip), 0.459, 0.002);
    for (const std::string format : {"mp4", "mkv"}) {
        SCOPED_TRACE(format);
        const CliResult r = Run({"-f", format, "-o", out_.Path(), clip});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        // Within one frame of the AAC encoder.
        EXPECT_NEAR(SoundAfterPicture(out_.File("late-sound." + format)), 0.459, 1024.0 / 44100);
    }
    // The frames follow each other whatever the jitter: MP4 counts in samples.
    const std::string times = CommandOutput("ffprobe -v error -select_streams a:0 -show_entries packet=pts -of csv=p=0 " +
                                            ShellQuote(out_.File("late-sound.mp4")));
    std::istringstream lines(times);
    std::vector<int64_t> pts;
    for (std::string line; std::getline(lines, line);) pts.push_back(std::atoll(line.c_str()));
    ASSERT_GT(pts.size(), 100u);
    for (size_t i = 1; i < pts.size(); ++i) EXPECT_EQ(pts[i] - pts[i - 1], 1024) << i;
}

// An audio file starts with its first sample; asked to follow the source's
// clock (sync method 1), it starts with the silence before the sound.
TEST_F(VideoCliTest, AudioSyncOfTheCommandLineFillsTheTimeBeforeLateSound) {
    const std::string clip = LateSoundClip();
    const CliResult plain = Run({"-f", "wav", "-o", dir_.File("plain"), clip});
    ASSERT_EQ(plain.exitCode, 0) << plain.out << plain.err;
    const CliResult synced = Run({"-f", "wav", "-o", out_.Path(), "-x", "async=1", clip});
    ASSERT_EQ(synced.exitCode, 0) << synced.out << synced.err;
    // The source's first frame (the priming of its encoder) is silence.
    EXPECT_NEAR(FirstMoment(dir_.File("plain/late-sound.wav"), AVMEDIA_TYPE_AUDIO), 0, 1024.0 / 44100 + 0.001);
    EXPECT_NEAR(FirstMoment(out_.File("late-sound.wav"), AVMEDIA_TYPE_AUDIO), 0.459, 0.002);

    const CliResult refused = Run({"-f", "wav", "-o", out_.Path(), "-x", "async=fast", clip});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("-x async needs a whole number, not 'fast'"), std::string::npos) << refused.err;
}

// A -x option the preset's record also sets takes the preset's place.
TEST_F(VideoCliTest, EncodersOfTheCommandLineTakeThePlaceOfThePresets) {
    const std::string clip = Source("video-audio.mp4");
    const CliResult r = Run({"-f", "mkv", "-o", out_.Path(), "-x", "vcodec=mpeg4", clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    int frames = 0;
    EXPECT_EQ(Picture(out_.File("video-audio.mkv"), frames), "mpeg4,160,120,25/1");
    EXPECT_NEAR(frames, 100, 2);

    const CliResult refused = Run({"-f", "mp3", "-o", out_.Path(), "-x", "vcodec=mpeg4", clip});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("-x vcodec: format mp3 writes sound only"), std::string::npos) << refused.err;
}

// Subtitles drawn as pictures stay pictures: DVD subtitles as they are in
// Matroska, DVB pages when asked for, and DVD subtitles again in a program
// stream.
TEST_F(VideoCliTest, SubtitlesDrawnAsPicturesStayPictures) {
    TFixtureMedia media;
    media.Seconds = 3;
    media.Video.push_back({});
    media.Audio.push_back({});
    media.Subtitles.push_back({"dvdsub", {{0.5, 1.5, ""}, {2.0, 2.5, ""}}});
    const std::string clip = src_.File("dvd.mkv");
    WriteMedia(WidePath(clip), media);
    auto packets = [](const std::string& file) {
        const std::string times = CommandOutput("ffprobe -v error -select_streams s:0 -show_entries packet=pts "
                                                "-of csv=p=0 " + ShellQuote(file));
        return std::count(times.begin(), times.end(), '\n');
    };
    const CliResult kept = Run({"-f", "mkv", "-o", out_.Path(), clip});
    ASSERT_EQ(kept.exitCode, 0) << kept.out << kept.err;
    EXPECT_EQ(Probe(out_.File("dvd.mkv"), "s:0", "codec_name"), "dvd_subtitle");
    EXPECT_EQ(packets(out_.File("dvd.mkv")), 2);

    const CliResult dvb = Run({"-f", "mkv", "-o", dir_.File("dvb"), "-x", "scodec=dvbsub", "-x", "acodec=flac", clip});
    ASSERT_EQ(dvb.exitCode, 0) << dvb.out << dvb.err;
    const std::string pages = dir_.File("dvb/dvd.mkv");
    EXPECT_EQ(Probe(pages, "s:0", "codec_name"), "dvb_subtitle");
    EXPECT_EQ(packets(pages), 4);  // each page, and the empty one that ends it

    // The empty pages have nothing to draw; the DVB stream names no display
    // size, so the standard one is taken.
    const CliResult mpg = Run({"-f", "mpg", "-o", out_.Path(), pages});
    ASSERT_EQ(mpg.exitCode, 0) << mpg.out << mpg.err;
    EXPECT_EQ(Probe(out_.File("dvd.mpg"), "s:0", "codec_name"), "dvd_subtitle");
    EXPECT_EQ(packets(out_.File("dvd.mpg")), 2);
}
