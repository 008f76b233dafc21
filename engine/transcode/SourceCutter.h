#pragma once
// The stretches of a run's cut sources (a track of an album image, a chapter
// of a long file): where the reading of each starts, which decoded samples
// belong to its stretch, what else of it lies inside, and when its reading
// can stop.
//
// A source whose time stamps name single samples, and whose demuxer seeks to
// where they say, is read from a little before its stretch, and each decoded
// frame is placed by its time stamp. Any other (a clock of milliseconds, a
// raw stream whose seeking estimates the place from its bit rate) is decoded
// from its start and its samples counted: exact, only slower. Should a seek
// land past the stretch's start, or the frames after it carry no time, the
// reading goes back to the start and counts.
#include <cstdint>
#include <utility>
#include <vector>

#include "SourceCut.h"
#include "StreamRecords.h"
#include "TaskRecords.h"

// The stretch input slot `slot` converts, by the records kept for the slots:
// the whole input when its record says none.
TSourceCut CutOfSlot(const std::vector<TInputOptions>& records, int slot);

// What of a decoded audio frame lies in the stretch.
struct TKeptSamples {
    int First = 0;     // samples of the frame before the kept ones
    int Count = 0;     // kept samples; 0: none
    int64_t Pts = 0;   // where the first kept one lies in the run's clock of its file, microseconds
};

class TSourceCutter {
public:
    // Input `file` of the run (`ic`, its streams `streams`) converts only
    // `cut`. `tsOffset` is what the run adds to the file's time stamps
    // (microseconds): the stretch then starts near 0 in the run's clock.
    void AddFile(int file, AVFormatContext* ic, const TSourceCut& cut, int64_t tsOffset,
                 const std::vector<TInputStream*>& streams);
    bool Cuts(int file) const { return Find(file) != nullptr; }

    // Before the first packet is read: each source whose stretch starts late
    // enough is read from a little before it.
    void Begin(void* logSender);
    // Of a frame decoded for `ist`, which samples to keep: all of them, where
    // the stream's clock puts them, when its file is not cut. A cut file's
    // samples are kept only once they can be placed.
    TKeptSamples Audio(TInputStream& ist, const AVFrame& frame);
    // Whether what `ist` now gives (a picture, a subtitle, a packet copied as
    // it is) lies in the stretch, by its time; one past the stretch ends the
    // stream's reading. Attached pictures (covers) are always kept.
    bool Keeps(TInputStream& ist);
    // The stretch of `file` has been decoded up to its end: nothing more of
    // it is needed.
    bool Ended(int file) const;
    // The reading of `file` must start again at its start (a seek went too
    // far): Restart does it.
    bool RestartPending(int file) const;
    // Reads `file` from its start again, its decoders emptied, its samples
    // counted from there. Raises FFmpegException when it cannot go back.
    void Restart(int file);

private:
    struct TStreamCut {
        TInputStream* Stream = nullptr;
        int Rate = 0;                  // samples per second, of the first frame placed
        int64_t Start = 0;             // the stretch, in samples after the stream's first
        int64_t End = -1;              // -1: to the end
        int64_t Origin = 0;            // the time stamp of the stream's first sample as the run's packets carry it
        int64_t OriginUs = 0;          // … in the run's clock, microseconds
        int64_t Next = 0;              // where the next frame starts when it is counted
        bool Placed = false;           // a frame has been placed
        bool Ended = false;
    };
    struct TFileCut {
        int File = 0;
        AVFormatContext* Input = nullptr;
        TSourceCut Cut;
        int64_t WindowStart = 0;       // the stretch in the run's clock, microseconds
        int64_t WindowEnd = INT64_MAX;
        bool ByTimeStamps = false;     // frames are placed by their time stamps, else counted from the start
        bool Sought = false;           // the reading started at a seek, not at the start
        bool RestartPending = false;
        void* LogSender = nullptr;
        std::vector<TStreamCut> Audio; // the decoded audio streams
        std::vector<TInputStream*> Streams;
    };

    const TFileCut* Find(int file) const;
    TFileCut* Find(int file) { return const_cast<TFileCut*>(std::as_const(*this).Find(file)); }
    // Where `frame` starts, in samples after the stream's first; false when
    // it cannot be placed.
    bool Place(TFileCut& f, TStreamCut& s, const AVFrame& frame, int64_t& position);
    void NoteFirstFrame(const TFileCut& f, const TStreamCut& s, int64_t position) const;
    void Seek(TFileCut& f);

    std::vector<TFileCut> files_;
};
