// The helpers over library structures: error and time texts, options set by
// name and copied into real contexts, whole-file reading, the time stamp
// heuristic and the video sink at the end of a filter graph.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "AVCodecStubs.h"
#include "AVFilterStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "FFLog.h"
#include "FFPtr.h"
#include "FFUtils.h"
#include "SwScaleStubs.h"
#include "TestSupport.h"
#include "VideoSink.h"

namespace {

class UtilsTest : public LibrariesTest {};

std::string OptionText(void* obj, const char* name) {
    uint8_t* text = nullptr;
    if (ff::av_opt_get(obj, name, 0, &text) < 0) return "<missing>";
    std::string value(reinterpret_cast<char*>(text));
    ff::av_free(text);
    return value;
}

std::vector<std::string> RememberedNames(const OptionContexts& record) {
    std::vector<std::string> names;
    for (const auto& o : record.Options) names.push_back(o.Name);
    return names;
}

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;

CodecContext EncoderContext(const char* name) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(name);
    EXPECT_NE(codec, nullptr) << name;
    return CodecContext(codec ? ff::avcodec_alloc_context3(codec) : nullptr);
}

struct FormatContextFree {
    void operator()(AVFormatContext* c) const { ff::avformat_free_context(c); }
};

struct GraphFree {
    void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};

} // namespace

// ---------------------------------------------------------------------------
// Error texts

TEST(ErrorTextTest, TableEntriesAndUnknownCodes) {
    EXPECT_EQ(LibraryErrorText("a.mp3", -2), "a.mp3: No such file or directory");
    EXPECT_EQ(LibraryErrorText("a.mp3", -9999), "a.mp3: Error number -9999 occurred");
    EXPECT_EQ(LibraryErrorText("x", -10054), "x: Connection reset by peer");
    EXPECT_EQ(LibraryErrorText("x", -10054), LibraryErrorText("x", -104));
    EXPECT_EQ(LibraryErrorText("x", -10022), LibraryErrorText("x", -22));
    EXPECT_EQ(LibraryErrorText("x", -22), "x: Invalid argument / Invalid data found when processing input");
    EXPECT_EQ(LibraryErrorText("x", -32), "x: End of file");
    EXPECT_EQ(LibraryErrorText("x", -12), "x: Not enough space / Out of memory");
    EXPECT_EQ(LibraryErrorText("x", -81), "x: .lib section in a.out corrupted");
    EXPECT_EQ(LibraryErrorText("x", -10035), "x: WSAEWOULDBLOCK");
    EXPECT_EQ(LibraryErrorText("x", -11004), "x: WSANO_DATA");
    EXPECT_EQ(LibraryErrorText("x", -131), "x: State not recoverable");
    EXPECT_EQ(LibraryErrorText("x", AVERROR_MUXER_NOT_FOUND), "x: Muxer not found");
    // the program's own shorter wording wins over the library's
    EXPECT_EQ(LibraryErrorText("x", AVERROR_PATCHWELCOME), "x: Not yet implemented in FFmpeg");
    // codes that are not in the table
    EXPECT_EQ(LibraryErrorText("x", -58), "x: Error number -58 occurred");
    EXPECT_EQ(LibraryErrorText("", 0), ": Error number 0 occurred");
}

TEST(ErrorTextTest, LibraryTagsOfThisGeneration) {
    EXPECT_EQ(LibraryErrorText("in.wav", AVERROR_EOF), "in.wav: End of file");
    EXPECT_EQ(LibraryErrorText("in.wav", AVERROR_EXIT), "in.wav: Immediate exit requested");
    EXPECT_EQ(LibraryErrorText("in.wav", AVERROR_INVALIDDATA), "in.wav: Invalid data found when processing input");
    EXPECT_EQ(LibraryErrorText("in.wav", AVERROR_OPTION_NOT_FOUND), "in.wav: Option not found");
}

// The tag texts must be the library's own wording, character for character.
TEST_F(UtilsTest, TagTextsMatchTheLibrary) {
    const int tags[] = {AVERROR_BSF_NOT_FOUND, AVERROR_BUG, AVERROR_BUFFER_TOO_SMALL, AVERROR_DECODER_NOT_FOUND,
                        AVERROR_DEMUXER_NOT_FOUND, AVERROR_ENCODER_NOT_FOUND, AVERROR_EOF, AVERROR_EXIT,
                        AVERROR_EXTERNAL, AVERROR_FILTER_NOT_FOUND, AVERROR_INVALIDDATA, AVERROR_MUXER_NOT_FOUND,
                        AVERROR_OPTION_NOT_FOUND, AVERROR_PROTOCOL_NOT_FOUND, AVERROR_STREAM_NOT_FOUND,
                        AVERROR_BUG2, AVERROR_UNKNOWN, AVERROR_EXPERIMENTAL, AVERROR_INPUT_CHANGED,
                        AVERROR_OUTPUT_CHANGED, AVERROR_HTTP_BAD_REQUEST, AVERROR_HTTP_UNAUTHORIZED,
                        AVERROR_HTTP_FORBIDDEN, AVERROR_HTTP_NOT_FOUND, AVERROR_HTTP_OTHER_4XX,
                        AVERROR_HTTP_SERVER_ERROR};
    for (int code : tags) {
        char text[AV_ERROR_MAX_STRING_SIZE * 2] = {};
        ASSERT_EQ(ff::av_strerror(code, text, sizeof text), 0) << code;
        EXPECT_EQ(LibraryErrorText("f", code), std::string("f: ") + text) << code;
    }
}

// ---------------------------------------------------------------------------
// Time texts

TEST(TimeTextTest, ClockTexts) {
    EXPECT_EQ(TimeText(0), "00:00:00.000");
    EXPECT_EQ(TimeText(AV_NOPTS_VALUE), "N/A");
    EXPECT_EQ(TimeText(90000000000LL), "25:00:00.000");
    EXPECT_EQ(TimeText(3723456789LL), "01:02:03.456");
    EXPECT_EQ(TimeText(999), "00:00:00.000");
    EXPECT_EQ(TimeText(360000000000LL + 59999999), "100:00:59.999");
}

// ---------------------------------------------------------------------------
// Options set by name

TEST_F(UtilsTest, GenericOptionReachesEveryMediaTypeItBelongsTo) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    // "b" is an audio and video option: data and attachment defaults take any option
    ASSERT_TRUE(SetGenericOption(rec, "b", "64000"));
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_VIDEO]->bit_rate, 64000);
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_AUDIO]->bit_rate, 64000);
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_DATA]->bit_rate, 64000);
    EXPECT_NE(rec.CodecDefaults[AVMEDIA_TYPE_SUBTITLE]->bit_rate, 64000);
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_ATTACHMENT]->bit_rate, 64000);
    ASSERT_EQ(rec.Count(), 1);
    EXPECT_EQ(rec.Options[0].Name, "b");
    EXPECT_FALSE(rec.Options[0].Value.has_value());

    ASSERT_TRUE(SetGenericOption(rec, "probesize", "5000000"));
    EXPECT_EQ(rec.ContainerDefaults->probesize, 5000000);
    ASSERT_TRUE(SetGenericOption(rec, "sws_flags", "bilinear"));
    int64_t flags = 0;
    ASSERT_GE(ff::av_opt_get_int(rec.ScalerDefaults.get(), "sws_flags", 0, &flags), 0);
    EXPECT_EQ(flags, SWS_BILINEAR);
    EXPECT_EQ(RememberedNames(rec), (std::vector<std::string>{"b", "probesize", "sws_flags"}));
}

TEST_F(UtilsTest, TypePrefixedNamesFallBackToTheirMediaType) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    // "aar" is nobody's option; "ar" is the audio sample rate
    ASSERT_TRUE(SetGenericOption(rec, "aar", "22050"));
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_AUDIO]->sample_rate, 22050);
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_VIDEO]->sample_rate, 0);
    ASSERT_TRUE(SetGenericOption(rec, "vb", "900000"));
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_VIDEO]->bit_rate, 900000);
    EXPECT_NE(rec.CodecDefaults[AVMEDIA_TYPE_AUDIO]->bit_rate, 900000);
    // remembered under the library's names, which is what gets copied later
    EXPECT_EQ(RememberedNames(rec), (std::vector<std::string>{"ar", "b"}));
    EXPECT_EQ(LastOptionMessage(), "");
}

TEST_F(UtilsTest, RejectedAndUnknownOptionsLeaveTheListAlone) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    ASSERT_TRUE(SetGenericOption(rec, "b", "64000"));

    EXPECT_FALSE(SetGenericOption(rec, "b", "banana"));
    EXPECT_EQ(LastOptionMessage(), "Invalid value \"banana\" for option \"b\"");
    EXPECT_EQ(rec.CodecDefaults[AVMEDIA_TYPE_VIDEO]->bit_rate, 64000);
    EXPECT_EQ(RememberedNames(rec), (std::vector<std::string>{"b"}));

    EXPECT_FALSE(SetGenericOption(rec, "nosuchoption", "1"));
    EXPECT_EQ(LastOptionMessage(), "Unrecognized option \"nosuchoption\"");
    EXPECT_FALSE(SetGenericOption(rec, "  ", "1"));
    EXPECT_EQ(LastOptionMessage(), "Unrecognized option \"nosuchoption\"");  // blank names say nothing
    EXPECT_EQ(rec.Count(), 1);

    ClearLastOptionMessage();
    EXPECT_EQ(LastOptionMessage(), "");
}

TEST_F(UtilsTest, GenericOptionsAreCopiedWhenTheirFlagsMatch) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    ASSERT_TRUE(SetGenericOption(rec, "b", "64000"));
    ASSERT_TRUE(SetGenericOption(rec, "aar", "22050"));
    ASSERT_TRUE(SetGenericOption(rec, "probesize", "5000000"));

    CodecContext audio = EncoderContext("flac");
    ASSERT_TRUE(audio);
    ASSERT_TRUE(ApplyGenericOptions(rec, audio.get(), rec.CodecDefaults[AVMEDIA_TYPE_AUDIO].get(), nullptr,
                                    AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM));
    EXPECT_EQ(audio->bit_rate, 64000);
    EXPECT_EQ(audio->sample_rate, 22050);

    // "ar" is no video option, so the video defaults' 0 must not reach the target
    CodecContext video = EncoderContext("mpeg4");
    ASSERT_TRUE(video);
    video->sample_rate = 44100;
    ASSERT_TRUE(ApplyGenericOptions(rec, video.get(), rec.CodecDefaults[AVMEDIA_TYPE_VIDEO].get(), nullptr,
                                    AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM));
    EXPECT_EQ(video->bit_rate, 64000);
    EXPECT_EQ(video->sample_rate, 44100);

    std::unique_ptr<AVFormatContext, FormatContextFree> container(ff::avformat_alloc_context());
    ASSERT_TRUE(ApplyGenericOptions(rec, container.get(), rec.ContainerDefaults.get(), nullptr, 0));
    EXPECT_EQ(container->probesize, 5000000);
}

TEST_F(UtilsTest, PrivateOptionsReachOnlyTheEncoderThatKnowsThem) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    ASSERT_TRUE(SetGenericOption(rec, "joint_stereo", "0"));  // libmp3lame
    ASSERT_TRUE(SetGenericOption(rec, "lpc_type", "fixed"));  // flac
    ASSERT_EQ(rec.Count(), 2);
    EXPECT_EQ(rec.Options[0].Value, "0");
    EXPECT_EQ(rec.Options[1].Value, "fixed");
    const int flags = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;
    void* audioDefaults = rec.CodecDefaults[AVMEDIA_TYPE_AUDIO].get();

    CodecContext mp3 = EncoderContext("libmp3lame");
    CodecContext flac = EncoderContext("flac");
    CodecContext reference = EncoderContext("flac");
    ASSERT_TRUE(mp3 && flac && reference);
    ASSERT_EQ(OptionText(mp3->priv_data, "joint_stereo"), "true");
    const std::string flacDefault = OptionText(flac->priv_data, "lpc_type");
    ASSERT_GE(ff::av_opt_set(reference->priv_data, "lpc_type", "fixed", 0), 0);
    ASSERT_NE(OptionText(reference->priv_data, "lpc_type"), flacDefault);

    // without the codec the private options are left alone
    EXPECT_TRUE(ApplyGenericOptions(rec, mp3.get(), audioDefaults, nullptr, flags));
    EXPECT_EQ(OptionText(mp3->priv_data, "joint_stereo"), "true");

    EXPECT_TRUE(ApplyGenericOptions(rec, mp3.get(), audioDefaults, mp3->codec, flags));
    EXPECT_EQ(OptionText(mp3->priv_data, "joint_stereo"), "false");
    EXPECT_EQ(OptionText(mp3->priv_data, "lpc_type"), "<missing>");

    EXPECT_TRUE(ApplyGenericOptions(rec, flac.get(), audioDefaults, flac->codec, flags));
    EXPECT_EQ(OptionText(flac->priv_data, "lpc_type"), OptionText(reference->priv_data, "lpc_type"));
    EXPECT_EQ(OptionText(flac->priv_data, "joint_stereo"), "<missing>");
}

TEST_F(UtilsTest, MuxerPrivateOptionsReachThatMuxer) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    ASSERT_TRUE(SetGenericOption(rec, "id3v2_version", "3"));
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, "mp3", nullptr), 0);
    std::unique_ptr<AVFormatContext, FormatContextFree> mp3(raw);
    ASSERT_NE(OptionText(mp3->priv_data, "id3v2_version"), "3");
    EXPECT_TRUE(ApplyGenericOptions(rec, mp3.get(), rec.ContainerDefaults.get(), nullptr, AV_OPT_FLAG_ENCODING_PARAM));
    EXPECT_EQ(OptionText(mp3->priv_data, "id3v2_version"), "3");
}

// A private value is first checked when it meets its codec; a bad one is
// reported and the rest still applied.
TEST_F(UtilsTest, RejectedPrivateValueIsReported) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    ASSERT_TRUE(SetGenericOption(rec, "joint_stereo", "banana"));
    ASSERT_TRUE(SetGenericOption(rec, "b", "96000"));
    CodecContext mp3 = EncoderContext("libmp3lame");
    ASSERT_TRUE(mp3);
    EXPECT_FALSE(ApplyGenericOptions(rec, mp3.get(), rec.CodecDefaults[AVMEDIA_TYPE_AUDIO].get(), mp3->codec,
                                     AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM));
    EXPECT_EQ(OptionText(mp3->priv_data, "joint_stereo"), "true");
    EXPECT_EQ(mp3->bit_rate, 96000);
}

TEST_F(UtilsTest, DebugOptionRaisesTheLoggerLevel) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BICUBIC);
    GlobalLogger()->SetLogLevel(llInfo);
    ASSERT_TRUE(SetGenericOption(rec, "b", "64000"));
    EXPECT_EQ(GlobalLogger()->LogLevel(), llInfo);
    ASSERT_TRUE(SetGenericOption(rec, "fdebug", "ts"));
    EXPECT_EQ(GlobalLogger()->LogLevel(), llDebug);
}

TEST_F(UtilsTest, ScalerDefaultsKeepTheTaskFlags) {
    OptionContexts rec;
    InitOptionContexts(rec, SWS_BILINEAR);
    ASSERT_TRUE(SetGenericOption(rec, "b", "64000"));
    int64_t flags = 0;
    ASSERT_GE(ff::av_opt_get_int(rec.ScalerDefaults.get(), "sws_flags", 0, &flags), 0);
    EXPECT_EQ(flags, SWS_BILINEAR);
    // two algorithms at once: the scaler refuses them, the defaults still hold them
    InitOptionContexts(rec, SWS_BICUBIC | SWS_BILINEAR);
    EXPECT_EQ(rec.Count(), 0);
    ASSERT_TRUE(rec.ScalerDefaults);
    ASSERT_GE(ff::av_opt_get_int(rec.ScalerDefaults.get(), "sws_flags", 0, &flags), 0);
    EXPECT_EQ(flags, SWS_BICUBIC | SWS_BILINEAR);
    FreeOptionContexts(rec);
    EXPECT_FALSE(rec.ContainerDefaults);
    // without contexts nothing is known, and nothing crashes
    EXPECT_FALSE(SetGenericOption(rec, "b", "1"));
}

// ---------------------------------------------------------------------------
// Whole files

TEST_F(UtilsTest, ReadWholeFile) {
    TempDir dir;
    char* buffer = nullptr;
    size_t size = 99;

    WriteTextFile(dir.File("empty"), "");
    ASSERT_EQ(ReadWholeFile(dir.File("empty"), &buffer, &size), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(buffer[0], 0);
    ff::av_free(buffer);

    WriteTextFile(dir.File("stats"), std::string("ab\0c", 4));
    ASSERT_EQ(ReadWholeFile(dir.File("stats"), &buffer, &size), 0);
    ASSERT_EQ(size, 5u);
    EXPECT_EQ(std::string(buffer, size), std::string("ab\0c\0", 5));
    ff::av_free(buffer);

    EXPECT_EQ(ReadWholeFile(dir.File("missing"), &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0u);
}

// ---------------------------------------------------------------------------
// Time stamp correction

TEST(PtsCorrectionTest, PrefersReorderedStampsWhileTheyBehave) {
    TPtsCorrection c;
    ResetPtsCorrection(c);
    EXPECT_EQ(c.LastPts, INT64_MIN);
    EXPECT_EQ(GuessCorrectPts(c, AV_NOPTS_VALUE, 100), 100);
    EXPECT_EQ(GuessCorrectPts(c, 5, 200), 200);
    EXPECT_EQ(GuessCorrectPts(c, 6, 300), 300);
    EXPECT_EQ(GuessCorrectPts(c, 7, AV_NOPTS_VALUE), 7);
    EXPECT_EQ(GuessCorrectPts(c, AV_NOPTS_VALUE, AV_NOPTS_VALUE), AV_NOPTS_VALUE);
    // decoding stamps going backwards do not move it off the reordered ones
    EXPECT_EQ(GuessCorrectPts(c, 1, 400), 400);
    EXPECT_EQ(c.FaultyDtsCount, 1);
    EXPECT_EQ(c.FaultyPtsCount, 0);
}

TEST(PtsCorrectionTest, SwitchesToDecodingStampsOnceReorderedOnesFailMore) {
    TPtsCorrection c;
    ResetPtsCorrection(c);
    EXPECT_EQ(GuessCorrectPts(c, 10, 10), 10);
    EXPECT_EQ(GuessCorrectPts(c, 20, 30), 30);
    EXPECT_EQ(GuessCorrectPts(c, 30, 20), 30);  // reordered went back: dts now
    EXPECT_EQ(GuessCorrectPts(c, 40, 50), 40);
    EXPECT_EQ(GuessCorrectPts(c, AV_NOPTS_VALUE, 60), 60);  // no dts: the reordered one
    ResetPtsCorrection(c);
    EXPECT_EQ(c.FaultyPtsCount, 0);
    EXPECT_EQ(GuessCorrectPts(c, 1, 2), 2);
}

// ---------------------------------------------------------------------------
// The video sink

TEST_F(UtilsTest, VideoSinkDeliversPicturesInItsPixelFormat) {
    std::unique_ptr<AVFilterGraph, GraphFree> graph(ff::avfilter_graph_alloc());
    ASSERT_TRUE(graph);
    AVFilterContext* src = nullptr;
    AVFilterContext* scale = nullptr;
    AVFilterContext* sink = nullptr;
    ASSERT_GE(ff::avfilter_graph_create_filter(&src, ff::avfilter_get_by_name("buffer"), "src",
                                               "video_size=32x24:pix_fmt=yuv420p:time_base=1/25:pixel_aspect=1/1",
                                               nullptr, graph.get()), 0);
    ASSERT_GE(ff::avfilter_graph_create_filter(&scale, ff::avfilter_get_by_name("scale"), "scale", "16:12", nullptr,
                                               graph.get()), 0);
    ASSERT_EQ(CreateVideoSink(graph.get(), AV_PIX_FMT_RGB24, &sink), 0);
    ASSERT_NE(sink, nullptr);
    EXPECT_STREQ(sink->name, "out");
    ASSERT_EQ(ff::avfilter_link(src, 0, scale, 0), 0);
    ASSERT_EQ(ff::avfilter_link(scale, 0, sink, 0), 0);
    ASSERT_GE(ff::avfilter_graph_config(graph.get(), nullptr), 0);

    FramePtr picture = MakeFrame();
    int64_t pts = 0;
    EXPECT_EQ(GetFilteredPicture(sink, picture.get(), &pts), AVERROR(EAGAIN));

    FramePtr in = MakeFrame();
    in->width = 32;
    in->height = 24;
    in->format = AV_PIX_FMT_YUV420P;
    ASSERT_GE(ff::av_frame_get_buffer(in.get(), 0), 0);
    for (int p = 0; p < 3; ++p)
        std::memset(in->data[p], 128, static_cast<size_t>(in->linesize[p]) * (p ? 12 : 24));
    in->pts = 2;  // 2/25 s
    ASSERT_GE(ff::av_buffersrc_add_frame_flags(src, in.get(), AV_BUFFERSRC_FLAG_KEEP_REF), 0);

    ASSERT_EQ(GetFilteredPicture(sink, picture.get(), &pts), 1);
    EXPECT_EQ(picture->format, AV_PIX_FMT_RGB24);
    EXPECT_EQ(picture->width, 16);
    EXPECT_EQ(picture->height, 12);
    EXPECT_EQ(pts, 80000);

    ASSERT_GE(ff::av_buffersrc_add_frame_flags(src, nullptr, 0), 0);
    EXPECT_EQ(GetFilteredPicture(sink, picture.get(), &pts), AVERROR_EOF);
}

TEST_F(UtilsTest, VideoSinkNeedsAPixelFormat) {
    std::unique_ptr<AVFilterGraph, GraphFree> graph(ff::avfilter_graph_alloc());
    AVFilterContext* sink = reinterpret_cast<AVFilterContext*>(1);
    EXPECT_EQ(CreateVideoSink(graph.get(), AV_PIX_FMT_NONE, &sink), AVERROR(EINVAL));
    EXPECT_EQ(sink, nullptr);
    EXPECT_EQ(graph->nb_filters, 0u);
}
