// Opening inputs: failures and their texts, unicode names, the start
// position, program selection, what the streams tell the task, and the
// options that discard streams.
#include <clocale>

#include "FileTestSupport.h"
#include "InterruptCB.h"

class InputFileTest : public FileTaskTest {
protected:
    // Seconds of the first packet the input delivers.
    double FirstPacketSeconds(int file) {
        AVFormatContext* ic = task->InputFiles.at(file).get();
        PacketPtr pkt = MakePacket();
        EXPECT_GE(ff::av_read_frame(ic, pkt.get()), 0);
        const AVRational tb = ic->streams[pkt->stream_index]->time_base;
        return static_cast<double>(pkt->pts) * tb.num / tb.den;
    }
};

TEST_F(InputFileTest, MissingFileFailsWithTheLibraryText) {
    task->Opt.AudioCodecName = "flac";
    const std::string path = dir.File("missing.wav");
    EXPECT_FALSE(task->OpenInputFile(WidePath(path)));
    EXPECT_EQ(task->SetupError, path + ": No such file or directory");
    EXPECT_EQ(task->InputFileCount, 0);
    EXPECT_EQ(task->Opt.AudioCodecName, "");  // pending names are released
    EXPECT_EQ(task->IoStartTime.load(), INT64_MAX);
    EXPECT_EQ(InterruptRegistry()->Count(), 0u);
}

TEST_F(InputFileTest, NamesOutsideTheLocaleGoThroughTheUnicodeProtocol) {
    std::setlocale(LC_ALL, "C");
    const std::wstring odd = Tone("t\xc3\xb6n \xe2\x82\xac.wav", 1);
    const std::wstring plain = Tone("plain.wav", 1);
    ASSERT_TRUE(task->OpenInputFile(odd)) << task->SetupError;
    ASSERT_TRUE(task->OpenInputFile(plain)) << task->SetupError;
    EXPECT_EQ(std::string(task->InputFiles[0]->url), "unicode:utf8:" + Utf8Path(odd));
    EXPECT_EQ(std::string(task->InputFiles[1]->url), Utf8Path(plain));
    EXPECT_EQ(task->InputFileCount, 2);
}

TEST_F(InputFileTest, StartTimeZeroIsNotSought) {
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 8)));
    EXPECT_EQ(FirstPacketSeconds(0), 0.0);
    EXPECT_EQ(task->InputTsOffsets[0], 0);
}

TEST_F(InputFileTest, StartTimeIsSoughtAndReset) {
    task->SetStartTime(5000000);
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 8)));
    EXPECT_EQ(task->Opt.StartTime, 0);
    EXPECT_NEAR(FirstPacketSeconds(0), 5.0, 0.05);
    EXPECT_EQ(task->InputTsOffsets[0], -5000000);
    // The next input starts at its beginning again.
    ASSERT_TRUE(task->OpenInputFile(Tone("b.wav", 2)));
    EXPECT_EQ(FirstPacketSeconds(1), 0.0);
}

TEST_F(InputFileTest, ProgramIdWithoutThatProgramFails) {
    task->SetOption("programid", "7");
    EXPECT_FALSE(task->OpenInputFile(Tone("a.wav", 1)));
    EXPECT_EQ(task->SetupError, dir.File("a.wav") + ": Specified program id not found");
    EXPECT_EQ(task->InputFileCount, 0);
    EXPECT_EQ(task->InputFiles[0].get(), nullptr);
}

TEST_F(InputFileTest, TotalDurationIsTheLongestInput) {
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 3)));
    ASSERT_TRUE(task->OpenInputFile(Tone("b.wav", 1)));
    EXPECT_NEAR(task->TotalDuration / 1e6, 3.0, 0.01);
    ASSERT_TRUE(task->OpenInputFile(Tone("c.wav", 4)));
    EXPECT_NEAR(task->TotalDuration / 1e6, 4.0, 0.01);
}

TEST_F(InputFileTest, AudioValuesComeFromTheStream) {
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 1, 22050, 1)));
    EXPECT_EQ(task->Opt.AudioSampleRate, 22050);
    EXPECT_EQ(task->Opt.AudioChannels, 1);
    // A plain WAV header names no speaker layout: the mask stays unset.
    EXPECT_EQ(task->Opt.ChannelLayout, 0);
    EXPECT_EQ(task->Opt.AudioSampleFmt, AV_SAMPLE_FMT_S16);
    ASSERT_EQ(task->InputCodecs.size(), 1u);
}

TEST_F(InputFileTest, VideoOffInTheRecordDiscardsTheVideoStream) {
    TFixtureMedia media;
    media.Audio.push_back({});
    media.Video.push_back({});
    media.Seconds = 1;
    const std::wstring path = Path("movie.mkv");
    WriteMedia(path, media);

    TInputOptions record;
    record.ExtOptions = "vn=1";
    ASSERT_TRUE(OpenInputWithRecord(*task, path, &record, 10000)) << task->SetupError;
    AVFormatContext* ic = task->InputFiles[0].get();
    int videos = 0;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const bool video = ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        videos += video;
        EXPECT_EQ(ic->streams[i]->discard, video ? AVDISCARD_ALL : AVDISCARD_DEFAULT);
    }
    EXPECT_EQ(videos, 1);
    EXPECT_EQ(task->Opt.FrameWidth, 160);
    EXPECT_EQ(task->Opt.FrameRate.num, 25);

    // The switch also keeps video out of the output that follows.
    TOutputOptions out;
    ASSERT_EQ(OpenOutputWithRecord(*task, Path("out.mkv"), &out, 10000), 1) << task->SetupError;
    ASSERT_EQ(task->OutputFiles[0]->nb_streams, 1u);
    EXPECT_EQ(task->OutputFiles[0]->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(Encoder(0, 0)->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST_F(InputFileTest, UnknownForcedFormatRaises) {
    task->SetFormat("nosuchformat");
    try {
        task->OpenInputFile(Tone("a.wav", 1));
        FAIL() << "no exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), dir.File("a.wav") + ": Unknown input format: \"nosuchformat\"");
    }
    task->SetFormat("wav");
    EXPECT_TRUE(task->OpenInputFile(Path("a.wav"))) << task->SetupError;
    EXPECT_TRUE(task->Opt.ForcedFormat.empty());
}

TEST_F(InputFileTest, ForcedDecodersAreChecked) {
    const std::wstring path = Tone("a.wav", 1);
    task->SetAudioCodec("nosuchcodec");
    EXPECT_FALSE(task->OpenInputFile(path));
    EXPECT_EQ(task->SetupError, dir.File("a.wav") + ": Unknown decoder 'nosuchcodec'");
    task->SetAudioCodec("mpeg4");
    EXPECT_FALSE(task->OpenInputFile(path));
    EXPECT_EQ(task->SetupError, dir.File("a.wav") + ": Invalid decoder type 'mpeg4'");
    task->SetAudioCodec("pcm_s16le");
    ASSERT_TRUE(task->OpenInputFile(path));
    EXPECT_EQ(task->InputFiles[0]->audio_codec_id, AV_CODEC_ID_PCM_S16LE);
    ASSERT_NE(task->InputCodecs[0], nullptr);
    EXPECT_STREQ(task->InputCodecs[0]->name, "pcm_s16le");
}

TEST_F(InputFileTest, ExperimentalEncoderNamesItsAlternative) {
    const AVCodec* vorbis = ff::avcodec_find_encoder_by_name("vorbis");
    if (!vorbis || !(vorbis->capabilities & AV_CODEC_CAP_EXPERIMENTAL)) GTEST_SKIP() << "no experimental encoder";
    AVCodecID id = AV_CODEC_ID_NONE;
    EXPECT_FALSE(task->FindCodec("vorbis", mkAudio, true, task->StrictLevelOf(mkAudio), id));
    std::string expected = "encoder 'vorbis' is experimental and might produce bad results.\r\n"
                           "Add '-strict experimental' if you want to use it.";
    const AVCodec* standard = ff::avcodec_find_encoder(AV_CODEC_ID_VORBIS);
    if (standard && !(standard->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
        expected += std::string("\r\nOr use the non experimental encoder '") + standard->name + "'.";
    EXPECT_EQ(task->SetupError, expected);

    ASSERT_TRUE(task->SetContextOption("strict", "experimental"));
    EXPECT_TRUE(task->FindCodec("vorbis", mkAudio, true, task->StrictLevelOf(mkAudio), id));
    EXPECT_EQ(id, AV_CODEC_ID_VORBIS);
}

TEST_F(InputFileTest, BeforeFindStreamInfoRelaySeesTheContext) {
    AVFormatContext* seen = nullptr;
    task->BeforeFindStreamInfoRelay = [&](TCustomFFmpeg* sender, AVFormatContext* ctx) {
        EXPECT_EQ(sender, task.get());
        EXPECT_EQ(ctx->nb_streams, 1u);
        seen = ctx;
    };
    ASSERT_TRUE(task->OpenInputFile(Tone("a.wav", 1)));
    EXPECT_EQ(seen, task->InputFiles[0].get());
}
