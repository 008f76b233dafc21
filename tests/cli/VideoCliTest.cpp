// tembrio-convert with the video containers: what the files it writes hold
// (ffprobe counts every picture, so a file that does not decode to its end
// shows), and the picture options of -x reaching the conversion.
#include <gtest/gtest.h>

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
