// Presets: the built-in table, look-up through the codec name, preset files.
#include <algorithm>
#include <sstream>

#include "OptionTestSupport.h"
#include "Presets.h"

namespace {

std::vector<std::string> Keys(const std::string& text) {
    std::vector<std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) keys.push_back(line.substr(0, line.find('=')));
    return keys;
}

std::string Value(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "";
}

} // namespace

using PresetTest = TaskTest;

TEST(BuiltinPresetTable, NamesAndKeys) {
    const char* names[] = {
        "baseline", "default", "fast", "fast_firstpass", "faster", "faster_firstpass", "fastfirstpass", "hq",
        "ipod320", "ipod640", "lossless_fast", "lossless_max", "lossless_medium", "lossless_slow",
        "lossless_slower", "lossless_ultrafast", "main", "max", "medium", "medium_firstpass", "normal", "placebo",
        "placebo_firstpass", "slow", "slow_firstpass", "slower", "slower_firstpass", "slowfirstpass", "superfast",
        "superfast_firstpass", "ultrafast", "ultrafast_firstpass", "veryfast", "veryfast_firstpass", "veryslow",
        "veryslow_firstpass"};
    const auto& table = BuiltinPresets();
    ASSERT_EQ(table.size(), 36u);
    for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].Name, "libx264-" + std::string(names[i]));

    const std::vector<std::string> defaultKeys = Keys(table[1].Text);
    ASSERT_EQ(defaultKeys.size(), 22u);
    EXPECT_EQ(Keys(table[0].Text), (std::vector<std::string>{"coder", "bf", "flags2", "wpredp"}));
    for (const TOptionsPreset& preset : table) {
        const std::string name = preset.Name;
        if (name == "libx264-baseline" || name == "libx264-main" || name.find("ipod") != std::string::npos) continue;
        std::vector<std::string> expected;
        const bool lossless = name.find("lossless") != std::string::npos;
        const bool noRefs = name == "libx264-lossless_fast" || name == "libx264-lossless_medium" ||
                            name == "libx264-lossless_ultrafast";
        for (const std::string& key : defaultKeys) {
            if (lossless && (key == "bf" || key == "trellis")) continue;
            if (noRefs && key == "refs") continue;
            if (name == "libx264-lossless_ultrafast" && key == "wpredp") continue;
            expected.push_back(key);
        }
        if (lossless) expected.push_back("cqp");
        std::vector<std::string> keys = Keys(preset.Text);
        std::vector<std::string> sortedKeys = keys, sortedExpected = expected;
        std::sort(sortedKeys.begin(), sortedKeys.end());
        std::sort(sortedExpected.begin(), sortedExpected.end());
        EXPECT_EQ(sortedKeys, sortedExpected) << name;
        if (lossless) {
            EXPECT_EQ(Value(preset.Text, "cqp"), "0") << name;
        }
    }
}

TEST_F(PresetTest, BuiltinFoundThroughTheCodecName) {
    task->StrictOptions = false;
    task->SetOption("acodec", "libx264");
    task->SetOption("apre", "default");
    AVCodecContext* video = task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO].get();
    EXPECT_EQ(video->gop_size, 250);
    EXPECT_EQ(video->keyint_min, 25);
    EXPECT_EQ(video->qmax, 51);
    EXPECT_FLOAT_EQ(video->i_quant_factor, 0.71f);
}

TEST_F(PresetTest, BuiltinNamesIgnoreCaseAndNameThePresetInErrors) {
    // This library generation no longer knows the "dct8x8" flag; strict mode
    // reports the line with the name the preset was asked for.
    const std::string text = RaisedBy("vpre", "LIBX264-MAIN");
    EXPECT_NE(text.find("\r\nLIBX264-MAIN: Invalid option or argument: \"flags2=-dct8x8\", parsed as \"flags2\" = "
                        "\"-dct8x8\""),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("Invalid value \"-dct8x8\" for option \"flags2\"", 0), 0u) << text;
}

TEST_F(PresetTest, FilesAreReadWhenNoBuiltinMatches) {
    TempDir dir;
    const std::string file = dir.File("my.ffpreset");
    WriteTextFile(file, "  \r\n# a comment\r\ng = 12\r\n\r\nqmin=3\racodec=libmp3lame\nvcodec=copy\n\n");
    task->SetOption("vpre", file);
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->gop_size, 12);
    EXPECT_EQ(task->Options->CodecDefaults[AVMEDIA_TYPE_VIDEO]->qmin, 3);
    EXPECT_EQ(task->Opt.AudioCodecName, "libmp3lame");
    EXPECT_EQ(task->Opt.VideoStreamCopy, 1);

    EXPECT_EQ(RaisedBy("vpre", dir.File("missing.ffpreset")),
              Format("Preset \"%s\" not found", dir.File("missing.ffpreset")));
    // "fpre" always names a file, even when a built-in has that name.
    EXPECT_EQ(RaisedBy("fpre", "libx264-default"), "Preset \"libx264-default\" not found");
    task->SetOption("vpre", "");
    task->SetPreset("", file);
}

TEST_F(PresetTest, BadLinesAreRejected) {
    TempDir dir;
    const std::string noEquals = dir.File("a.ffpreset");
    WriteTextFile(noEquals, "g=5\n  just words  \n");
    EXPECT_EQ(RaisedBy("spre", noEquals), Format("%s: Invalid syntax: \"just words\"", noEquals));
    const std::string noValue = dir.File("b.ffpreset");
    WriteTextFile(noValue, "g=\n");
    EXPECT_EQ(RaisedBy("apre", noValue), Format("%s: Invalid syntax: \"g=\"", noValue));
    const std::string unknown = dir.File("c.ffpreset");
    WriteTextFile(unknown, "frobnicate=1\n");
    EXPECT_EQ(RaisedBy("apre", unknown),
              Format("Unrecognized option \"frobnicate\"\r\n%s: Invalid option or argument: \"frobnicate=1\", "
                     "parsed as \"frobnicate\" = \"1\"",
                     unknown));
    task->StrictOptions = false;
    EXPECT_EQ(RaisedBy("apre", unknown), "");
}
