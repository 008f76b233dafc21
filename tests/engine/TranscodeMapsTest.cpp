// What a run carries over besides the samples: several inputs into one output
// with and without "shortest", the global, stream and chapter metadata with
// the automatic copy and the metadata maps, and the chapters with the time
// limits and the chapter maps. Every result is read back with ffprobe.
#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "TranscodeTestSupport.h"

namespace {


std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

// The tags ffprobe shows for `section` ("format_tags", or "stream_tags" with
// a stream selector in `select`), keys in lower case.
std::map<std::string, std::string> ProbeTags(const std::string& path, const std::string& section,
                                             const std::string& select = "") {
    std::map<std::string, std::string> tags;
    const std::string text = CommandOutput("ffprobe -v error " + select + " -show_entries " + section +
                                   " -of default=nw=1 '" + path + "'");
    for (const std::string& line : Lines(text)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        if (key.rfind("TAG:", 0) == 0) key = key.substr(4);
        // Matroska keeps its tag names in capitals.
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        tags[key] = line.substr(eq + 1);
    }
    return tags;
}

std::string Tag(const std::map<std::string, std::string>& tags, const std::string& key) {
    auto it = tags.find(key);
    return it == tags.end() ? "<none>" : it->second;
}

struct TChapterSeen {
    double Start = 0, End = 0;
    std::string Title;
};

std::vector<TChapterSeen> ProbeChapters(const std::string& path) {
    std::vector<TChapterSeen> chapters;
    const std::string text = CommandOutput("ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title "
                                   "-of csv=p=0 '" + path + "'");
    for (const std::string& line : Lines(text)) {
        const std::vector<std::string> f = Fields(line);
        if (f.size() < 2) continue;
        chapters.push_back({std::atof(f[0].c_str()), std::atof(f[1].c_str()), f.size() > 2 ? f[2] : ""});
    }
    return chapters;
}

// Where each stream of `path` ends: the largest packet pts + duration, in
// seconds, by stream index.
std::map<int, double> ProbeStreamEnds(const std::string& path) {
    std::map<int, double> ends;
    const std::string text =
        CommandOutput("ffprobe -v error -show_entries packet=stream_index,pts_time,duration_time -of csv=p=0 '" + path + "'");
    for (const std::string& line : Lines(text)) {
        const std::vector<std::string> f = Fields(line);
        if (f.size() < 2 || f[1] == "N/A") continue;
        const int stream = std::atoi(f[0].c_str());
        const double end = std::atof(f[1].c_str()) + (f.size() > 2 && f[2] != "N/A" ? std::atof(f[2].c_str()) : 0.0);
        ends[stream] = std::max(ends[stream], end);
    }
    return ends;
}

TOutputOptions Audio(const std::string& codec) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = codec;
    o.DisableVideo = o.DisableSubtitle = true;
    return o;
}

TFixtureMedia Tone(double seconds) {
    TFixtureMedia m;
    m.FormatName = "matroska";
    m.Seconds = seconds;
    m.Audio.push_back(TFixtureAudio{});
    return m;
}

} // namespace

using TranscodeMapsTest = TranscodeTest;

// ---- Several inputs into one output: the longest, or with "shortest" the shortest ----

TEST_F(TranscodeMapsTest, TwoInputsRunToTheLongestUnlessShortestIsSet) {
    const std::string brief = ToneWav("brief.wav", 1.0);
    const std::string lasting = ToneWav("lasting.wav", 3.0);
    // Both orders: the end must follow the shorter input, not the first file.
    for (const bool briefFirst : {true, false}) {
        for (const bool shortest : {false, true}) {
            SCOPED_TRACE(std::string(briefFirst ? "brief first" : "lasting first") +
                         (shortest ? ", shortest" : ", longest"));
            const std::string name = std::string(briefFirst ? "bf" : "lf") + (shortest ? "-s" : "-l") + ".mkv";
            TOutputOptions o = Audio("pcm_s16le");
            // Output stream 0 from input 0, output stream 1 from input 1.
            o.ExtOptions = "newaudio=1\nmap=0:0\nmap=1:0";
            if (shortest) o.ExtOptions += "\nshortest=1";
            Open(briefFirst ? std::vector<std::string>{brief, lasting} : std::vector<std::string>{lasting, brief}, o,
                 name);
            ASSERT_EQ(task->Opt.Shortest, shortest);
            ASSERT_EQ(task->Opt.StreamMaps.size(), 2u);
            ASSERT_EQ(Run(), "");
            EXPECT_TRUE(task->Completed);
            task.reset();

            const std::map<int, double> ends = ProbeStreamEnds(Out(name));
            ASSERT_EQ(ends.size(), 2u);
            const double briefEnd = ends.at(briefFirst ? 0 : 1);
            const double lastingEnd = ends.at(briefFirst ? 1 : 0);
            // The short input is always complete: its decoder is drained.
            EXPECT_NEAR(briefEnd, 1.0, 0.05);
            if (shortest) {
                // Reading stops with the short input; the long one was read
                // only about as far as the output had got.
                EXPECT_LT(lastingEnd, 1.5);
                EXPECT_GT(lastingEnd, 0.5);
            } else {
                EXPECT_NEAR(lastingEnd, 3.0, 0.05);
            }
        }
    }
}

TEST_F(TranscodeMapsTest, ShortestWithoutMapsTakesBothInputs) {
    // No maps: the first output stream takes one input, the second the other
    // (the first pass prefers unmapped inputs), whichever way they are chosen.
    const std::string brief = ToneWav("brief.wav", 1.0);
    const std::string lasting = ToneWav("lasting.wav", 3.0);
    TOutputOptions o = Audio("flac");
    o.ExtOptions = "newaudio=1\nshortest=1";
    Open({lasting, brief}, o, "auto.mkv");
    ASSERT_EQ(Run(), "");
    EXPECT_TRUE(task->Completed);
    task.reset();
    const std::map<int, double> ends = ProbeStreamEnds(Out("auto.mkv"));
    ASSERT_EQ(ends.size(), 2u);
    const double first = ends.at(0), second = ends.at(1);
    EXPECT_NEAR(std::min(first, second), 1.0, 0.05);
    EXPECT_LT(std::max(first, second), 1.5);
}

// ---- Metadata ----

TEST_F(TranscodeMapsTest, GlobalTagsAreCopiedByDefaultAndTheRecordWins) {
    TFixtureMedia m = Tone(1.0);
    m.Tags = {{"title", "Source title"}, {"artist", "Source artist"}, {"album", "Source album"}};
    WriteMedia(WidePath(Out("tagged.mkv")), m);

    for (const char* name : {"copy.mka", "copy.mp3", "copy.m4a"}) {
        SCOPED_TRACE(name);
        const std::string codec = std::string(name).ends_with(".mp3") ? "libmp3lame"
                                  : std::string(name).ends_with(".m4a") ? "aac" : "flac";
        Open({Out("tagged.mkv")}, Audio(codec), name);
        ASSERT_EQ(RunTask(), "");
        task.reset();
        const auto tags = ProbeTags(Out(name), "format_tags");
        EXPECT_EQ(Tag(tags, "title"), "Source title");
        EXPECT_EQ(Tag(tags, "artist"), "Source artist");
        EXPECT_EQ(Tag(tags, "album"), "Source album");
    }

    // The output record's own texts are set before the copy, which does not
    // overwrite them; what the record leaves empty still comes from the input.
    TOutputOptions o = Audio("flac");
    o.Info.Title = "Record title";
    o.Info.Album = "Record album";
    Open({Out("tagged.mkv")}, o, "record.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    const auto tags = ProbeTags(Out("record.mka"), "format_tags");
    EXPECT_EQ(Tag(tags, "title"), "Record title");
    EXPECT_EQ(Tag(tags, "album"), "Record album");
    EXPECT_EQ(Tag(tags, "artist"), "Source artist");
}

TEST_F(TranscodeMapsTest, GlobalMetadataMapChoosesTheSourceAndStopsTheAutomaticCopy) {
    TFixtureMedia first = Tone(1.0);
    first.Tags = {{"title", "First title"}, {"artist", "First artist"}};
    WriteMedia(WidePath(Out("first.mkv")), first);
    TFixtureMedia second = Tone(1.0);
    second.Tags = {{"title", "Second title"}};
    WriteMedia(WidePath(Out("second.mkv")), second);

    // Without a map the first input's tags arrive, whichever input feeds the audio.
    TOutputOptions o = Audio("flac");
    o.ExtOptions = "map=1:0";
    Open({Out("first.mkv"), Out("second.mkv")}, o, "auto.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    auto tags = ProbeTags(Out("auto.mka"), "format_tags");
    EXPECT_EQ(Tag(tags, "title"), "First title");
    EXPECT_EQ(Tag(tags, "artist"), "First artist");

    // Output 0 global from input 1 global: only the second file's tags; the
    // first file's artist no longer arrives through the automatic copy.
    o.ExtOptions = "map_meta_data=0:1";
    Open({Out("first.mkv"), Out("second.mkv")}, o, "mapped.mka");
    ASSERT_EQ(task->Opt.MetadataGlobalAutocopy, 0);
    ASSERT_EQ(Run(), "");
    task.reset();
    tags = ProbeTags(Out("mapped.mka"), "format_tags");
    EXPECT_EQ(Tag(tags, "title"), "Second title");
    EXPECT_EQ(Tag(tags, "artist"), "<none>");

    // The record still wins over a mapped entry.
    o.Info.Title = "Record title";
    Open({Out("first.mkv"), Out("second.mkv")}, o, "mapped-record.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    tags = ProbeTags(Out("mapped-record.mka"), "format_tags");
    EXPECT_EQ(Tag(tags, "title"), "Record title");

    // A map with a negative file number is skipped, but it still turns the
    // automatic copy off: nothing global arrives.
    o.Info.Title.clear();
    o.ExtOptions = "map_meta_data=0:-1";
    Open({Out("first.mkv")}, o, "none.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    tags = ProbeTags(Out("none.mka"), "format_tags");
    EXPECT_EQ(Tag(tags, "title"), "<none>");
    EXPECT_EQ(Tag(tags, "artist"), "<none>");
}

TEST_F(TranscodeMapsTest, StreamMetadataFollowsTheStreamRules) {
    TFixtureMedia m = Tone(1.0);
    m.Tags = {{"title", "File title"}};
    WriteMedia(WidePath(Out("src.mkv")), m);
    auto openWithStreamTags = [&](TOutputOptions o, const std::string& name) {
        Open({Out("src.mkv")}, o, name);
        // What a demuxer would have read from the stream's own tags.
        AVDictionary** md = &task->InputFiles[0]->streams[0]->metadata;
        ff::av_dict_set(md, "title", "Stream title", 0);
        ff::av_dict_set(md, "language", "ger", 0);
    };
    const std::string audio0 = "-select_streams a:0";

    // By default the stream's tags reach the output stream.
    openWithStreamTags(Audio("flac"), "auto.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    auto tags = ProbeTags(Out("auto.mka"), "stream_tags", audio0);
    EXPECT_EQ(Tag(tags, "title"), "Stream title");
    EXPECT_EQ(Tag(tags, "language"), "ger");

    // The output's own language, set when the stream was made, is kept.
    TOutputOptions lang = Audio("flac");
    lang.AudioLanguage = "eng";
    openWithStreamTags(lang, "lang.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    tags = ProbeTags(Out("lang.mka"), "stream_tags", audio0);
    EXPECT_EQ(Tag(tags, "title"), "Stream title");
    EXPECT_EQ(Tag(tags, "language"), "eng");

    // Output stream 0 from the input's global tags: the stream's own tags and
    // the global copy are both off.
    TOutputOptions mapped = Audio("flac");
    mapped.ExtOptions = "map_meta_data=0,s0:0,g";
    openWithStreamTags(mapped, "mapped.mka");
    ASSERT_EQ(task->Opt.MetadataStreamsAutocopy, 0);
    ASSERT_EQ(task->Opt.MetadataGlobalAutocopy, 0);
    ASSERT_EQ(Run(), "");
    task.reset();
    tags = ProbeTags(Out("mapped.mka"), "stream_tags", audio0);
    EXPECT_EQ(Tag(tags, "title"), "File title");
    EXPECT_EQ(Tag(tags, "language"), "<none>");
    EXPECT_EQ(Tag(ProbeTags(Out("mapped.mka"), "format_tags"), "title"), "<none>");

    // A stream index beyond the output's streams fails the run.
    TOutputOptions bad = Audio("flac");
    bad.ExtOptions = "map_meta_data=0,s3:0";
    openWithStreamTags(bad, "bad.mka");
    EXPECT_EQ(Run(), "Invalid stream index 3 while processing metadata maps");
    EXPECT_TRUE(task->Failed);
}

// ---- Chapters ----

namespace {

TFixtureMedia ThreeChapters() {
    TFixtureMedia m = Tone(3.0);
    m.Chapters = {{0, 1, "One"}, {1, 2, "Two"}, {2, 3, "Three"}};
    return m;
}

void ExpectChapters(const std::vector<TChapterSeen>& seen, const std::vector<TChapterSeen>& expected) {
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(seen[i].Start, expected[i].Start, 0.002);
        EXPECT_NEAR(seen[i].End, expected[i].End, 0.002);
        EXPECT_EQ(seen[i].Title, expected[i].Title);
    }
}

} // namespace

TEST_F(TranscodeMapsTest, ChaptersAreKeptByDefault) {
    WriteMedia(WidePath(Out("chapters.mkv")), ThreeChapters());
    for (const char* name : {"out.mka", "out.m4a"}) {
        SCOPED_TRACE(name);
        Open({Out("chapters.mkv")}, Audio(std::string(name).ends_with(".m4a") ? "aac" : "flac"), name);
        ASSERT_EQ(Run(), "");
        task.reset();
        ExpectChapters(ProbeChapters(Out(name)), {{0, 1, "One"}, {1, 2, "Two"}, {2, 3, "Three"}});
    }
}

TEST_F(TranscodeMapsTest, TimeLimitsTrimAndDropChapters) {
    WriteMedia(WidePath(Out("chapters.mkv")), ThreeChapters());

    // A limit of 1.5 s: the second chapter is cut at the limit, the third
    // starts after it and is dropped.
    TOutputOptions o = Audio("flac");
    o.RecordingTime = 1500000;
    Open({Out("chapters.mkv")}, o, "limited.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("limited.mka")), {{0, 1, "One"}, {1, 1.5, "Two"}});

    // A start of 0.4 s moves every chapter 0.4 s earlier; with 1.2 s the
    // window is 0.4 to 1.6 s.
    o.StartTime = 400000;
    o.RecordingTime = 1200000;
    Open({Out("chapters.mkv")}, o, "window.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("window.mka")), {{0, 0.6, "One"}, {0.6, 1.2, "Two"}});

    // A chapter that ends before the start is skipped; the window 1.2 to 2.2 s
    // keeps the second chapter from 0 and the third up to the limit.
    o.StartTime = 1200000;
    o.RecordingTime = 1000000;
    Open({Out("chapters.mkv")}, o, "late.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("late.mka")), {{0, 0.8, "Two"}, {0.8, 1.0, "Three"}});
    EXPECT_NEAR(DecodeFile(Out("late.mka"), AV_SAMPLE_FMT_S16).Samples() / 44100.0, 1.0, 0.05);
}

TEST_F(TranscodeMapsTest, ChapterMapsChooseTheSource) {
    TFixtureMedia plain = Tone(2.0);
    WriteMedia(WidePath(Out("plain.mkv")), plain);
    TFixtureMedia a = Tone(2.0);
    a.Chapters = {{0, 0.5, "A1"}, {0.5, 2, "A2"}};
    WriteMedia(WidePath(Out("a.mkv")), a);
    TFixtureMedia b = Tone(2.0);
    b.Chapters = {{0, 1.25, "B1"}, {1.25, 2, "B2"}};
    WriteMedia(WidePath(Out("b.mkv")), b);
    const std::vector<std::string> inputs{Out("plain.mkv"), Out("a.mkv"), Out("b.mkv")};

    // No map: the first input that has chapters gives them, later ones are
    // not looked at.
    Open(inputs, Audio("flac"), "default.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("default.mka")), {{0, 0.5, "A1"}, {0.5, 2, "A2"}});

    TOutputOptions o = Audio("flac");
    o.ExtOptions = "map_chapters=0:2";
    Open(inputs, o, "mapped.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("mapped.mka")), {{0, 1.25, "B1"}, {1.25, 2, "B2"}});

    // A map from a file without chapters, or from no file at all, still
    // counts as a map: no default chapters.
    for (const char* map : {"map_chapters=0:0", "map_chapters=0:-1"}) {
        SCOPED_TRACE(map);
        o.ExtOptions = map;
        const std::string name = std::string("none") + map[15] + ".mka";
        Open(inputs, o, name);
        ASSERT_EQ(Run(), "");
        task.reset();
        EXPECT_TRUE(ProbeChapters(Out(name)).empty());
    }

    o.ExtOptions = "map_chapters=0:3";
    Open(inputs, o, "bad-in.mka");
    EXPECT_EQ(Run(), "Invalid input file index 3 in chapter mapping.");
    o.ExtOptions = "map_chapters=1:2";
    Open(inputs, o, "bad-out.mka");
    EXPECT_EQ(Run(), "Invalid output file index 1 in chapter mapping.");
}

TEST_F(TranscodeMapsTest, ChapterMetadataFollowsTheChapterRules) {
    WriteMedia(WidePath(Out("chapters.mkv")), ThreeChapters());

    // An input chapter's tags into the file's tags: the chapters themselves
    // are still copied, without their titles.
    TOutputOptions o = Audio("flac");
    o.ExtOptions = "map_meta_data=0:0,c1";
    Open({Out("chapters.mkv")}, o, "fromchapter.mka");
    ASSERT_EQ(task->Opt.MetadataChaptersAutocopy, 0);
    ASSERT_EQ(Run(), "");
    task.reset();
    EXPECT_EQ(Tag(ProbeTags(Out("fromchapter.mka"), "format_tags"), "title"), "Two");
    ExpectChapters(ProbeChapters(Out("fromchapter.mka")), {{0, 1, ""}, {1, 2, ""}, {2, 3, ""}});

    // Into an output chapter: the output's chapters exist by the time the
    // maps are applied, so the map can name them.
    o.ExtOptions = "map_meta_data=0,c0:0,c2";
    Open({Out("chapters.mkv")}, o, "tochapter.mka");
    ASSERT_EQ(Run(), "");
    task.reset();
    ExpectChapters(ProbeChapters(Out("tochapter.mka")), {{0, 1, "Three"}, {1, 2, ""}, {2, 3, ""}});

    o.ExtOptions = "map_meta_data=0,c3:0,c0";
    Open({Out("chapters.mkv")}, o, "bad.mka");
    EXPECT_EQ(Run(), "Invalid chapter index 3 while processing metadata maps");
}
