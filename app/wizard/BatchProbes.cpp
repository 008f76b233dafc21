#include "BatchProbes.h"

#include "FileNameEncoding.h"

TBatchProbe ProbeBatchFile(TCustomDecoder& probe, const std::string& file, const TOutputTarget& target) {
    TBatchProbe result;
    result.File = ProbeFile(probe, Utf8ToWide(file), target);
    TCloseFileGuard close(probe);
    TFileStreamInfo info;
    if (result.File.Loaded && probe.GetFileStreamInfo(info) && info.Duration >= 0) result.DurationUs = info.Duration;
    return result;
}
