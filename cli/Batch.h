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
// Prints what the probe finds in each file; 1 when a file cannot be opened or
// a stop was asked for.
int PrintInfo(const std::vector<TSourceFile>& files, std::ostream& out, std::ostream& err);
void PrintPresets(std::ostream& out);
