// The progress report of a run as the progress relay and the log see it.
#include <fstream>

#include "CapturedLog.h"
#include "SourceDecoder.h"
#include "TranscodeTestSupport.h"

namespace {

struct TReport {
    int FileIndex, FrameNumber, FPS;
    float Quality, BitRate;
    int64_t TotalSize, CurrentDuration, TotalDuration;
};

class ProgressTest : public TranscodeTest {
protected:
    void OpenMp3(double seconds) {
        const std::string src = ToneWav("src.wav", seconds);
        TOutputOptions o;
        ResetOutputOptions(o);
        o.AudioCodec = "libmp3lame";
        o.AudioBitrate = 112000;
        o.DisableVideo = o.DisableSubtitle = true;
        Open({src}, o, "out.mp3");
        task->ProgressRelay = [this](TCustomFFmpeg* sender, int file, int frame, int fps, float q, float rate,
                                     int64_t size, int64_t current, int64_t total) {
            EXPECT_EQ(sender, task.get());
            reports.push_back({file, frame, fps, q, rate, size, current, total});
        };
    }
    std::vector<TReport> reports;
};

} // namespace

TEST_F(ProgressTest, AudioOnlyReportsRiseToTheFinalOne) {
    OpenMp3(10.0);
    task->ProgressIntervalUs = 0;
    const int64_t total = task->TotalDuration;
    EXPECT_NEAR(static_cast<double>(total), 10000000.0, 50000.0);
    ASSERT_EQ(Run(), "");
    ASSERT_GE(reports.size(), 3u);
    int64_t last = 0;
    for (size_t i = 0; i < reports.size(); ++i) {
        const TReport& r = reports[i];
        EXPECT_EQ(r.FrameNumber, -1);
        EXPECT_EQ(r.FPS, -1);
        EXPECT_FLOAT_EQ(r.Quality, -1.0f);
        EXPECT_EQ(r.TotalDuration, total);
        EXPECT_EQ(r.FileIndex, i + 1 == reports.size() ? -1 : 0);
        // Before anything is muxed the time is the 1e10 s placeholder.
        if (r.CurrentDuration >= 1000000000000000LL) continue;
        EXPECT_GE(r.CurrentDuration, last);
        last = r.CurrentDuration;
    }
    const TReport& final = reports.back();
    EXPECT_NEAR(static_cast<double>(final.CurrentDuration), 10000000.0, 100000.0);
    EXPECT_NEAR(final.BitRate, 112.0, 6.0);
    task.reset();
    std::ifstream f(Out("out.mp3"), std::ios::binary | std::ios::ate);
    EXPECT_NEAR(static_cast<double>(final.TotalSize), static_cast<double>(f.tellg()), 1024.0);
}

TEST_F(ProgressTest, LongIntervalLeavesOnlyTheFinalReportAndTotals) {
    OpenMp3(3.0);
    task->ProgressIntervalUs = INT64_MAX / 2;
    CapturedLog log(llVerbose);
    ASSERT_EQ(Run(), "");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].FileIndex, -1);
    int totals = 0;
    for (const std::string& line : log.Lines()) {
        if (line.rfind("video:0kB audio:", 0) != 0) continue;
        ++totals;
        EXPECT_NE(line.find(" global headers:0kB muxing overhead "), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 3), "%\r\n") << line;
    }
    EXPECT_EQ(totals, 1);
}

TEST_F(ProgressTest, WithoutRelayTheStatusLineIsLogged) {
    OpenMp3(1.0);
    task->ProgressRelay = nullptr;
    task->ProgressIntervalUs = INT64_MAX / 2;
    CapturedLog log(llVerbose);
    ASSERT_EQ(Run(), "");
    int status = 0;
    for (const std::string& line : log.Lines())
        if (line.rfind("size=", 0) == 0 && line.find(" time=") != std::string::npos &&
            line.find("kbits/s") != std::string::npos)
            ++status;
    EXPECT_EQ(status, 1);
}

TEST(ProgressDecodeBuffer, GrowsForLargePacketsOnly) {
    EXPECT_EQ(TSourceDecoder::BufferSizeFor(0, 1000), 192000u);
    EXPECT_EQ(TSourceDecoder::BufferSizeFor(192000, 150000), 300000u);
    EXPECT_EQ(TSourceDecoder::BufferSizeFor(300000, 1000), 300000u);
    EXPECT_EQ(TSourceDecoder::BufferSizeFor(300000, 120000), 300000u);
}
