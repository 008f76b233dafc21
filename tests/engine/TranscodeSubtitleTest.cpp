// The subtitle output path: text subtitles re-encoded into Matroska, and DVB
// subtitles written as a page and the empty page that ends it.
#include "TranscodeTestSupport.h"

#include "FFPtr.h"
#include "MediaIO.h"

namespace {

// A subtitle packet as the container holds it, times in milliseconds.
struct TCue {
    int64_t Start;
    int64_t Duration;
    std::string Data;
};

// Every packet of the first subtitle stream of `path`, read back through the
// libraries; times in the stream's clock rescaled to milliseconds.
std::vector<TCue> ReadCues(const std::string& path, AVRational* timeBase = nullptr) {
    std::vector<TCue> cues;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, path, nullptr, nullptr) < 0) return cues;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return cues;
    const int index = ff::av_find_best_stream(raw, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    if (index < 0) return cues;
    const AVRational tb = raw->streams[index]->time_base;
    if (timeBase) *timeBase = tb;
    PacketPtr pkt = MakePacket();
    while (ff::av_read_frame(raw, pkt.get()) >= 0) {
        if (pkt->stream_index == index)
            cues.push_back({ff::av_rescale_q(pkt->pts, tb, {1, 1000}), ff::av_rescale_q(pkt->duration, tb, {1, 1000}),
                            std::string(reinterpret_cast<const char*>(pkt->data), pkt->size)});
        ff::av_packet_unref(pkt.get());
    }
    return cues;
}

// "codec_name" of the first subtitle stream, by ffprobe.
std::string ProbeSubtitleCodec(const std::string& path) {
    // A transport stream lists its streams once more under their program: the first line is enough.
    const std::string text = CommandOutput(
        "ffprobe -v error -select_streams s:0 -show_entries stream=codec_name -of csv=p=0 " + ShellQuote(path));
    return text.substr(0, text.find_first_of("\r\n"));
}

class TranscodeSubtitleTest : public TranscodeTest {};

} // namespace

TEST_F(TranscodeSubtitleTest, TextSubtitlesSurviveIntoMatroska) {
    // No sound: the times of the file start at 0, so the cues keep theirs.
    TFixtureMedia media;
    media.Seconds = 4;
    media.Video.push_back({});
    media.Subtitles.push_back({"subrip", {{0.5, 1.5, "First words"}, {2.0, 3.25, "Zweite Zeile \u00fc"}}});
    const std::string source = dir.File("in.mkv");
    WriteMedia(WidePath(source), media);
    // The text of an ASS event is its last field; a SubRip packet is all text.
    const struct {
        const char* Encoder;
        const char* Probed;
    } encoders[] = {{"subrip", "subrip"}, {"ass", "ass"}};
    for (const auto& e : encoders) {
        SCOPED_TRACE(e.Encoder);
        TOutputOptions o;
        ResetOutputOptions(o);
        o.DisableVideo = true;
        o.SubtitleCodec = e.Encoder;
        const std::string name = std::string("out-") + e.Encoder + ".mkv";
        Open({source}, o, name);
        ASSERT_EQ(Run(), "");
        EXPECT_EQ(ProbeSubtitleCodec(Out(name)), e.Probed);
        const std::vector<TCue> cues = ReadCues(Out(name));
        ASSERT_EQ(cues.size(), 2u);
        EXPECT_EQ(cues[0].Start, 500);
        EXPECT_EQ(cues[0].Duration, 1000);
        EXPECT_EQ(cues[1].Start, 2000);
        EXPECT_EQ(cues[1].Duration, 1250);
        auto text = [](const std::string& data) {
            size_t at = 0;
            for (int field = 0; field < 8 && data.find(',', at) != std::string::npos; ++field) at = data.find(',', at) + 1;
            return data.substr(at);
        };
        EXPECT_EQ(std::string(e.Encoder) == "ass" ? text(cues[0].Data) : cues[0].Data, "First words");
        EXPECT_EQ(std::string(e.Encoder) == "ass" ? text(cues[1].Data) : cues[1].Data, "Zweite Zeile \u00fc");
    }
}

namespace {

// The display time (milliseconds) of every subtitle the first subtitle stream
// of `path` decodes to.
std::vector<uint32_t> DecodedDisplayTimes(const std::string& path) {
    std::vector<uint32_t> times;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, path, nullptr, nullptr) < 0) return times;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return times;
    const int index = ff::av_find_best_stream(raw, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    if (index < 0) return times;
    const AVCodec* codec = ff::avcodec_find_decoder(raw->streams[index]->codecpar->codec_id);
    CodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(dec.get(), raw->streams[index]->codecpar);
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return times;
    PacketPtr pkt = MakePacket();
    while (ff::av_read_frame(raw, pkt.get()) >= 0) {
        AVSubtitle sub{};
        int got = 0;
        if (pkt->stream_index == index && ff::avcodec_decode_subtitle2(dec.get(), &sub, &got, pkt.get()) >= 0 && got)
            times.push_back(sub.end_display_time - sub.start_display_time);
        ff::avsubtitle_free(&sub);
        ff::av_packet_unref(pkt.get());
    }
    return times;
}

} // namespace

TEST_F(TranscodeSubtitleTest, DvbSubtitlesGiveAPageAndTheEmptyPageThatEndsIt) {
    // Matroska keeps the pauses between pages (a transport stream read back
    // takes a jump of more than 10 s for a break in its clock).
    TFixtureMedia media;
    media.Subtitles.push_back({"dvbsub", {{1.0, 2.5, ""}, {40.0, 41.0, ""}, {45.0, 46.0, ""}}});
    const std::string source = dir.File("dvb.mkv");
    WriteMedia(WidePath(source), media);
    // The display time the decoder reports (the page's time-out), as the
    // engine gets it.
    const std::vector<uint32_t> shown = DecodedDisplayTimes(source);
    ASSERT_EQ(shown.size(), 3u);
    ASSERT_GT(shown[1], 5000u) << "the third page must come before the second one ends";

    TOutputOptions o;
    ResetOutputOptions(o);
    o.DisableVideo = o.DisableAudio = true;
    o.SubtitleCodec = "dvbsub";
    Open({source}, o, "out.ts");
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(ProbeSubtitleCodec(Out("out.ts")), "dvb_subtitle");
    AVRational tb{};
    const std::vector<TCue> cues = ReadCues(Out("out.ts"), &tb);
    EXPECT_EQ(tb.den / tb.num, 90000);
    // Each page, then the empty one at its end; the second page's end never
    // comes, as the third replaces it first.
    ASSERT_EQ(cues.size(), 5u);
    const int64_t first = cues[0].Start;
    const int64_t expected[] = {first, first + shown[0], first + 39000, first + 44000, first + 44000 + shown[2]};
    for (size_t i = 0; i < cues.size(); ++i) EXPECT_EQ(cues[i].Start, expected[i]) << i;
    // An empty page is shorter than one that carries the box.
    EXPECT_LT(cues[1].Data.size(), cues[0].Data.size());
    EXPECT_LT(cues[4].Data.size(), cues[3].Data.size());
}
