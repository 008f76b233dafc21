// Queueing a file on the encoder in the two steps both front ends take:
// probing (which may run ahead) and queueing.
#include <gtest/gtest.h>

#include <filesystem>

#include "FFEncoder.h"
#include "Fixtures.h"
#include "QueueFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class QueueFileTest : public LibrariesTest {
protected:
    // Probes `path` and closes it again, as probing ahead does.
    TProbedFile Probe(const std::string& path) {
        TProbedFile file = ProbeFile(probe_, WidePath(path), target_);
        probe_.CloseFile();
        return file;
    }
    std::string Tone(const std::string& folder) {
        fs::create_directories(src_.File(folder));
        const std::string path = src_.File(folder + "/song.wav");
        WriteToneWav(WidePath(path), 44100, 2, 0.2);
        return path;
    }

    TempDir src_, out_;
    TNameReservations reserved_;
    TOutputTarget target_{out_.Path(), 1, 0, &reserved_};
    TFFDecoder probe_;
    TFFEncoder encoder_;
};

} // namespace

// Both files are probed before either is queued, so both were first named
// song.mp3; the second must count the output the first one created.
TEST_F(QueueFileTest, TheOutputIsNamedWhenQueuedAgainstTheFilesQueuedBefore) {
    TProbedFile first = Probe(Tone("a"));
    TProbedFile second = Probe(Tone("b"));
    ASSERT_TRUE(first.Loaded && second.Loaded);
    EXPECT_EQ(second.Output.FileName, WidePath(out_.File("song.mp3")));

    const TQueueResult one = QueueProbedFile(encoder_, first, target_);
    const TQueueResult two = QueueProbedFile(encoder_, second, target_);
    ASSERT_TRUE(one.Queued() && two.Queued()) << one.Error << two.Error;
    EXPECT_EQ(two.TaskIndex, 1);
    EXPECT_EQ(first.Output.FileName, WidePath(out_.File("song.mp3")));
    EXPECT_EQ(second.Output.FileName, WidePath(out_.File("song(1).mp3")));
    // The names are the queue's; no file exists before its conversion starts.
    EXPECT_FALSE(fs::exists(out_.File("song.mp3")));
    encoder_.ClearTasks();
}

TEST_F(QueueFileTest, EachRefusalIsReportedByItsOwnLineAndLeavesNoTask) {
    const std::string text = src_.File("text.mp3");
    WriteTextFile(text, "not a media file");
    TProbedFile unreadable = Probe(text);
    const TQueueResult notLoaded = QueueProbedFile(encoder_, unreadable, target_);
    EXPECT_EQ(notLoaded.Error, "File load error: " + unreadable.LoadError);
    EXPECT_NE(unreadable.LoadError.find(text), std::string::npos) << unreadable.LoadError;

    // The file went away between probing and queueing.
    const std::string gone = Tone("gone");
    TProbedFile vanished = Probe(gone);
    fs::remove(gone);
    const TQueueResult notAdded = QueueProbedFile(encoder_, vanished, target_);
    EXPECT_EQ(notAdded.Error, "Adding file error: " + encoder_.LastErrorMessage);
    EXPECT_FALSE(encoder_.LastErrorMessage.empty());

    // An option the engine refuses fails the output's set-up after the output
    // file was created: the task goes, and its empty file with it.
    TProbedFile refused = Probe(Tone("c"));
    refused.Output.ExtOptions = "qscale=0";
    const TQueueResult notSet = QueueProbedFile(encoder_, refused, target_);
    EXPECT_EQ(notSet.Error, "Cannot do convert, error: qscale must be > 0.0 and <= 255");

    for (const TQueueResult* r : {&notLoaded, &notAdded, &notSet}) EXPECT_FALSE(r->Queued());
    EXPECT_EQ(encoder_.TaskCount(), 0);
    EXPECT_TRUE(fs::is_empty(out_.Path()));
}

// The library searches a WAV's 16-bit PCM for another codec stored in it.
// The probe's search stands for the later openings of the same file, unless
// it found something: then they search again.
TEST_F(QueueFileTest, AWavIsSearchedForAHiddenCodecOnceUnlessOneWasFound) {
    EXPECT_TRUE(Probe(Tone("plain")).Input.PlainPcm);

    const std::string hidden = src_.File("hidden.wav");
    WriteAc3InWav(hidden, 1.0);
    TProbedFile probed = ProbeFile(probe_, WidePath(hidden), target_);
    ASSERT_TRUE(probed.Loaded) << probed.LoadError;
    EXPECT_EQ(probe_.FormatContext()->streams[0]->codecpar->codec_id, AV_CODEC_ID_AC3);
    EXPECT_FALSE(probed.Input.PlainPcm);
    // Told that its PCM holds nothing else, the probe takes the header's word.
    probed = ProbeFile(probe_, WidePath(hidden), target_, true);
    EXPECT_EQ(probe_.FormatContext()->streams[0]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
    probe_.CloseFile();
}
