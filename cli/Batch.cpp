// tembrio-convert's batch: the files go to the batch runner, which converts
// them as the desktop program does; what it reports is printed.
#include "Batch.h"

#include <ostream>
#include <unistd.h>

#include "BatchReport.h"
#include "BatchRun.h"
#include "OutputFolder.h"
#include "PresetRecords.h"
#include "StopSignals.h"

int ConvertBatch(const TCliOptions& options, const std::vector<TSourceFile>& files, std::ostream& out,
                 std::ostream& err, size_t notFiles) {
    // An option that would be left without effect is refused before anything is written.
    for (const std::string& line : options.ExtraLines) {
        const std::string problem = ExtraLineProblem(line, options.Format);
        if (problem.empty()) continue;
        err << "tembrio-convert: " << problem << "\n\n" << UsageText();
        return 2;
    }
    const std::string folderProblem = PrepareOutputFolder(options.OutputDir);
    if (!folderProblem.empty()) {
        err << folderProblem << "\n";
        return 1;
    }
    TBatchReport report(out, err, files, options.JsonProgress, isatty(STDOUT_FILENO) != 0, options.Update);
    report.SkippedNotFiles(notFiles);
    TBatchSettings settings;
    settings.Format = options.Format;
    settings.Preset = options.Preset;
    settings.ExtraLines = options.ExtraLines;
    settings.Update = options.Update;
    settings.Jobs = options.Jobs;
    settings.MakeFolders = options.KeepTree;
    settings.Loudness.ReplayGain = options.ReplayGain;
    settings.Loudness.NormaliseTo = options.NormaliseTo;
    settings.StopWanted = StopRequested;
    TBatchRun run(std::move(settings), report);
    for (const TSourceFile& source : files)
        run.Append({source.Path, options.KeepTree ? MirroredFolder(source, options.OutputDir) : options.OutputDir,
                    source.Track, source.Problem});
    const TBatchSummary summary = run.Run();
    return summary.Converted + summary.Skipped == summary.Total ? 0 : 1;
}
