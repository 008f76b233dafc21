#pragma once
// Converting a batch of files with the batch runner (convert/BatchRun.h) and
// printing what it reports.
#include <iosfwd>
#include <vector>

#include "Arguments.h"
#include "SourceFiles.h"

// Converts `files` (CollectSources) as `options` say; `notFiles` names found
// in the folders searched were no files, which the totals mention. The exit
// status: 0 when every file converted or was skipped, 1 otherwise.
int ConvertBatch(const TCliOptions& options, const std::vector<TSourceFile>& files, std::ostream& out,
                 std::ostream& err, size_t notFiles = 0);
// Prints what the probe finds in each file, with the tracks it holds (an
// embedded cue sheet's; its chapters with `splitChapters`), and the tracks of
// the cue sheets among the files (consecutive tracks of one image under one
// "File:" of the image); 1 when a file cannot be opened, a sheet gives no
// tracks, or a stop was asked for.
int PrintInfo(const std::vector<TSourceFile>& files, bool splitChapters, std::ostream& out, std::ostream& err);
void PrintPresets(std::ostream& out);
