#pragma once
// What tembrio-convert tells about a batch: a line per file and the totals
// for a person, with a live bar on a terminal; or, with --progress=jsonl, one
// JSON object per line on standard output for a program:
//   {"event":"started","index":I,"source":S[,"track":T],"output":O}
//   {"event":"progress","index":I,"time":SECONDS[,"percent":P]}
//   {"event":"finished","index":I,"source":S[,"track":T],"status":ST[,"output":O][,"error":E][,"notice":N][,"warning":W]
//    [,"loudness":LUFS,"true_peak":DBTP[,"gain":DB]]}
//     with ST "converted", "failed", "skipped" or "stopped"; W: a converted
//     file whose source could not be read to its end; the loudness of a
//     converted file when the batch measures it (LUFS null: silent), with the
//     gain it was normalised with
//   {"event":"album","album":A,"files":[I,...],"loudness":LUFS,"true_peak":DBTP,"gain":DB[,"errors":[E,...]]}
//     an album's gain and peak are in its files' tags (but those of E)
//   {"event":"summary","total":N,"converted":C,"failed":F,"skipped":K,"stopped":T[,"not_files":X]}
// Every file of the batch gets one "finished" object; I is its place in the
// batch, from 0. A track of an image has the image as its source S and its
// number T; a cue sheet that gives no tracks is a failed file of its own. Messages for the user still go to standard error. Any
// thread: the report keeps its own lock.
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "BatchRun.h"
#include "SourceFiles.h"

// The printer of a batch run's events (TBatchRun counts; this only tells).
class TBatchReport : public TBatchListener {
public:
    // `files`: the batch. `live`: a bar on the terminal shows the running
    // file. `withSkipped`: the totals have a "Skipped" line.
    TBatchReport(std::ostream& out, std::ostream& err, const std::vector<TSourceFile>& files, bool json, bool live,
                 bool withSkipped);

    void Started(size_t index, const std::string& output) override;
    void Progress(size_t index, const std::string& output, int64_t converted, int64_t total) override;
    // A failed file that never became a task is shown by its whole line; a
    // stopped one the run never reached only in the JSON lines (the totals
    // count it); a notice goes on a line of its own; a warning on the line of
    // a converted file.
    void Finished(const TBatchFileEnd& end) override;
    // "Album: A, N files: …", and a line on standard error for each file
    // whose tags did not take it.
    void AlbumTagged(const TBatchAlbum& album) override;
    void Summary(const TBatchSummary& summary) override;
    // `count` names of media files found in the folders searched were no
    // files (pipes, sockets, devices, dangling links): the totals say so.
    void SkippedNotFiles(size_t count) { notFiles_ = count; }

private:
    void ClearBar();
    void FinishedObject(const TBatchFileEnd& end);

    std::ostream& out_;
    std::ostream& err_;
    const std::vector<TSourceFile>& files_;
    const bool json_;
    const bool live_;
    const bool withSkipped_;
    std::mutex lock_;              // everything below, and the two streams
    size_t finished_ = 0;          // for the bar
    std::string barName_;          // the file of the bar shown last
    int barPercent_ = -1;
    size_t notFiles_ = 0;          // set before the batch
};
