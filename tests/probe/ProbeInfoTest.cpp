// File and stream properties, checked against ffprobe on the same files.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "Exception.h"
#include "FFDecode.h"
#include "ProbeTestSupport.h"

namespace {

// Microseconds against ffprobe's seconds with six decimals.
void ExpectMicroseconds(int64_t probe, double seconds, const std::string& what) {
    if (seconds < 0) {
        EXPECT_EQ(probe, -1) << what;
        return;
    }
    EXPECT_NEAR(static_cast<double>(probe), seconds * 1e6, 1.0) << what;
}

void CrossCheckAudio(TFFDecoder& probe, const std::string& path, int index) {
    TAudioStreamInfo a;
    ASSERT_TRUE(probe.GetAudioStreamInfo(index, a)) << probe.LastErrMsg();
    auto ref = FFprobe(path, "stream=codec_long_name,sample_rate,channels,bit_rate,duration,start_time",
                       index);
    ASSERT_FALSE(ref.empty());
    EXPECT_EQ(a.SampleRate, ProbeNumber(ref, "sample_rate"));
    EXPECT_EQ(a.Channels, ProbeNumber(ref, "channels"));
    EXPECT_EQ(a.BitRate, ProbeNumber(ref, "bit_rate", 0));
    ExpectMicroseconds(a.Duration, ProbeNumber(ref, "duration"), "stream duration");
    ExpectMicroseconds(a.StartTime, ProbeNumber(ref, "start_time"), "stream start");
    std::string longName = "(" + ref["codec_long_name"] + ")";
    EXPECT_TRUE(a.CodecDesc.size() > longName.size() &&
                a.CodecDesc.compare(a.CodecDesc.size() - longName.size(), longName.size(), longName) == 0)
        << a.CodecDesc << " vs " << longName;
}

void CrossCheckVideo(TFFDecoder& probe, const std::string& path, int index) {
    TVideoStreamInfo v;
    ASSERT_TRUE(probe.GetVideoStreamInfo(index, v)) << probe.LastErrMsg();
    auto ref = FFprobe(path,
                       "stream=width,height,avg_frame_rate,r_frame_rate,bit_rate,duration,sample_aspect_ratio",
                       index);
    ASSERT_FALSE(ref.empty());
    EXPECT_EQ(v.Width, ProbeNumber(ref, "width"));
    EXPECT_EQ(v.Height, ProbeNumber(ref, "height"));
    EXPECT_EQ(v.BitRate, ProbeNumber(ref, "bit_rate", 0));
    ExpectMicroseconds(v.Duration, ProbeNumber(ref, "duration"), "video duration");
    auto avg = ProbeRatio(ref["avg_frame_rate"]);
    auto rate = avg.first && avg.second ? avg : ProbeRatio(ref["r_frame_rate"]);
    EXPECT_EQ(v.FrameRateNum, rate.first);
    EXPECT_EQ(v.FrameRateDen, rate.second);
    EXPECT_EQ(v.PixelFormat, AV_PIX_FMT_YUV420P);
    // ffprobe writes the sample aspect ratio as "n:d" (absent when unknown).
    std::string sar = ref["sample_aspect_ratio"];
    std::replace(sar.begin(), sar.end(), ':', '/');
    auto aspect = ProbeRatio(sar);
    float expected = aspect.first && aspect.second
                         ? static_cast<float>(double(aspect.first) / aspect.second * v.Width / v.Height)
                         : 0.0f;
    EXPECT_FLOAT_EQ(v.AspectRatio, expected);
}

}  // namespace

class ProbeCrossCheck : public ProbeTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(ProbeCrossCheck, AgreesWithFFprobe) {
    std::wstring name = Fixture(GetParam());
    std::string path = Narrow(name);
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(name)) << probe.LastErrMsg();

    auto format = FFprobe(path, "format=duration,bit_rate,nb_streams,start_time");
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    ExpectMicroseconds(f.Duration, ProbeNumber(format, "duration"), "file duration");
    ExpectMicroseconds(f.StartTime, ProbeNumber(format, "start_time"), "file start");
    EXPECT_EQ(f.BitRate, ProbeNumber(format, "bit_rate", 0));
    EXPECT_EQ(probe.StreamCount(), ProbeNumber(format, "nb_streams"));

    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(probe.FileSize(), st.st_size);

    EXPECT_EQ(probe.AudioStreamCount() + probe.VideoStreamCount(), probe.StreamCount());
    for (int i = 0; i < probe.StreamCount(); ++i) {
        auto type = FFprobe(path, "stream=codec_type", i)["codec_type"];
        if (type == "audio") CrossCheckAudio(probe, path, i);
        else if (type == "video") CrossCheckVideo(probe, path, i);
        else ADD_FAILURE() << "unexpected stream type " << type;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeCrossCheck,
                         ::testing::Values(L"tone-44k-stereo.wav", L"tagged-48k.flac", L"tone.mp3",
                                           L"tone.ogg", L"tone.aac", L"video-audio.mp4",
                                           L"video-only.mkv", L"two-audio.mkv", L"chapters.mkv",
                                           L"unknown-duration.m4v"),
                         [](const auto& info) {
                             std::string n = Utf8Path(info.param);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST_F(ProbeTest, WavWithoutVideoReportsNoVideoStream) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone-44k-stereo.wav")));
    EXPECT_EQ(probe.StreamCount(), 1);
    EXPECT_EQ(probe.FirstAudioStream(), 0);
    EXPECT_EQ(probe.FirstVideoStream(), -1);
    EXPECT_EQ(probe.VideoStreamCount(), 0);
    EXPECT_EQ(probe.SubtitleStreamCount(), 0);
    EXPECT_EQ(probe.FirstSubtitleStream(), -1);

    TAudioStreamInfo a;
    ASSERT_TRUE(probe.GetAudioStreamInfo(-1, a));
    EXPECT_EQ(a.SampleFormat, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(a.CodecDesc, "pcm_s16le(PCM signed 16-bit little-endian)");
    EXPECT_EQ(a.Language, "");

    TVideoStreamInfo v;
    EXPECT_FALSE(probe.GetVideoStreamInfo(-1, v));
    EXPECT_EQ(probe.LastErrMsg(), "no video stream.");
    EXPECT_TRUE(Logged(llError, "no video stream."));
    EXPECT_EQ(v.Width, -1);
    EXPECT_EQ(v.Height, -1);
    EXPECT_EQ(v.BitRate, -1);
    EXPECT_EQ(v.FrameRateNum, -1);
    EXPECT_EQ(v.AspectRatio, -1.0f);
    EXPECT_EQ(v.CodecDesc, "");
}

TEST_F(ProbeTest, StreamIndexChecks) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"video-audio.mp4")));
    ASSERT_EQ(probe.StreamCount(), 2);
    int video = probe.FirstVideoStream();
    int audio = probe.FirstAudioStream();
    ASSERT_GE(video, 0);
    ASSERT_GE(audio, 0);

    TAudioStreamInfo a;
    EXPECT_FALSE(probe.GetAudioStreamInfo(video, a));
    EXPECT_EQ(probe.LastErrMsg(), "stream #" + std::to_string(video) + " is not audio stream.");
    EXPECT_EQ(a.Channels, -1);

    TVideoStreamInfo v;
    EXPECT_FALSE(probe.GetVideoStreamInfo(audio, v));
    EXPECT_EQ(probe.LastErrMsg(), "stream #" + std::to_string(audio) + " is not video stream.");

    EXPECT_FALSE(probe.GetAudioStreamInfo(2, a));
    EXPECT_EQ(probe.LastErrMsg(), "stream index #2 is invalid.");
    EXPECT_TRUE(Logged(llError, "stream index #2 is invalid."));
}

TEST_F(ProbeTest, TagsOfFlacFile) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tagged-48k.flac")));
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    EXPECT_EQ(f.Title, "Fixture Title");
    EXPECT_EQ(f.Author, "Fixture Artist");
    EXPECT_EQ(f.Album, "Fixture Album");
    EXPECT_EQ(f.Genre, "Ambient");
    EXPECT_EQ(f.Year, 2011);
    EXPECT_EQ(f.Track, 7);
    EXPECT_EQ(f.Comment, "");
    EXPECT_EQ(f.CopyrightNotice, "");
    EXPECT_EQ(f.Timestamp, 0);
}

TEST_F(ProbeTest, SecondAudioStreamOfTwo) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"two-audio.mkv")));
    EXPECT_EQ(probe.AudioStreamCount(), 2);
    TAudioStreamInfo first, second;
    ASSERT_TRUE(probe.GetAudioStreamInfo(-1, first));
    ASSERT_TRUE(probe.GetAudioStreamInfo(1, second));
    EXPECT_EQ(first.SampleRate, 48000);
    EXPECT_EQ(second.SampleRate, 44100);
    EXPECT_EQ(second.Channels, 1);
    EXPECT_EQ(second.CodecDesc.rfind("flac(", 0), 0u) << second.CodecDesc;
}

TEST_F(ProbeTest, UnknownDurationReadsMinusOne) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"unknown-duration.m4v")));
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    EXPECT_EQ(f.Duration, -1);
    TVideoStreamInfo v;
    ASSERT_TRUE(probe.GetVideoStreamInfo(-1, v));
    EXPECT_EQ(v.StreamDuration, AV_NOPTS_VALUE);
    EXPECT_EQ(v.Duration, -1);
    EXPECT_EQ(v.Width, 128);
}

TEST_F(ProbeTest, ChaptersDoNotDisturbTheProperties) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"chapters.mkv")));
    ASSERT_NE(probe.FormatContext(), nullptr);
    EXPECT_EQ(probe.FormatContext()->nb_chapters, 3u);
    EXPECT_EQ(probe.StreamCount(), 1);
    TFileStreamInfo f;
    ASSERT_TRUE(probe.GetFileStreamInfo(f));
    EXPECT_NEAR(f.Duration, 3000000, 50000);
}

TEST_F(ProbeTest, ForcedFormat) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone-44k-stereo.wav"), "wav"));
    EXPECT_EQ(probe.ForceFormat(), "wav");
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone.mp3")));
    EXPECT_EQ(probe.ForceFormat(), "");
}

TEST_F(ProbeTest, UnknownForcedFormatClosesThePreviousFile) {
    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone-44k-stereo.wav")));
    size_t logged = log_.size();
    EXPECT_FALSE(probe.LoadFile(Fixture(L"tone-44k-stereo.wav"), "no-such-format"));
    EXPECT_EQ(probe.LastErrMsg(), "Unknown input format: no-such-format");
    for (size_t i = logged; i < log_.size(); ++i)  // kept, not logged
        EXPECT_EQ(log_[i].Text.find("Unknown input format"), std::string::npos) << log_[i].Text;
    EXPECT_EQ(probe.FormatContext(), nullptr);
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.FileSize(), -1);
    EXPECT_EQ(probe.ForceFormat(), "");
}

TEST_F(ProbeTest, CloseFileTwiceAndInfoWithoutFile) {
    TFFDecoder probe;
    probe.CloseFile();
    ASSERT_TRUE(probe.LoadFile(Fixture(L"tone.ogg")));
    probe.CloseFile();
    probe.CloseFile();
    EXPECT_EQ(probe.FormatContext(), nullptr);
    EXPECT_EQ(probe.FirstAudioStream(), -1);

    TFileStreamInfo f;
    f.Title = "stale";
    EXPECT_FALSE(probe.GetFileStreamInfo(f));
    EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
    EXPECT_TRUE(Logged(llWarning, "file not loaded."));
    EXPECT_EQ(f.Duration, -1);
    EXPECT_EQ(f.BitRate, -1);
    EXPECT_EQ(f.Title, "");
    EXPECT_EQ(probe.GetFileName(), L"");
}

// A context built by hand, as a caller that opened a file elsewhere would hand
// over. It has no byte stream, so its size comes from the file it names.
TEST_F(ProbeTest, AttachedContextWithBrokenTimeBases) {
    std::string file = Narrow(Fixture(L"tone.ogg"));
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    AVFormatContext* ctx = ff::avformat_alloc_context();
    ASSERT_NE(ctx, nullptr);
    ctx->url = ff::av_strdup(file.c_str());
    AVStream* a = ff::avformat_new_stream(ctx, nullptr);
    AVStream* b = ff::avformat_new_stream(ctx, nullptr);
    a->codecpar->codec_type = b->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    a->time_base = {2, 0};  // treated as 2/2: one second per unit
    a->start_time = 3;
    a->duration = AV_NOPTS_VALUE;
    b->time_base = {0, 0};  // treated as 0/1
    b->start_time = 5;
    b->codecpar->codec_tag = MKTAG('a', 'b', 'c', 'd');
    {
        TFFDecoder probe;
        probe.AttachFormatContext(ctx);
        EXPECT_FALSE(probe.OwnsContext());
        EXPECT_EQ(probe.FileSize(), st.st_size);
        EXPECT_EQ(probe.GetFileName(), Fixture(L"tone.ogg"));
        EXPECT_EQ(probe.AudioStreamCount(), 2);
        TAudioStreamInfo info;
        ASSERT_TRUE(probe.GetAudioStreamInfo(0, info));
        EXPECT_EQ(info.StreamStartTime, 3);
        EXPECT_EQ(info.StartTime, 3000000);
        EXPECT_EQ(info.StreamDuration, AV_NOPTS_VALUE);
        EXPECT_EQ(info.Duration, -1);
        EXPECT_EQ(a->time_base.den, 2);
        ASSERT_TRUE(probe.GetAudioStreamInfo(1, info));
        EXPECT_EQ(info.StartTime, 0);
        EXPECT_EQ(info.CodecDesc, "abcd / 0x64636261");
        EXPECT_THROW(probe.Seek(0, 0), Exception);
        EXPECT_EQ(probe.LastErrMsg(), "file cannot be seeked, handle is readonly.");
        probe.CloseFile();  // forgets the context without closing it
        EXPECT_EQ(ctx->nb_streams, 2u);
    }
    ff::avformat_free_context(ctx);
}
