// The task option records: option texts, the defaults list, and the order in
// which a record's settings reach the task and its output.
#include <cstdlib>
#include <ctime>

#include "FileTestSupport.h"

namespace {

std::vector<std::pair<std::string, std::string>> Lines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const TOptionLine& l : ParseOptionText(text)) out.emplace_back(l.Key, l.Value);
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST(OptionText, LineBreaksKeysAndValues) {
    EXPECT_EQ(Lines("sample_fmt=s16<CRLF>aq=4"), (Pairs{{"sample_fmt", "s16"}, {"aq", "4"}}));
    EXPECT_EQ(Lines("a=1\r\nb=2\rc=3\nd=4"), (Pairs{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}));
    // Keys are lower-cased, values untouched and may hold further "=".
    EXPECT_EQ(Lines("VN=1\nmetadata=Title=A=B"), (Pairs{{"vn", "1"}, {"metadata", "Title=A=B"}}));
    // Only the whole text is trimmed: an inner trailing blank stays.
    EXPECT_EQ(Lines("  alang=eng \nslang=ger \r\n"), (Pairs{{"alang", "eng "}, {"slang", "ger"}}));
    // No "=": a key with an empty value; an empty inner line: an empty key.
    EXPECT_EQ(Lines("vn\n\nan=0"), (Pairs{{"vn", ""}, {"", ""}, {"an", "0"}}));
    EXPECT_TRUE(Lines(" \r\n ").empty());
}

TEST(OptionRecords, ResetRoutinesGiveTheDefaults) {
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.StartTime = 5;
    o.Info.Year = 2011;
    o.Info.Timestamp = 3;
    o.HookBitsPerPixel = 32;
    ResetOutputOptions(o);
    EXPECT_TRUE(o.AudioCodec.empty());
    EXPECT_EQ(o.StartTime, AV_NOPTS_VALUE);
    EXPECT_EQ(o.RecordingTime, AV_NOPTS_VALUE);
    EXPECT_EQ(o.Info.Year, -1);
    EXPECT_EQ(o.Info.Timestamp, -1.0);
    EXPECT_EQ(o.HookBitsPerPixel, 24);
    EXPECT_EQ(o.TargetFallbackNorm, 1);
    EXPECT_EQ(o.VideoSync, -1);
    EXPECT_FLOAT_EQ(o.MuxDelay, -1.0f);

    TInputOptions i;
    i.FileName = L"x";
    i.ProgramId = 3;
    i.StartTime = 0;
    ResetInputOptions(i);
    EXPECT_TRUE(i.FileName.empty());
    EXPECT_EQ(i.ProgramId, -1);
    EXPECT_EQ(i.StartTime, AV_NOPTS_VALUE);
}

TEST(OptionRecords, ToUnixTimeUsesTheStandardOffset) {
    setenv("TZ", "UTC0", 1);
    EXPECT_EQ(ToUnixTime(25569.0), 0);
    EXPECT_EQ(ToUnixTime(25569.5), 43200);
    EXPECT_EQ(ToUnixTime(40725.5), 1309521600);  // 2011-07-01 12:00
    // Five hours west, with summer time that must not be applied.
    setenv("TZ", "EST5EDT", 1);
    EXPECT_EQ(ToUnixTime(25569.0), 18000);
    EXPECT_EQ(ToUnixTime(40725.5), 1309521600 + 18000);
}

TEST(DefaultsList, RecordFieldsWinAndLinesFollow) {
    TOutputOptions o;
    o.AudioCodec = "libmp3lame";
    o.ExtOptions = "acodec=wmav2\nvfilters=scale=320:240\nvcodec=\nab=128000\nACODEC=flac";
    TDefaultsList list = BuildDefaultsList(o);
    EXPECT_EQ(list.Default("acodec"), "libmp3lame");
    EXPECT_EQ(list.Default("ACODEC"), "libmp3lame");  // look-ups ignore case
    EXPECT_EQ(list.Default("vf"), "scale=320:240");   // "vfilters" is "vf"
    EXPECT_EQ(list.Default("vcodec"), "");            // empty values are no lines
    ASSERT_EQ(list.Lines.size(), 5u);
    EXPECT_EQ(list.Lines[1].Key, "acodec");
    EXPECT_EQ(list.Lines[1].Value, "wmav2");
    EXPECT_EQ(list.Lines[3].Key, "vf");
    EXPECT_EQ(list.Lines[4].Value, "flac");

    TOutputOptions text;
    text.ExtOptions = "acodec=flac\nacodec=wmav2";
    EXPECT_EQ(BuildDefaultsList(text).Default("acodec"), "flac");  // the first line wins
}

class RecordApplyTest : public FileTaskTest {};

TEST_F(RecordApplyTest, AllDefaultRecordOnlyAssignsTheAlwaysFields) {
    task->Opt.AudioLanguage = "eng";
    task->Opt.VideoLanguage = "ger";
    task->Opt.SubtitleLanguage = "fre";
    task->Opt.AudioSyncMethod = 5;
    task->Opt.VideoSyncMethod = 2;
    task->Opt.InputSync = true;
    task->Opt.AudioChannels = 6;
    task->Opt.AudioSampleRate = 8000;
    task->Opt.AudioVolume = 100;
    task->Opt.ForcedFormat = "wav";
    TOutputOptions o;
    ApplyOutputRecord(*task, o);
    EXPECT_EQ(task->Opt.AudioLanguage, "");
    EXPECT_EQ(task->Opt.VideoLanguage, "");
    EXPECT_EQ(task->Opt.SubtitleLanguage, "");
    EXPECT_EQ(task->Opt.AudioSyncMethod, 0);
    EXPECT_EQ(task->Opt.VideoSyncMethod, -1);
    EXPECT_FALSE(task->Opt.InputSync);
    EXPECT_EQ(task->Opt.AudioChannels, 6);
    EXPECT_EQ(task->Opt.AudioSampleRate, 8000);
    EXPECT_EQ(task->Opt.AudioVolume, 100);
    EXPECT_EQ(task->Opt.ForcedFormat, "wav");
    EXPECT_EQ(task->Opt.StartTime, 0);
    EXPECT_EQ(task->Opt.RecordingTime, INT64_MAX);
    EXPECT_EQ(task->Opt.RecordingTimestamp, 0);
    EXPECT_EQ(task->Opt.Metadata, nullptr);
    EXPECT_EQ(task->Options->Count(), 0);
}

TEST_F(RecordApplyTest, TargetBitRatesStayAgainstRecordBitRates) {
    auto bitRate = [&](TMediaKind kind) {
        int64_t v = 0;
        ff::av_opt_get_int(task->Options->CodecDefaults[kind].get(), "b", 0, &v);
        return v;
    };
    TOutputOptions o;
    o.TargetType = 1;
    o.TargetNorm = 1;
    o.AudioBitrate = 128000;
    o.VideoBitrate = 500000;
    ApplyTarget(*task, o);
    ApplyOutputRecord(*task, o);
    EXPECT_EQ(bitRate(mkAudio), 224000);
    EXPECT_EQ(bitRate(mkVideo), 1150000);
    EXPECT_EQ(task->Opt.FrameWidth, 352);
    EXPECT_EQ(task->Opt.FrameHeight, 288);

    o.TargetType = 0;
    ApplyOutputRecord(*task, o);
    EXPECT_EQ(bitRate(mkAudio), 128000);
    EXPECT_EQ(bitRate(mkVideo), 500000);
}

TEST_F(RecordApplyTest, RecordSampleRateWinsOverTheText) {
    TOutputOptions o;
    o.ExtOptions = "ar=22050";
    o.AudioSampleRate = 44100;
    ASSERT_EQ(Output("a.wav", o), 1) << task->SetupError;
    EXPECT_EQ(Encoder(0, 0)->sample_rate, 44100);

    o.AudioSampleRate = -1;
    ASSERT_EQ(Output("b.wav", o), 2) << task->SetupError;
    EXPECT_EQ(Encoder(1, 0)->sample_rate, 22050);
}

TEST_F(RecordApplyTest, CodecLinesConfigureTheAddedStreamsInOrder) {
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.DisableVideo = o.DisableSubtitle = true;  // matroska would add both by default
    o.ExtOptions = "acodec=pcm_s16le\nacodec=pcm_s24le\nnewaudio=\nnewaudio=1\nnewaudio";
    ASSERT_EQ(Output("a.mkv", o), 1) << task->SetupError;
    ASSERT_EQ(task->OutputFiles[0]->nb_streams, 4u);
    EXPECT_EQ(EncoderName(0, 0), "flac");
    EXPECT_EQ(EncoderName(0, 1), "pcm_s16le");
    EXPECT_EQ(EncoderName(0, 2), "pcm_s24le");
    EXPECT_EQ(EncoderName(0, 3), "flac");  // no line left: the record's default

    TOutputOptions fromText;
    fromText.ExtOptions = "acodec=flac";
    fromText.DisableVideo = fromText.DisableSubtitle = true;
    ASSERT_EQ(Output("b.mkv", fromText), 2) << task->SetupError;
    EXPECT_EQ(EncoderName(1, 0), "flac");
}

TEST_F(RecordApplyTest, CodecKeysOnlyWhereAllowed) {
    ApplyOptionText(*task, "acodec=flac\nvf=scale=2:2\napre=x\nnewaudio=1\nar=8000", false);
    EXPECT_EQ(task->Opt.AudioCodecName, "");
    EXPECT_EQ(task->Opt.VideoFilters, "");
    EXPECT_EQ(task->Opt.AudioSampleRate, 8000);
    ApplyOptionText(*task, "acodec=flac\ns=320x240", true);
    EXPECT_EQ(task->Opt.AudioCodecName, "flac");
    EXPECT_EQ(task->Opt.FrameWidth, 320);
    // An empty inner line is an option without a name: strict mode refuses it.
    EXPECT_THROW(ApplyOptionText(*task, "ar=8000\n\nac=1", true), FFmpegException);
    EXPECT_EQ(task->Opt.AudioChannels, 2);  // the text ended at the failing line
}

TEST_F(RecordApplyTest, OptionErrorAbortsBeforeTheOutputOpens) {
    TOutputOptions o;
    o.ExtOptions = "ar=fast";
    EXPECT_THROW(Output("a.wav", o), FFmpegException);
    EXPECT_EQ(task->OutputFileCount, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.wav")));
}

TEST_F(RecordApplyTest, TimestampZeroIsNowAndNegativeIsNothing) {
    TOutputOptions o;
    o.Info.Timestamp = -1;
    ASSERT_EQ(Output("a.wav", o), 1);
    EXPECT_EQ(Entry(task->OutputFiles[0]->metadata, "creation_time"), "<none>");

    const int64_t before = std::time(nullptr);
    o.Info.Timestamp = 0;
    ASSERT_EQ(Output("b.wav", o), 2);
    const int64_t after = std::time(nullptr);
    EXPECT_GE(task->Opt.RecordingTimestamp, before);
    EXPECT_LE(task->Opt.RecordingTimestamp, after);
    EXPECT_NE(Entry(task->OutputFiles[1]->metadata, "creation_time"), "<none>");

    setenv("TZ", "UTC0", 1);
    o.Info.Timestamp = 40725.5;
    ASSERT_EQ(Output("c.wav", o), 3);
    EXPECT_EQ(Entry(task->OutputFiles[2]->metadata, "creation_time"), "2011-07-01T12:00:00.000000Z");
}

TEST_F(RecordApplyTest, MetadataOnlyForSetFields) {
    TOutputOptions o;
    o.Info.Year = 0;
    o.Info.Track = 3;
    o.Info.Title = "Song";
    ASSERT_EQ(Output("a.wav", o), 1);
    const AVDictionary* md = task->OutputFiles[0]->metadata;
    EXPECT_EQ(Entry(md, "year"), "<none>");
    EXPECT_EQ(Entry(md, "track"), "3");
    EXPECT_EQ(Entry(md, "title"), "Song");
    EXPECT_EQ(task->Opt.Metadata, nullptr);  // taken over by that output

    o.Info.Year = 2011;
    o.Info.Title.clear();
    ASSERT_EQ(Output("b.wav", o), 2);
    EXPECT_EQ(Entry(task->OutputFiles[1]->metadata, "year"), "2011");
    EXPECT_EQ(Entry(task->OutputFiles[1]->metadata, "title"), "<none>");
}

TEST_F(RecordApplyTest, InputStartTimeSeeksOutputStartTimeWaits) {
    const std::wstring input = Tone("in.wav", 8);
    TInputOptions in;
    in.StartTime = 5000000;
    ASSERT_TRUE(OpenInputWithRecord(*task, input, &in, 10000)) << task->SetupError;
    EXPECT_EQ(task->Opt.StartTime, 0);
    EXPECT_EQ(task->InputTsOffsets[0], -5000000);
    ASSERT_EQ(task->InputOptionCopies.size(), 1u);
    EXPECT_EQ(task->InputOptionCopies[0].FileName, input);

    TOutputOptions out;
    out.StartTime = 5000000;
    out.Join = false;
    ASSERT_EQ(Output("out.wav", out), 1);
    EXPECT_EQ(task->Opt.StartTime, 5000000);  // the transcode drops what comes before
    EXPECT_EQ(task->OutputOptionCopies[0].FileName, Path("out.wav"));
}

TEST_F(RecordApplyTest, HookSwitchesAndFailedOpenResetTheCopy) {
    TOutputOptions o;
    o.AudioHook = true;
    o.HookBitsPerPixel = 32;
    o.AudioCodec = "nosuchencoder";
    EXPECT_EQ(Output("a.wav", o), -1);
    EXPECT_TRUE(task->HookSwitches.AudioHook);
    EXPECT_EQ(task->HookSwitches.HookBitsPerPixel, 32);
    ASSERT_EQ(task->OutputOptionCopies.size(), 1u);
    EXPECT_TRUE(task->OutputOptionCopies[0].AudioCodec.empty());
    EXPECT_FALSE(task->OutputOptionCopies[0].AudioHook);
}
