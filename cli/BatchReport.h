#pragma once
// What tembrio-convert tells about a batch: a line per file and the totals
// for a person, with a live bar on a terminal; or, with --progress=jsonl, one
// JSON object per line on standard output for a program:
//   {"event":"started","index":I,"source":S,"output":O}
//   {"event":"progress","index":I,"time":SECONDS[,"percent":P]}
//   {"event":"finished","index":I,"source":S,"status":ST[,"output":O][,"error":E][,"notice":N][,"warning":W]}
//     with ST "converted", "failed", "skipped" or "stopped"; W: a converted
//     file whose source could not be read to its end
//   {"event":"summary","total":N,"converted":C,"failed":F,"skipped":K,"stopped":T[,"not_files":X]}
// Every file of the batch gets one "finished" object; I is its place in the
// batch, from 0. Messages for the user still go to standard error. Any
// thread: the report keeps its own lock.
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "SourceFiles.h"

enum class TFileStatus { Converted, Failed, Skipped, Stopped };

class TBatchReport {
public:
    // `files`: the batch. `live`: a bar on the terminal shows the running
    // file. `withSkipped`: the totals have a "Skipped" line.
    TBatchReport(std::ostream& out, std::ostream& err, const std::vector<TSourceFile>& files, bool json, bool live,
                 bool withSkipped);

    // The conversion of file `index` has begun.
    void Started(size_t index, const std::string& output);
    // `converted` of `total` microseconds of a running file are done; a total
    // of 0 or less is unknown.
    void Progress(size_t index, const std::string& output, int64_t converted, int64_t total);
    // File `index` has settled. `output` may be empty; `error` is the reason
    // a failed one failed; `notice` what the engine tells of the run besides
    // (streams of the source left out), shown on a line of its own;
    // `warning` what is wrong with a converted one (a damaged source), shown
    // on its line.
    void Finished(size_t index, const std::string& output, TFileStatus status, const std::string& error = {},
                  const std::string& notice = {}, const std::string& warning = {});
    // File `index` failed before it was queued; `message` is the whole line.
    void NotQueued(size_t index, const std::string& message);
    // `count` names of media files found in the folders searched were no
    // files (pipes, sockets, devices, dangling links): the totals say so.
    void SkippedNotFiles(size_t count) { notFiles_ = count; }
    // The totals (files that did not settle were stopped); the exit status:
    // 0 when every file converted or was skipped, 1 otherwise.
    int Summary();

private:
    void ClearBar();
    void Settle(size_t index, TFileStatus status);
    void FinishedObject(size_t index, const std::string& output, TFileStatus status, const std::string& error,
                        const std::string& notice = {}, const std::string& warning = {});

    std::ostream& out_;
    std::ostream& err_;
    const std::vector<TSourceFile>& files_;
    const bool json_;
    const bool live_;
    const bool withSkipped_;
    std::mutex lock_;              // everything below, and the two streams
    std::vector<bool> settled_;    // by file
    size_t settledCount_ = 0;
    int counts_[4] = {};           // by TFileStatus
    std::string barName_;          // the file of the bar shown last
    int barPercent_ = -1;
    size_t notFiles_ = 0;          // set before the batch
};
