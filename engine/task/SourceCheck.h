#pragma once
// What a task learns of a source when it first opens it (the state the user
// saw it in), so that the end of a run can tell whether the source could be
// read as far as it promised: a file cut short, or one cut while it was
// converted, still gives what it holds, but never silently.
#include <cstdint>
#include <string>
#include <vector>

#include "SourceCut.h"

extern "C" {
#include <libavformat/avformat.h>
}

struct TSourceExpectation {
    // A stream's span as its container states it, in microseconds.
    struct TSpan {
        int64_t Start = 0;
        int64_t Length = -1;      // -1: the stream states no length of its own
    };
    int64_t Size = -1;            // bytes; -1 unknown
    // The lengths below are stated by the file itself (a header, an index),
    // not guessed from its bit rate or its last time stamps: only stated
    // lengths are held against what could be read.
    bool Stated = false;
    int64_t Start = 0;            // where the file's time begins
    int64_t Length = -1;          // the file's length, by whatever estimate; -1 unknown
    int64_t End = INT64_MIN;      // where that length ends
    std::vector<TSpan> Streams;   // by stream index
};

// A source found short by a run: what could be read and what it promised,
// in seconds.
std::string SourceDamagedText(double readSeconds, double promisedSeconds);
// The same for a source that shrank while it was read, when what it promised
// is not known.
std::string SourceShrankText(int64_t sizeBefore, int64_t sizeAfter);
// Whether `read` of `promised` microseconds is clearly short: more than a
// second and more than one in a hundred.
bool ClearlyShort(int64_t read, int64_t promised);

// What each source of a task promised when it was first opened (the
// configuring thread), and where the run's reading of each of its streams
// ended (the worker, in each stream's own clock).
class TSourceCheck {
public:
    // `ic` is opened as input slot `slot`, of which `cut` is converted: a
    // cut input promises what the file holds of its stretch.
    void NoteOpened(int slot, const AVFormatContext* ic, const TSourceCut& cut = {});
    // A packet the run read from input slot `file`.
    void NotePacket(int file, const AVPacket& pkt);
    // What input slot `file` promised; null when it was not noted.
    const TSourceExpectation* Expectation(int file) const;
    // Where the reading ended, by input slot and stream; the next run starts afresh.
    std::vector<std::vector<int64_t>> TakeReadEnds() {
        std::vector<std::vector<int64_t>> ends = std::move(readEnds_);
        readEnds_.clear();
        return ends;
    }

private:
    std::vector<TSourceExpectation> expectations_;
    std::vector<std::vector<int64_t>> readEnds_;
};
