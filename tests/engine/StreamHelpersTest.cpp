// Helpers of stream creation: format and rate choice, times, forced key
// frames, growable lists and output stream records.
#include "CapturedLog.h"
#include "CustomFFmpeg.h"
#include "StreamHelpers.h"
#include "TestSupport.h"

namespace {

struct EncoderContext {
    EncoderContext() : ctx(ff::avcodec_alloc_context3(nullptr)) {}
    ~EncoderContext() { ff::avcodec_free_context(&ctx); }
    AVCodecContext* ctx;
};

} // namespace

class StreamHelpersTest : public LibrariesTest {};

TEST_F(StreamHelpersTest, SampleRateNearestSupported) {
    CapturedLog log(llInfo);
    static const int rates[] = {32000, 44100, 48000, 0};
    AVCodec codec{};
    codec.supported_samplerates = rates;
    EncoderContext enc;
    enc.ctx->sample_rate = 22050;
    ChooseSampleRate(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->sample_rate, 32000);
    EXPECT_EQ(log.Count("Requested sampling rate unsupported using closest supported (32000)"), 1u);

    log.Clear();
    enc.ctx->sample_rate = 44100;
    ChooseSampleRate(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->sample_rate, 44100);
    EXPECT_TRUE(log.Lines().empty());

    static const int tie[] = {48000, 32000, 0};
    codec.supported_samplerates = tie;
    enc.ctx->sample_rate = 40000;
    ChooseSampleRate(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->sample_rate, 48000);

    codec.supported_samplerates = nullptr;
    enc.ctx->sample_rate = 12345;
    ChooseSampleRate(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->sample_rate, 12345);
}

TEST_F(StreamHelpersTest, SampleFormatComparesPackedEquivalents) {
    const AVCodec* lame = ff::avcodec_find_encoder_by_name("libmp3lame");
    ASSERT_NE(lame, nullptr);
    EncoderContext enc;
    enc.ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    ChooseSampleFormat(enc.ctx, lame);
    EXPECT_EQ(enc.ctx->sample_fmt, AV_SAMPLE_FMT_S16P);
    enc.ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ChooseSampleFormat(enc.ctx, lame);
    EXPECT_EQ(enc.ctx->sample_fmt, AV_SAMPLE_FMT_FLTP);
    enc.ctx->sample_fmt = AV_SAMPLE_FMT_U8;
    ChooseSampleFormat(enc.ctx, lame);
    EXPECT_EQ(enc.ctx->sample_fmt, lame->sample_fmts[0]);

    // A packed-only encoder gets the packed twin of a planar request.
    const AVCodec* flac = ff::avcodec_find_encoder_by_name("flac");
    ASSERT_NE(flac, nullptr);
    enc.ctx->sample_fmt = AV_SAMPLE_FMT_S16P;
    ChooseSampleFormat(enc.ctx, flac);
    EXPECT_EQ(enc.ctx->sample_fmt, AV_SAMPLE_FMT_S16);

    AVCodec none{};
    enc.ctx->sample_fmt = AV_SAMPLE_FMT_DBL;
    ChooseSampleFormat(enc.ctx, &none);
    EXPECT_EQ(enc.ctx->sample_fmt, AV_SAMPLE_FMT_DBL);
}

TEST_F(StreamHelpersTest, PixelFormatWithJpegCompliance) {
    static const AVPixelFormat own[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_NONE};
    AVCodec codec{};
    codec.id = AV_CODEC_ID_MJPEG;
    codec.pix_fmts = own;
    EncoderContext enc;
    enc.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    enc.ctx->strict_std_compliance = -1;
    ChoosePixelFormat(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->pix_fmt, AV_PIX_FMT_YUV420P);
    enc.ctx->strict_std_compliance = 0;
    ChoosePixelFormat(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->pix_fmt, AV_PIX_FMT_YUVJ420P);
    codec.id = AV_CODEC_ID_LJPEG;
    enc.ctx->strict_std_compliance = -1;
    enc.ctx->pix_fmt = AV_PIX_FMT_BGRA;
    ChoosePixelFormat(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->pix_fmt, AV_PIX_FMT_BGRA);
    enc.ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ChoosePixelFormat(enc.ctx, &codec);
    EXPECT_EQ(enc.ctx->pix_fmt, AV_PIX_FMT_YUVJ420P);

    AVCodec none{};
    ChoosePixelFormat(enc.ctx, &none);
    EXPECT_EQ(enc.ctx->pix_fmt, AV_PIX_FMT_YUVJ420P);
}

TEST_F(StreamHelpersTest, TimesAndForcedKeyFrames) {
    EXPECT_EQ(ParseTimeOrRaise("ss", "1.5", true), 1500000);
    EXPECT_EQ(ParseTimeOrRaise("ss", "01:00", true), 60000000);
    try {
        ParseTimeOrRaise("ss", "later", true);
        FAIL() << "no exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), "Invalid duration specification for ss: later");
    }

    EncoderContext enc;
    enc.ctx->time_base = AVRational{1, 1000};
    EXPECT_EQ(ParseForcedKeyFrames("1,2.5", enc.ctx), (std::vector<int64_t>{1000, 2500}));
    enc.ctx->time_base = AVRational{1, 25};
    EXPECT_EQ(ParseForcedKeyFrames("2", enc.ctx), (std::vector<int64_t>{50}));
    try {
        ParseForcedKeyFrames("1,x,3", enc.ctx);
        FAIL() << "no exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), "Invalid duration specification for force_key_frames: x,3");
    }
}

TEST_F(StreamHelpersTest, GrowListNeverShrinks) {
    std::vector<int> list{1, 2, 3};
    GrowList(list, 2);
    EXPECT_EQ(list, (std::vector<int>{1, 2, 3}));
    GrowList(list, 5);
    EXPECT_EQ(list, (std::vector<int>{1, 2, 3, 0, 0}));
    try {
        std::vector<double> wide;
        GrowList(wide, INT_MAX / 8);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Array too big.");
    }
}

TEST_F(StreamHelpersTest, OutputStreamRecordsFollowTheStreams) {
    TCustomFFmpeg task(2);
    AVFormatContext* output = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&output, nullptr, "matroska", nullptr), 0);
    AVStream* first = ff::avformat_new_stream(output, nullptr);
    TOutputStream* a = task.NewOutputStreamRecord(output, 1);
    AVStream* second = ff::avformat_new_stream(output, nullptr);
    TOutputStream* b = task.NewOutputStreamRecord(output, 1);
    ASSERT_EQ(task.OutputStreamsForFile[1].size(), 2u);
    EXPECT_EQ(task.OutputStreamsForFile[1][0].get(), a);
    EXPECT_EQ(a->FileIndex, 1);
    EXPECT_EQ(a->StreamIndex, 0);
    EXPECT_EQ(a->Stream, first);
    EXPECT_EQ(b->StreamIndex, 1);
    EXPECT_EQ(b->Stream, second);
    EXPECT_TRUE(task.OutputStreamsForFile[0].empty());
    ff::avformat_free_context(output);
}
