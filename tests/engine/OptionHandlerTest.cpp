// Options with handlers of their own: maps, times, metadata, rates, codecs,
// passes, statistics files, stream ids, bit-stream filters, new streams.
#include <ctime>

#include "OptionTestSupport.h"

using OptionHandlerTest = TaskTest;

TEST_F(OptionHandlerTest, StreamMapsAcceptBothSeparators) {
    task->SetOption("map", "0.1");
    task->SetOption("map", "0:1:2:3");
    task->SetOption("map", "2");
    ASSERT_EQ(task->Opt.StreamMaps.size(), 3u);
    const TStreamMap& a = task->Opt.StreamMaps[0];
    EXPECT_EQ(a.FileIndex, 0);
    EXPECT_EQ(a.StreamIndex, 1);
    EXPECT_EQ(a.SyncFileIndex, 0);
    EXPECT_EQ(a.SyncStreamIndex, 1);
    const TStreamMap& b = task->Opt.StreamMaps[1];
    EXPECT_EQ(b.SyncFileIndex, 2);
    EXPECT_EQ(b.SyncStreamIndex, 3);
    EXPECT_EQ(task->Opt.StreamMaps[2].FileIndex, 2);
    EXPECT_EQ(task->Opt.StreamMaps[2].StreamIndex, 0);
}

TEST_F(OptionHandlerTest, MetadataMapsClearTheAutomaticCopies) {
    task->SetOption("map_meta_data", "0,s1:1,c2");
    ASSERT_EQ(task->Opt.MetadataMaps.size(), 1u);
    const TMetadataMap& m = task->Opt.MetadataMaps[0];
    EXPECT_EQ(m.Out.FileIndex, 0);
    EXPECT_EQ(m.Out.Kind, 's');
    EXPECT_EQ(m.Out.Index, 1);
    EXPECT_EQ(m.In.FileIndex, 1);
    EXPECT_EQ(m.In.Kind, 'c');
    EXPECT_EQ(m.In.Index, 2);
    EXPECT_EQ(task->Opt.MetadataGlobalAutocopy, 1);
    EXPECT_EQ(task->Opt.MetadataStreamsAutocopy, 0);
    EXPECT_EQ(task->Opt.MetadataChaptersAutocopy, 0);

    task->SetOption("map_meta_data", "1:0,g");
    EXPECT_EQ(task->Opt.MetadataMaps[1].Out.Kind, 'g');
    EXPECT_EQ(task->Opt.MetadataMaps[1].In.Kind, 'g');
    EXPECT_EQ(task->Opt.MetadataGlobalAutocopy, 0);

    EXPECT_EQ(RaisedBy("map_meta_data", "0,x1:0"), "Invalid metadata type x.");
    EXPECT_EQ(task->Opt.MetadataMaps.size(), 2u);
}

TEST_F(OptionHandlerTest, ChapterMapsReadOutputThenInput) {
    task->SetOption("map_chapters", "1:3");
    ASSERT_EQ(task->Opt.ChapterMaps.size(), 1u);
    EXPECT_EQ(task->Opt.ChapterMaps[0].OutFile, 1);
    EXPECT_EQ(task->Opt.ChapterMaps[0].InFile, 3);
}

TEST_F(OptionHandlerTest, TimeOptionsParseDurationsAndDates) {
    task->SetOption("t", "10");
    EXPECT_EQ(task->Opt.RecordingTime, 10000000);
    EXPECT_EQ(task->TotalDuration, 10000000);
    task->SetOption("ss", "00:01:05.25");
    EXPECT_EQ(task->Opt.StartTime, 65250000);
    task->SetOption("itsoffset", "-1.5");
    EXPECT_EQ(task->Opt.InputTsOffset, -1500000);
    task->SetOption("timestamp", "1970-01-01 00:00:10.6Z");
    EXPECT_EQ(task->Opt.RecordingTimestamp, 11);

    EXPECT_EQ(RaisedBy("t", "soon"), "Invalid duration specification for t: soon");
    EXPECT_EQ(RaisedBy("timestamp", "yesterday"), "Invalid date specification for timestamp: yesterday");
    EXPECT_EQ(task->Opt.RecordingTime, 10000000);
}

TEST_F(OptionHandlerTest, TimeStampScalesAddressTwentyStreams) {
    EXPECT_EQ(RaisedBy("itsscale", "20:2"), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(RaisedBy("itsscale", "-1:2"), "stream index over MAX_STREAMS(20)");
    task->SetOption("itsscale", "19:1.5");
    ASSERT_EQ(task->InputTsScales[0].size(), 20u);
    EXPECT_DOUBLE_EQ(task->InputTsScales[0][19], 1.5);
    EXPECT_DOUBLE_EQ(task->InputTsScales[0][0], 0.0);
    task->SetOption("itsscale", "2:0.5");
    EXPECT_EQ(task->InputTsScales[0].size(), 20u);
    EXPECT_DOUBLE_EQ(task->InputTsScales[0][2], 0.5);
}

TEST_F(OptionHandlerTest, MetadataEntriesNeedAKey) {
    EXPECT_EQ(RaisedBy("metadata", "title"), "Missing =");
    EXPECT_EQ(RaisedBy("metadata", "=x"), "wrong parameter of metadata");
    EXPECT_EQ(task->Opt.Metadata, nullptr);
    task->SetOption("metadata", "title=a=b");
    task->SetOption("metadata", "artist=x");
    task->SetOption("metadata", "artist=y");
    EXPECT_EQ(MetadataValue(task->Opt.Metadata.get(), "title", "?"), "a=b");
    EXPECT_EQ(MetadataValue(task->Opt.Metadata.get(), "artist", "?"), "y");
    EXPECT_EQ(ff::av_dict_count(task->Opt.Metadata.get()), 2);
}

TEST_F(OptionHandlerTest, ThreadsWarnAboutEmulation) {
    CapturedLog log(llVerbose);
    task->SetOption("threads", "4");
    EXPECT_EQ(task->Opt.ThreadCount, 4);
    EXPECT_TRUE(Logged(log, "it would be using thread emulation."));
    log.Clear();
    task->SetOption("v", "-1");
    task->SetOption("threads", "2");
    EXPECT_FALSE(Logged(log, "thread emulation"));
}

TEST_F(OptionHandlerTest, BitRatesBelowOneThousandWarn) {
    CapturedLog log(llInfo);
    const std::string warning =
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
    task->SetOption("ab", "128");
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_AUDIO]->bit_rate, 128);
    EXPECT_EQ(log.Count(warning), 1u);
    log.Clear();
    task->SetOption("ab", "128000");
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_AUDIO]->bit_rate, 128000);
    EXPECT_EQ(log.Count(warning), 0u);
    task->SetOption("vb", "800");
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->bit_rate, 800);
    EXPECT_EQ(log.Count(warning), 1u);
    EXPECT_EQ(RaisedBy("b", "fast"), "Invalid value \"fast\" for option \"b\"");
}

TEST_F(OptionHandlerTest, CodecNamesAndStreamCopy) {
    task->SetOption("acodec", "libmp3lame");
    EXPECT_EQ(task->Opt.AudioCodecName, "libmp3lame");
    task->SetOption("acodec", "");
    EXPECT_EQ(task->Opt.AudioCodecName, "libmp3lame");
    task->SetOption("acodec", "copy");
    EXPECT_EQ(task->Opt.AudioStreamCopy, 1);
    EXPECT_EQ(task->Opt.AudioCodecName, "");
    task->SetOption("vcodec", "mpeg4");
    task->SetOption("scodec", "copy");
    EXPECT_EQ(task->Opt.VideoCodecName, "mpeg4");
    EXPECT_EQ(task->Opt.VideoStreamCopy, 0);
    EXPECT_EQ(task->Opt.SubtitleStreamCopy, 1);
}

TEST_F(OptionHandlerTest, PassIsOneOrTwo) {
    EXPECT_EQ(RaisedBy("pass", "3"), "pass number can be only 1 or 2");
    EXPECT_EQ(RaisedBy("pass", "0"), "pass number can be only 1 or 2");
    EXPECT_EQ(RaisedBy("pass", "one"), "pass number can be only 1 or 2");
    task->SetOption("pass", "2");
    EXPECT_EQ(task->Opt.Pass, 2);
}

TEST_F(OptionHandlerTest, VideoStatisticsFileNames) {
    const std::time_t before = std::time(nullptr);
    task->SetOption("vstats", "1");
    const std::string name = task->Opt.VstatsFileName;
    // "<program folder>/vstats_HHMMSS.log"
    const size_t slash = name.rfind('/');
    ASSERT_NE(slash, std::string::npos);
    EXPECT_EQ(name.substr(0, slash + 1), std::string(TEMBRIO_BUILD_DIR) + "/");
    ASSERT_EQ(name.size() - slash - 1, std::string("vstats_123456.log").size());
    EXPECT_EQ(name.substr(slash + 1, 7), "vstats_");
    const std::time_t after = std::time(nullptr);
    std::tm early{}, late{};
    localtime_r(&before, &early);
    localtime_r(&after, &late);
    const int hour = std::stoi(name.substr(slash + 8, 2));
    EXPECT_TRUE(hour == early.tm_hour || hour == late.tm_hour) << name;
    task->SetOption("vstats", "0");
    EXPECT_EQ(task->Opt.VstatsFileName, "");
    task->SetOption("vstats_file", "/tmp/my.log");
    EXPECT_EQ(task->Opt.VstatsFileName, "/tmp/my.log");
}

TEST_F(OptionHandlerTest, StreamIdsNeedIndexAndValue) {
    task->SetOption("streamid", "");
    EXPECT_TRUE(task->Opt.StreamIdMap.empty());
    task->SetOption("streamid", "2:7");
    ASSERT_EQ(task->Opt.StreamIdMap.size(), 3u);
    EXPECT_EQ(task->Opt.StreamIdMap[0], 0);
    EXPECT_EQ(task->Opt.StreamIdMap[2], 7);
    task->SetOption("streamid", "0:9");
    EXPECT_EQ(task->Opt.StreamIdMap.size(), 3u);
    EXPECT_EQ(task->Opt.StreamIdMap[0], 9);
    const std::string syntax = "Invalid value \"%s\" for option \"streamid\", required syntax is \"index:value\"";
    EXPECT_EQ(RaisedBy("streamid", "1:x"), Format(syntax, "1:x"));
    EXPECT_EQ(RaisedBy("streamid", "7"), Format(syntax, "7"));
    EXPECT_EQ(RaisedBy("streamid", "-1:5"), Format(syntax, "-1:5"));
    // An index no list can hold is refused before any memory is asked for.
    try {
        task->SetOption("streamid", "536870911:1");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Array too big.");
    }
    EXPECT_EQ(task->Opt.StreamIdMap.size(), 3u);
}

TEST_F(OptionHandlerTest, AudioRateAndChannelsKeepOnlyPositiveValues) {
    task->SetOption("ar", "48000");
    task->SetOption("ac", "6");
    task->SetOption("ar", "0");
    task->SetOption("ac", "-2");
    EXPECT_EQ(task->Opt.AudioSampleRate, 48000);
    EXPECT_EQ(task->Opt.AudioChannels, 6);
    EXPECT_EQ(RaisedBy("ar", "44.1k"), "'44.1k' is not a valid integer value");
    task->SetOption("tvstd", "PAL");
    EXPECT_EQ(task->Opt.VideoStandard, "PAL");
}

TEST_F(OptionHandlerTest, BitstreamFiltersJoinTheChainOfTheirKind) {
    task->SetOption("vbsf", "");
    task->SetOption("absf", "=ignored");
    EXPECT_TRUE(task->Opt.VideoBitstreamFilters.empty());
    EXPECT_TRUE(task->Opt.AudioBitstreamFilters.empty());
    task->SetOption("vbsf", "h264_mp4toannexb");
    task->SetOption("vbsf", "dump_extra=freq=k");
    task->SetOption("absf", "aac_adtstoasc");
    task->SetOption("sbsf", "null");
    ASSERT_EQ(task->Opt.VideoBitstreamFilters.size(), 2u);
    EXPECT_STREQ(task->Opt.VideoBitstreamFilters[0]->filter->name, "h264_mp4toannexb");
    EXPECT_STREQ(task->Opt.VideoBitstreamFilters[1]->filter->name, "dump_extra");
    ASSERT_EQ(task->Opt.AudioBitstreamFilters.size(), 1u);
    EXPECT_EQ(task->Opt.SubtitleBitstreamFilters.size(), 1u);
    EXPECT_EQ(RaisedBy("absf", "nonesuch=x "), "Unknown bitstream filter nonesuch=x");
}

TEST_F(OptionHandlerTest, NewStreamsNeedAnOutput) {
    for (const char* name : {"newaudio", "newvideo", "newsubtitle"})
        EXPECT_EQ(RaisedBy(name, ""), "At least one output file must be specified") << name;
}
