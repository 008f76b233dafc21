// Opening outputs: every container of the converter with the audio stream its
// record asks for, the failures and their texts, the once-only values, stream
// copy, channel layouts, capacity, clean-up and joining.
#include <clocale>
#include <cstdio>

#include "FileTestSupport.h"

namespace {

struct TContainerCase {
    const char* Extension;
    const char* Codec;  // "" = the container's default encoder
    int Channels;
    int Rate;
    const char* SampleFormat;  // asked for with "sample_fmt"
    const char* Encoder;       // expected
    AVSampleFormat Expected;
};

const TContainerCase ContainerCases[] = {
    {"wav", "", 2, 44100, "s16", "pcm_s16le", AV_SAMPLE_FMT_S16},
    {"mp3", "libmp3lame", 2, 44100, "s16", "libmp3lame", AV_SAMPLE_FMT_S16P},
    {"wma", "wmav2", 2, 44100, "flt", "wmav2", AV_SAMPLE_FMT_FLTP},
    {"ogg", "libvorbis", 2, 48000, "flt", "libvorbis", AV_SAMPLE_FMT_FLTP},
    {"aac", "aac", 2, 44100, "flt", "aac", AV_SAMPLE_FMT_FLTP},
    {"m4a", "", 1, 48000, "flt", "aac", AV_SAMPLE_FMT_FLTP},
    {"flac", "flac", 1, 22050, "s16", "flac", AV_SAMPLE_FMT_S16},
    {"mp2", "", 2, 48000, "s16", "mp2", AV_SAMPLE_FMT_S16},
};

void PrintTo(const TContainerCase& c, std::ostream* os) { *os << c.Extension; }

} // namespace

class OutputFileTest : public FileTaskTest {
protected:
    void OpenInput(double seconds = 1) { ASSERT_TRUE(task->OpenInputFile(Tone("in.wav", seconds))) << task->SetupError; }
};

class OutputContainerTest : public OutputFileTest, public ::testing::WithParamInterface<TContainerCase> {};

TEST_P(OutputContainerTest, AudioOnlySourceGivesOneAudioStream) {
    const TContainerCase& c = GetParam();
    OpenInput();
    TOutputOptions o;
    o.AudioCodec = c.Codec;
    o.AudioChannels = c.Channels;
    o.AudioSampleRate = c.Rate;
    o.ExtOptions = std::string("sample_fmt=") + c.SampleFormat;
    const std::string name = std::string("out.") + c.Extension;
    ASSERT_EQ(Output(name, o), 1) << task->SetupError;
    AVFormatContext* oc = task->OutputFiles[0];
    ASSERT_EQ(oc->nb_streams, 1u);
    ASSERT_EQ(task->OutputStreamsForFile[0].size(), 1u);
    const AVCodecContext* enc = Encoder(0, 0);
    EXPECT_EQ(enc->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(EncoderName(0, 0), c.Encoder);
    EXPECT_EQ(enc->ch_layout.nb_channels, c.Channels);
    EXPECT_EQ(enc->sample_rate, c.Rate);
    EXPECT_EQ(enc->sample_fmt, c.Expected);
    EXPECT_EQ(enc->time_base.num, 1);
    EXPECT_EQ(enc->time_base.den, c.Rate);
    EXPECT_EQ(task->OutputPaths[0], dir.File(name));
    EXPECT_TRUE(std::filesystem::exists(dir.File(name)));
    ASSERT_EQ(task->OutputCodecs.size(), 1u);
    EXPECT_EQ(task->OutputCodecs[0], enc->codec);
    // The values meant for this stream are used up.
    EXPECT_TRUE(task->Opt.AudioCodecName.empty());
}

INSTANTIATE_TEST_SUITE_P(Containers, OutputContainerTest, ::testing::ValuesIn(ContainerCases),
                         [](const auto& info) { return std::string(info.param.Extension); });

TEST_F(OutputFileTest, UnsupportedRateTakesTheNearestWithAWarning) {
    CapturedLog log(llInfo);
    OpenInput();
    TOutputOptions o;
    o.AudioCodec = "libmp3lame";
    o.AudioSampleRate = 22000;
    ASSERT_EQ(Output("a.mp3", o), 1) << task->SetupError;
    EXPECT_EQ(Encoder(0, 0)->sample_rate, 22050);
    EXPECT_EQ(log.Count("Requested sampling rate unsupported using closest supported (22050)"), 1u);
}

TEST_F(OutputFileTest, UnknownExtensionAndFormatFail) {
    TOutputOptions o;
    EXPECT_EQ(Output("a.nosuchext", o), -1);
    EXPECT_EQ(task->SetupError, "Unable to find a suitable output format for '" + dir.File("a.nosuchext") + "'");
    o.FileFormat = "nosuchformat";
    EXPECT_EQ(Output("a.wav", o), -1);
    EXPECT_EQ(task->SetupError,
              dir.File("a.wav") + ": Requested output format 'nosuchformat' is not a suitable output format");
    EXPECT_EQ(task->OutputFileCount, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.wav")));
    // A forced format wins over the extension and is used up.
    o.FileFormat = "wav";
    ASSERT_EQ(Output("a.bin", o), 1) << task->SetupError;
    EXPECT_STREQ(task->OutputFiles[0]->oformat->name, "wav");
    EXPECT_TRUE(task->Opt.ForcedFormat.empty());
}

TEST_F(OutputFileTest, LanguageAppliesToTheFirstAudioStreamOnly) {
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.AudioLanguage = "eng";
    o.DisableVideo = o.DisableSubtitle = true;
    o.ExtOptions = "newaudio=1";
    ASSERT_EQ(Output("a.mkv", o), 1) << task->SetupError;
    ASSERT_EQ(task->OutputFiles[0]->nb_streams, 2u);
    EXPECT_EQ(Entry(OutStream(0, 0)->metadata, "language"), "eng");
    EXPECT_EQ(Entry(OutStream(0, 1)->metadata, "language"), "<none>");
    EXPECT_EQ(EncoderName(0, 1), "flac");
}

TEST_F(OutputFileTest, StreamCopyTakesChannelsAndRateFromTheOptions) {
    OpenInput();
    TOutputOptions o;
    o.AudioCodec = "copy";
    o.AudioChannels = 1;
    o.AudioSampleRate = 32000;
    ASSERT_EQ(Output("a.wav", o), 1) << task->SetupError;
    const TOutputStream& ost = *task->OutputStreamsForFile[0][0];
    EXPECT_EQ(ost.StreamCopy, 1);
    EXPECT_EQ(ost.Encoder->codec, nullptr);
    EXPECT_EQ(ost.Encoder->ch_layout.nb_channels, 1);
    EXPECT_EQ(ost.Encoder->sample_rate, 32000);
    EXPECT_EQ(task->Opt.AudioStreamCopy, 0);  // the next stream encodes again
}

TEST_F(OutputFileTest, LayoutThatDisagreesWithTheChannelCountIsDropped) {
    task->Opt.ChannelLayout = AV_CH_LAYOUT_STEREO;
    task->SetAudioChannels(1);
    ASSERT_EQ(task->OpenOutputFile(Path("a.wav"), false), 1) << task->SetupError;
    EXPECT_EQ(Encoder(0, 0)->ch_layout.nb_channels, 1);
    EXPECT_EQ(Encoder(0, 0)->ch_layout.u.mask, AV_CH_LAYOUT_MONO);

    // A fitting layout is kept, even when it is not the count's default.
    task->Opt.ChannelLayout = AV_CH_LAYOUT_2_1;
    task->SetAudioChannels(3);
    ASSERT_EQ(task->OpenOutputFile(Path("b.wav"), false), 2) << task->SetupError;
    EXPECT_EQ(Encoder(1, 0)->ch_layout.nb_channels, 3);
    EXPECT_EQ(Encoder(1, 0)->ch_layout.u.mask, AV_CH_LAYOUT_2_1);
}

TEST_F(OutputFileTest, TheOutputBeyondCapacityIsRefused) {
    TOutputOptions o;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Output("o" + std::to_string(i) + ".wav", o), i + 1) << task->SetupError;
    EXPECT_EQ(Output("o20.wav", o), -1);
    EXPECT_EQ(task->SetupError, "max output files 20 reached");
    EXPECT_EQ(task->OutputFileCount, 20);
    EXPECT_FALSE(std::filesystem::exists(dir.File("o20.wav")));
}

TEST_F(OutputFileTest, CleanupRemovesOnlyOutputsThatGotNoData) {
    OpenInput();
    TOutputOptions o;
    ASSERT_EQ(Output("empty.wav", o), 1);
    ASSERT_EQ(Output("full.wav", o), 2);
    AVFormatContext* oc = task->OutputFiles[1];
    AVCodecContext* enc = Encoder(1, 0);
    ASSERT_GE(ff::avcodec_parameters_from_context(oc->streams[0]->codecpar, enc), 0);
    AVDictionary* options = task->OutputMuxerOptions[1].release();
    ASSERT_GE(ff::avformat_write_header(oc, &options), 0);
    ff::av_dict_free(&options);
    ASSERT_GE(ff::av_write_trailer(oc), 0);

    task->Cleanup();
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.wav")));
    ASSERT_TRUE(std::filesystem::exists(dir.File("full.wav")));
    EXPECT_GT(std::filesystem::file_size(dir.File("full.wav")), 0u);
    EXPECT_EQ(CommandOutput("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 " +
                            ShellQuote(dir.File("full.wav"))),
              "pcm_s16le,44100,2\n");
}

TEST_F(OutputFileTest, MuxerSettingsTravelWithTheOutput) {
    task->SetOption("muxpreload", "0.25");
    task->SetOption("muxdelay", "0.3");
    ASSERT_EQ(task->OpenOutputFile(Path("a.wav"), false), 1);
    EXPECT_EQ(Entry(task->OutputMuxerOptions[0].get(), "preload"), "250000");
    EXPECT_EQ(task->OutputFiles[0]->max_delay, 300000);
    EXPECT_TRUE(task->OutputFiles[0]->flags & AVFMT_FLAG_NONBLOCK);
}

TEST_F(OutputFileTest, UnicodeOutputNameUnderTheCLocale) {
    std::setlocale(LC_ALL, "C");
    const std::string name = "au\xc3\x9f" "en.wav";
    ASSERT_EQ(task->OpenOutputFile(Path(name), false), 1) << task->SetupError;
    EXPECT_EQ(task->OutputPaths[0], dir.File(name));
    EXPECT_TRUE(std::filesystem::exists(dir.File(name)));
    EXPECT_EQ(std::string(task->OutputFiles[0]->url), "unicode:utf8:" + dir.File(name));
}

TEST_F(OutputFileTest, EncoderFailureLeavesTheTaskUsable) {
    TOutputOptions o;
    o.AudioCodec = "nosuchencoder";
    o.AudioLanguage = "eng";
    EXPECT_EQ(Output("a.wav", o), -1);
    EXPECT_EQ(task->SetupError, dir.File("a.wav") + ": new_audio_stream fail: Unknown encoder 'nosuchencoder'");
    EXPECT_EQ(task->OutputFileCount, 0);
    EXPECT_TRUE(task->OutputCodecs.empty());
    EXPECT_TRUE(task->Opt.AudioCodecName.empty());
    EXPECT_TRUE(task->Opt.AudioLanguage.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.wav")));

    o.AudioCodec = "mpeg4";
    EXPECT_EQ(Output("a.wav", o), -1);
    EXPECT_EQ(task->SetupError, dir.File("a.wav") + ": new_audio_stream fail: Invalid encoder type 'mpeg4'");

    o.AudioCodec = "pcm_s24le";
    ASSERT_EQ(Output("a.wav", o), 1) << task->SetupError;
    EXPECT_EQ(EncoderName(0, 0), "pcm_s24le");
}

TEST_F(OutputFileTest, NewStreamNeedsAnOutput) {
    EXPECT_EQ(RaisedBy("newaudio", ""), "At least one output file must be specified");
}

TEST_F(OutputFileTest, StreamIdsAndForcedKeyFramesAreUsedOnce) {
    task->SetOption("streamid", "0:33");
    task->SetOption("force_key_frames", "1,2");
    ASSERT_EQ(task->OpenOutputFile(Path("a.wav"), false), 1);
    EXPECT_EQ(OutStream(0, 0)->id, 33);
    EXPECT_TRUE(task->Opt.StreamIdMap.empty());
    EXPECT_TRUE(task->Opt.ForcedKeyFrames.empty());
    ASSERT_EQ(task->OpenOutputFile(Path("b.wav"), false), 2);
    EXPECT_EQ(OutStream(1, 0)->id, 0);
}

TEST_F(OutputFileTest, VideoStreamFromTheOptions) {
    TFixtureMedia media;
    media.Audio.push_back({});
    media.Video.push_back({});
    media.Seconds = 1;
    WriteMedia(Path("movie.mkv"), media);
    ASSERT_TRUE(task->OpenInputFile(Path("movie.mkv"))) << task->SetupError;
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.FrameSize = "320x240";
    o.FrameRate = "30";
    o.AudioCodec = "flac";
    o.VideoLanguage = "ger";
    ASSERT_EQ(Output("out.mkv", o), 1) << task->SetupError;
    ASSERT_EQ(task->OutputFiles[0]->nb_streams, 2u);
    const AVCodecContext* video = Encoder(0, 0);
    EXPECT_EQ(video->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(EncoderName(0, 0), "mpeg4");
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 240);
    EXPECT_EQ(video->time_base.num, 1);
    EXPECT_EQ(video->time_base.den, 30);
    EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // matroska wants global headers
    EXPECT_EQ(Entry(OutStream(0, 0)->metadata, "language"), "ger");
    EXPECT_EQ(EncoderName(0, 1), "flac");
    EXPECT_EQ(task->Opt.FramePixFmt, -1);

    task->SetOption("rc_override", "1,2");
    task->SetVideoCodec("mpeg4");
    EXPECT_EQ(task->OpenOutputFile(Path("bad.mkv"), false), -1);
    EXPECT_EQ(task->SetupError, dir.File("bad.mkv") + ": new_video_stream fail: error parsing rc_override");
}

TEST_F(OutputFileTest, JoiningThreeInputsFillsThreeSlotsOfOneContainer) {
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 1)));
    ASSERT_TRUE(task->OpenInputFile(Tone("b.wav", 2)));
    ASSERT_TRUE(task->OpenInputFile(Tone("c.wav", 3)));
    TOutputOptions o;
    o.Join = true;
    ASSERT_EQ(Output("joined.wav", o), 1) << task->SetupError;
    EXPECT_TRUE(task->JoinMode);
    EXPECT_EQ(task->OutputFileCount, 3);
    EXPECT_EQ(task->OutputFiles[1], task->OutputFiles[0]);
    EXPECT_EQ(task->OutputFiles[2], task->OutputFiles[0]);
    EXPECT_NEAR(task->TotalDuration / 1e6, 6.0, 0.01);
    for (int slot = 1; slot < 3; ++slot) {
        ASSERT_EQ(task->OutputStreamsForFile[slot].size(), 1u);
        EXPECT_EQ(task->OutputStreamsForFile[slot][0]->FileIndex, slot);
        EXPECT_EQ(task->OutputStreamsForFile[slot][0]->StreamIndex, 0);
    }
    TOutputOptions second;
    EXPECT_EQ(Output("second.wav", second), -1);
    EXPECT_EQ(task->SetupError, dir.File("second.wav") + ": Cannot join more than one output file.");
    task->Cleanup();
    EXPECT_FALSE(std::filesystem::exists(dir.File("joined.wav")));
}
