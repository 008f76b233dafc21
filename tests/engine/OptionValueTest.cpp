// The plain option families (switches, integers, floating point, texts, options
// without effect) and the way unknown names reach the library's options.
#include <clocale>
#include <locale>

#include "OptionTestSupport.h"

using OptionValueTest = TaskTest;

TEST_F(OptionValueTest, SwitchesTreatOnlyZeroAsOff) {
    task->SetOption("vn", "");
    EXPECT_TRUE(task->Opt.VideoDisable);
    task->SetOption("vn", "0");
    EXPECT_FALSE(task->Opt.VideoDisable);
    task->SetOption("vn", "no");
    EXPECT_TRUE(task->Opt.VideoDisable);
    task->SetOption("an", "1");
    task->SetOption("sn", "1");
    task->SetOption("copyts", "1");
    task->SetOption("re", "");
    EXPECT_TRUE(task->Opt.AudioDisable);
    EXPECT_TRUE(task->Opt.SubtitleDisable);
    EXPECT_TRUE(task->Opt.CopyTs);
    EXPECT_TRUE(task->Opt.RateEmulation);
    EXPECT_FALSE(task->Opt.CopyTb);
}

TEST_F(OptionValueTest, IntegersAreDecimalAndChecked) {
    task->SetOption("v", "-1");
    task->SetOption("vframes", "10");
    task->SetOption("aframes", "20");
    task->SetOption("dframes", "30");
    task->SetOption("async", " 3");
    task->SetOption("fs", "5000000000");
    EXPECT_EQ(task->Opt.Verbose, -1);
    EXPECT_EQ(task->Opt.MaxFrames[mkVideo], 10);
    EXPECT_EQ(task->Opt.MaxFrames[mkAudio], 20);
    EXPECT_EQ(task->Opt.MaxFrames[mkData], 30);
    EXPECT_EQ(task->Opt.MaxFrames[mkSubtitle], INT_MAX);
    EXPECT_EQ(task->Opt.AudioSyncMethod, 3);
    EXPECT_EQ(task->Opt.LimitFileSize, 5000000000ULL);

    EXPECT_EQ(RaisedBy("vol", "12x"), "'12x' is not a valid integer value");
    EXPECT_EQ(RaisedBy("vol", ""), "'' is not a valid integer value");
    EXPECT_EQ(RaisedBy("top", "0x10"), "'0x10' is not a valid integer value");
    EXPECT_EQ(RaisedBy("vsync", "3000000000"), "'3000000000' is not a valid integer value");
    EXPECT_EQ(task->Opt.AudioVolume, 256);
}

TEST_F(OptionValueTest, FloatsUseThePointWhateverTheLocale) {
    // A German desktop writes 4,97; option texts always say 4.97.
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is not installed";
    task->SetOption("aq", "4.97");
    task->SetOption("muxdelay", "0.25");
    task->SetOption("dts_delta_threshold", "1e1");
    // The libraries read their own options with the thread's locale.
    task->SetOption("i_qfactor", "0.71");
    EXPECT_EQ(std::string(std::localeconv()->decimal_point), ",");
    std::setlocale(LC_ALL, "C");
    EXPECT_FLOAT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->i_quant_factor, 0.71f);
    EXPECT_FLOAT_EQ(task->Opt.AudioQscale, 4.97f);
    EXPECT_FLOAT_EQ(task->Opt.MuxMaxDelay, 0.25f);
    EXPECT_FLOAT_EQ(task->Opt.DtsDeltaThreshold, 10.0f);

    EXPECT_EQ(RaisedBy("aq", "4,97"), "'4,97' is not a valid floating point value");
    EXPECT_EQ(RaisedBy("muxpreload", "inf"), "'inf' is not a valid floating point value");
    EXPECT_EQ(RaisedBy("adrift_threshold", "0x1p3"), "'0x1p3' is not a valid floating point value");
    EXPECT_FLOAT_EQ(task->Opt.AudioQscale, 4.97f);
}

TEST_F(OptionValueTest, TextsAreTakenUnchanged) {
    task->SetOption("passlogfile", " stats ");
    task->SetOption("alang", "deu");
    task->SetOption("force_key_frames", "1,2");
    EXPECT_EQ(task->Opt.PassLogPrefix, " stats ");
    EXPECT_EQ(task->Opt.AudioLanguage, "deu");
    EXPECT_EQ(task->Opt.ForcedKeyFrames, "1,2");
}

TEST_F(OptionValueTest, OptionsWithoutEffectOnlyLog) {
    CapturedLog log(llInfo);
    task->SetOption("version", "x");
    task->SetOption("y", "");
    task->SetOption("timelimit", "10");
    EXPECT_EQ(log.Count("Do nothing: option - version"), 1u);
    EXPECT_EQ(log.Count("Do nothing: option - y"), 1u);
    EXPECT_EQ(log.Count("Warning: -timelimit not implemented on Windows"), 1u);
}

TEST_F(OptionValueTest, LogLevelGoesToTheLogger) {
    task->SetOption("loglevel", "debug");
    EXPECT_EQ(GlobalLogger()->LogLevel(), llDebug);
    EXPECT_EQ(RaisedBy("loglevel", "chatty"), "'chatty' is not a valid integer value");
    EXPECT_EQ(GlobalLogger()->LogLevel(), llDebug);
}

TEST_F(OptionValueTest, UnknownNamesInStrictAndNonStrictMode) {
    EXPECT_EQ(RaisedBy("no_such_option", "1"), "Unrecognized option \"no_such_option\"");
    EXPECT_EQ(RaisedBy("g", "many"), "Invalid value \"many\" for option \"g\"");
    task->StrictOptions = false;
    EXPECT_EQ(RaisedBy("no_such_option", "1"), "");
    EXPECT_EQ(RaisedBy("g", "many"), "");
    // Names are compared exactly: "VN" is no switch of ours.
    EXPECT_EQ(RaisedBy("VN", "1"), "");
    EXPECT_FALSE(task->Opt.VideoDisable);
}

TEST_F(OptionValueTest, LibraryOptionsReachTheDefaults) {
    task->SetOption("g", "12");
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->gop_size, 12);
    EXPECT_TRUE(task->SetIntContextOption("qmin", 7));
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->qmin, 7);
    // An option only one encoder knows is remembered with its value.
    task->SetOption("joint_stereo", "0");
    ASSERT_FALSE(task->Options->Options.empty());
    EXPECT_EQ(task->Options->Options.back().Name, "joint_stereo");
    EXPECT_EQ(task->Options->Options.back().Value.value_or(""), "0");
}
