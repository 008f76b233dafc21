// The task object: construction with and without the libraries, reset values,
// cleanup of partial state, the interrupt checks and the preview flags.
#include <climits>

#include "CapturedLog.h"
#include "FFLoad.h"
#include "CustomFFmpeg.h"
#include "TestSupport.h"

TEST(FFmpegTaskWithoutLibraries, OptionValuesStayZero) {
    FFBindStartup();
    {
        TCustomFFmpeg task(20);
        EXPECT_EQ(task.FileCapacity, 20);
        EXPECT_EQ(task.InputFiles.size(), 20u);
        EXPECT_EQ(task.Opt.AudioSampleRate, 0);
        EXPECT_EQ(task.Opt.AudioChannels, 0);
        EXPECT_EQ(task.Opt.AudioVolume, 0);
        EXPECT_EQ(task.Options, nullptr);
        EXPECT_TRUE(task.StrictOptions);
        EXPECT_EQ(task.IoTimeoutMs, 10000);
        EXPECT_EQ(task.ProgressIntervalUs, 500000);
        // Nothing to release, and nothing may be touched.
        task.Cleanup();
        EXPECT_FALSE(task.SetContextOption("g", "1"));
    }
    FFBindShutdown();
}

class FFmpegTaskTest : public LibrariesTest {};

TEST_F(FFmpegTaskTest, ResetValues) {
    TCustomFFmpeg task(512);
    EXPECT_EQ(task.OutputStreamsForFile.size(), 512u);
    EXPECT_EQ(task.Opt.AudioSampleRate, 44100);
    EXPECT_EQ(task.Opt.AudioChannels, 2);
    EXPECT_EQ(task.Opt.FrameRate.num, 25);
    EXPECT_EQ(task.Opt.FrameRate.den, 0);
    EXPECT_EQ(task.Opt.FramePixFmt, -1);
    EXPECT_EQ(task.Opt.AudioSampleFmt, -1);
    EXPECT_EQ(task.Opt.MaxFrames[mkSubtitle], INT_MAX);
    EXPECT_EQ(task.Opt.RecordingTime, INT64_MAX);
    EXPECT_FLOAT_EQ(task.Opt.AudioQscale, -99999.0f);
    EXPECT_FLOAT_EQ(task.Opt.MuxPreload, 0.5f);
    EXPECT_FLOAT_EQ(task.Opt.MuxMaxDelay, 0.7f);
    EXPECT_FLOAT_EQ(task.Opt.AudioDriftThreshold, 0.1f);
    EXPECT_FLOAT_EQ(task.Opt.DtsDeltaThreshold, 10.0f);
    EXPECT_EQ(task.Opt.TopFieldFirst, -1);
    EXPECT_EQ(task.Opt.IntraDcPrecision, 8);
    EXPECT_EQ(task.Opt.LoopOutput, -1);
    EXPECT_EQ(task.Opt.VideoSyncMethod, -1);
    EXPECT_EQ(task.Opt.AudioVolume, 256);
    EXPECT_EQ(task.Opt.Verbose, 1);
    EXPECT_EQ(task.Opt.ThreadCount, 1);
    EXPECT_EQ(task.Opt.SwsFlags, SWS_BICUBIC);
    EXPECT_EQ(task.TotalDuration, -1);
    EXPECT_EQ(task.Opt.MetadataGlobalAutocopy, 1);
    ASSERT_NE(task.Options, nullptr);
    int64_t flags = 0;
    ASSERT_GE(ff::av_opt_get_int(task.Options->ScalerDefaults.get(), "sws_flags", 0, &flags), 0);
    EXPECT_EQ(flags, SWS_BICUBIC);
}

TEST_F(FFmpegTaskTest, CleanupEmptiesPartialStateAndCanRunTwice) {
    TCustomFFmpeg task(4);
    task.SetOption("map", "0:1");
    task.SetOption("map_chapters", "0:0");
    task.SetOption("streamid", "1:5");
    task.SetOption("metadata", "title=x");
    task.SetOption("vbsf", "null");
    task.SetOption("vcodec", "mpeg4");
    task.SetOption("vstats_file", "/tmp/x.log");
    task.SetOption("inter_matrix", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,"
                                   "29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,"
                                   "54,55,56,57,58,59,60,61,62,63,64");
    task.SetOption("itsscale", "3:2");
    // A set-up that failed half-way: counted slots that hold nothing.
    task.InputFileCount = 2;
    task.OutputFileCount = 1;

    task.Cleanup();
    EXPECT_EQ(task.InputFileCount, 0);
    EXPECT_EQ(task.OutputFileCount, 0);
    EXPECT_TRUE(task.Opt.StreamMaps.empty());
    EXPECT_TRUE(task.Opt.ChapterMaps.empty());
    EXPECT_TRUE(task.Opt.StreamIdMap.empty());
    EXPECT_TRUE(task.InputTsScales[0].empty());
    EXPECT_EQ(task.Opt.Metadata, nullptr);
    EXPECT_TRUE(task.Opt.VideoBitstreamFilters.empty());
    EXPECT_EQ(task.Opt.InterMatrix, nullptr);
    EXPECT_EQ(task.Opt.VideoCodecName, "");
    EXPECT_EQ(task.Opt.VstatsFileName, "");
    EXPECT_EQ(task.Options, nullptr);
    task.Cleanup();
    // Without option contexts the generic options are refused, not crashed on.
    task.StrictOptions = false;
    EXPECT_NO_THROW(task.SetOption("g", "1"));
}

TEST_F(FFmpegTaskTest, InterruptChecks) {
    CapturedLog log(llInfo);
    TCustomFFmpeg task(1);
    EXPECT_FALSE(TCustomFFmpeg::TimeoutCheck(&task));  // idle: no call is guarded
    task.IoStartTime = ff::av_gettime();
    EXPECT_FALSE(TCustomFFmpeg::TimeoutCheck(&task));
    task.IoStartTime = ff::av_gettime() - 11000000;
    EXPECT_TRUE(TCustomFFmpeg::TimeoutCheck(&task));
    EXPECT_EQ(log.Count("connecting/reading/writing timeout"), 1u);
    task.IoStartTime = 0;
    EXPECT_TRUE(TCustomFFmpeg::TimeoutCheck(&task));
    EXPECT_EQ(log.Count("connecting/reading/writing canceled"), 1u);
    task.IoTimeoutMs = 0;
    EXPECT_FALSE(TCustomFFmpeg::TimeoutCheck(&task));
    EXPECT_FALSE(TCustomFFmpeg::TimeoutCheck(nullptr));

    EXPECT_FALSE(TCustomFFmpeg::StopCheck(&task));
    task.StopRequested = true;
    EXPECT_TRUE(TCustomFFmpeg::StopCheck(&task));
    EXPECT_FALSE(TCustomFFmpeg::StopCheck(nullptr));
}

TEST_F(FFmpegTaskTest, PreviewFlagsMarkOnlyChanges) {
    TCustomFFmpeg task(1);
    task.SetPreviewFlags(0);
    EXPECT_FALSE(task.PreviewFlagsHaveChanged());
    task.SetPreviewFlags(3);
    EXPECT_EQ(task.CurrentPreviewFlags(), 3);
    EXPECT_TRUE(task.PreviewFlagsHaveChanged());
}
