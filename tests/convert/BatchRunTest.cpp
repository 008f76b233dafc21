// The batch runner without a window or a terminal: what a front end hears of
// a batch, how many files run at once, the names the outputs get, files
// added while it runs, and a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/xattr.h>
#include <thread>

#include "BatchRun.h"
#include "Fixtures.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Everything the runner tells, in the order it tells it.
class TRecorder : public TBatchListener {
public:
    struct TEvent {
        char Kind;  // 'q'ueued, 's'tarted, 'f'inished
        size_t Index;
        std::string Output;
    };

    void Queued(size_t index, const std::string& output) override { Add('q', index, output); }
    void Started(size_t index, const std::string& output) override {
        Add('s', index, output);
        maxRunning_ = std::max(maxRunning_, ++running_);
        if (OnStarted) OnStarted(index);
    }
    void Finished(const TBatchFileEnd& end) override {
        Add('f', end.Index, end.Output);
        ends_[end.Index] = end;
        if (end.Queued) --running_;
    }
    void Summary(const TBatchSummary& summary) override { summary_ = summary; }
    void Progress(size_t index, const std::string&, int64_t, int64_t total) override {
        std::lock_guard<std::mutex> lock(progressLock_);
        totals_[index] = total;
    }
    void AlbumTagged(const TBatchAlbum& album) override { albums_.push_back(album.Files); }

    std::function<void(size_t)> OnStarted;
    std::vector<TEvent> events_;
    std::map<size_t, TBatchFileEnd> ends_;
    TBatchSummary summary_;
    int running_ = 0, maxRunning_ = 0;
    std::mutex progressLock_;
    std::map<size_t, int64_t> totals_;  // the last progress total of each file
    std::vector<std::vector<size_t>> albums_;
    // Calls on other threads than Run's, but for progress.
    int otherThread_ = 0;
    std::thread::id runThread_ = std::this_thread::get_id();

private:
    void Add(char kind, size_t index, const std::string& output) {
        if (std::this_thread::get_id() != runThread_) ++otherThread_;
        events_.push_back({kind, index, output});
    }
};

class BatchRunTest : public LibrariesTest {
protected:
    std::string Tone(const std::string& name, double seconds) {
        const std::string path = src_.File(name);
        fs::create_directories(fs::path(path).parent_path());
        WriteToneWav(WidePath(path), 44100, 2, seconds);
        return path;
    }
    TBatchSettings Settings(int format, int jobs) {
        TBatchSettings settings;
        settings.Format = format;
        settings.Preset = 0;
        settings.Jobs = jobs;
        return settings;
    }
    // The position of the first event of `kind` for file `index`; -1 if none.
    static int At(const TRecorder& r, char kind, size_t index) {
        for (size_t i = 0; i < r.events_.size(); ++i)
            if (r.events_[i].Kind == kind && r.events_[i].Index == index) return static_cast<int>(i);
        return -1;
    }
    TempDir src_, out_;
};

} // namespace

// Two at once: every file is queued, started and finished in that order, on
// the thread that runs the batch, files start in their order, and two files
// of the batch with one name get song.mp3 and song(1).mp3, as when every
// file was queued before the first started.
TEST_F(BatchRunTest, FilesRunTwoAtOnceInOrderUnderTheirNames) {
    TRecorder recorder;
    TBatchRun run(Settings(1, 2), recorder);
    const std::vector<std::string> sources = {Tone("a/song.wav", 3.0), Tone("b/song.wav", 3.0),
                                              src_.File("missing.wav"), Tone("c/other.wav", 3.0)};
    for (const std::string& source : sources) ASSERT_TRUE(run.Append({source, out_.Path()}));
    const TBatchSummary summary = run.Run();

    EXPECT_EQ(summary.Total, 4u);
    EXPECT_EQ(summary.Converted, 3u);
    EXPECT_EQ(summary.Failed, 1u);
    EXPECT_EQ(recorder.summary_.Converted, 3u);
    EXPECT_EQ(recorder.ends_.size(), 4u);
    EXPECT_EQ(recorder.otherThread_, 0);
    EXPECT_EQ(recorder.maxRunning_, 2);
    EXPECT_EQ(recorder.ends_[0].Output, out_.File("song.mp3"));
    EXPECT_EQ(recorder.ends_[1].Output, out_.File("song(1).mp3"));
    EXPECT_EQ(recorder.ends_[3].Output, out_.File("other.mp3"));
    EXPECT_FALSE(recorder.ends_[2].Queued);
    EXPECT_EQ(recorder.ends_[2].Error.rfind("File load error: ", 0), 0u) << recorder.ends_[2].Error;
    for (size_t i : {0u, 1u, 3u}) {
        EXPECT_EQ(recorder.ends_[i].Outcome, TBatchOutcome::Converted) << i;
        EXPECT_LT(At(recorder, 'q', i), At(recorder, 's', i)) << i;
        EXPECT_LT(At(recorder, 's', i), At(recorder, 'f', i)) << i;
        EXPECT_TRUE(fs::file_size(recorder.ends_[i].Output) > 0) << i;
    }
    EXPECT_LT(At(recorder, 's', 0), At(recorder, 's', 1));
    EXPECT_LT(At(recorder, 's', 1), At(recorder, 's', 3));
    // The run is over: no more files.
    EXPECT_FALSE(run.Append({sources[0], out_.Path()}));
}

// Page 1 found nothing but PCM in the file; it has changed since, and holds
// AC-3 frames now: its PCM is searched again, and the AC-3 is converted.
TEST_F(BatchRunTest, AFileChangedSinceItWasFoundPlainIsSearchedAgain) {
    const std::string source = Tone("song.wav", 1.0);
    const TSourceIdentity plainAt = SourceIdentityOf(source);
    WriteAc3InWav(source, 1.0);
    TRecorder recorder;
    {
        TBatchRun run(Settings(6, 1), recorder);
        ASSERT_TRUE(run.Append({source, out_.Path(), std::nullopt, {}, plainAt}));
        run.Run();
    }
    ASSERT_EQ(recorder.ends_[0].Outcome, TBatchOutcome::Converted) << recorder.ends_[0].Error;
    // A second at 48 kHz, not its bytes read as samples.
    EXPECT_GT(ProbeAudioFrames(recorder.ends_[0].Output).Samples, 40000);
}

// A file added while the batch runs is converted in the same run, with the
// next index; its name counts the outputs of the files before it.
TEST_F(BatchRunTest, AFileAppendedWhileItRunsIsConverted) {
    TRecorder recorder;
    TBatchRun run(Settings(0, 1), recorder);
    const std::string song = Tone("song.wav", 0.5);
    ASSERT_TRUE(run.Append({song, out_.Path()}));
    bool appended = false;
    recorder.OnStarted = [&](size_t) {
        if (!appended) appended = run.Append({song, out_.Path()});
    };
    const TBatchSummary summary = run.Run();
    EXPECT_TRUE(appended);
    EXPECT_EQ(summary.Total, 2u);
    EXPECT_EQ(summary.Converted, 2u);
    EXPECT_EQ(recorder.ends_[1].Output, out_.File("song(1).wav"));
    EXPECT_TRUE(fs::exists(out_.File("song(1).wav")));
}

// Stopped while the first file runs: each file settles once, those never
// started as stopped, and none of them leaves a file.
TEST_F(BatchRunTest, AStopSettlesEveryFileAndStartsNoMore) {
    TRecorder recorder;
    TBatchRun run(Settings(1, 1), recorder);
    const std::string first = Tone("0.wav", 20.0);
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        const std::string name = src_.File(std::to_string(i) + ".wav");
        if (i > 0) fs::copy_file(first, name);
        ASSERT_TRUE(run.Append({name, out_.Path()}));
    }
    recorder.OnStarted = [&](size_t) { run.Stop(); };
    const TBatchSummary summary = run.Run();
    EXPECT_EQ(summary.Total, static_cast<size_t>(count));
    EXPECT_EQ(summary.Stopped, static_cast<size_t>(count));
    EXPECT_EQ(recorder.ends_.size(), static_cast<size_t>(count));
    EXPECT_EQ(std::count_if(recorder.events_.begin(), recorder.events_.end(),
                            [](const TRecorder::TEvent& e) { return e.Kind == 's'; }),
              1);
    // Only the file that had started may be there, kept as far as it got.
    EXPECT_LE(std::distance(fs::directory_iterator(out_.Path()), fs::directory_iterator()), 1);
}

// Tracks of an image: each converts only its stretch, named "NN - Title" and
// numbered like any name already taken, tagged as its sheet says, its
// progress told against its own length; the tracks of one image make an
// album. A sheet's problem settles as a failed file. With --update, a track's
// output that records no source is held against the track's length, not the
// whole image's.
TEST_F(BatchRunTest, TracksOfAnImageConvertAsFilesOfTheirOwn) {
    const std::string image = Tone("album.wav", 3.0);
    TSourceTrack intro;
    intro.Cut = {0, 75, 1, 75};
    intro.Number = 1;
    intro.Total = 2;
    intro.Title = "Intro";
    intro.Performer = "Band";
    TSourceTrack song = intro;
    song.Cut = {75, -1, 1, 75};
    song.Number = 2;
    song.Title = "Song";
    WriteTextFile(out_.File("01 - Intro.flac"), "taken");

    TRecorder recorder;
    TBatchSettings settings = Settings(6, 2);
    settings.Loudness.ReplayGain = true;
    {
        TBatchRun run(settings, recorder);
        ASSERT_TRUE(run.Append({image, out_.Path(), intro}));
        ASSERT_TRUE(run.Append({image, out_.Path(), song}));
        ASSERT_TRUE(run.Append({src_.File("broken.cue"), out_.Path(), std::nullopt, "The sheet is broken"}));
        const TBatchSummary summary = run.Run();
        EXPECT_EQ(summary.Converted, 2u);
        EXPECT_EQ(summary.Failed, 1u);
    }
    EXPECT_EQ(recorder.ends_[0].Output, out_.File("01 - Intro(1).flac"));
    EXPECT_EQ(recorder.ends_[1].Output, out_.File("02 - Song.flac"));
    EXPECT_EQ(recorder.ends_[2].Error, "The sheet is broken");
    EXPECT_FALSE(recorder.ends_[2].Queued);
    EXPECT_EQ(recorder.totals_[0], 1000000);
    EXPECT_EQ(recorder.totals_[1], 2000000);
    EXPECT_EQ(recorder.albums_, (std::vector<std::vector<size_t>>{{0, 1}}));
    TProbedAudio first = ProbeAudioFrames(recorder.ends_[0].Output), second = ProbeAudioFrames(recorder.ends_[1].Output);
    EXPECT_EQ(first.Samples, 44100);
    EXPECT_EQ(second.Samples, 88200);
    EXPECT_EQ(second.Tags["title"], "Song");
    EXPECT_EQ(second.Tags["artist"], "Band");
    EXPECT_EQ(second.Tags["track"], "2");

    // Made without a record of their source and newer than it: only a
    // comparison of lengths can tell whether they are whole.
    for (size_t i : {0u, 1u}) ASSERT_EQ(::removexattr(recorder.ends_[i].Output.c_str(), "user.tembrio.source"), 0);
    fs::rename(recorder.ends_[0].Output, out_.File("01 - Intro.flac"));
    TRecorder again;
    settings.Update = true;
    settings.Loudness.ReplayGain = false;
    TBatchRun update(settings, again);
    ASSERT_TRUE(update.Append({image, out_.Path(), intro}));
    ASSERT_TRUE(update.Append({image, out_.Path(), song}));
    const TBatchSummary summary = update.Run();
    EXPECT_EQ(summary.Skipped, 2u);
    EXPECT_EQ(again.ends_[0].Output, out_.File("01 - Intro.flac"));
}
