#include "QueueFile.h"

#include "FFEncoder.h"
#include "OutputNaming.h"
#include "OutputUpdate.h"
#include "UnicodeProtocol.h"
#include "PresetRecords.h"

TProbedFile ProbeFile(TCustomDecoder& probe, const std::wstring& file, const TOutputTarget& target, bool plainPcm) {
    TProbedFile result;
    if (!probe.LoadFile(file, "", plainPcm)) {
        result.LoadError = probe.LastErrMsg();
        return result;
    }
    result.Loaded = true;
    result.Output = BuildOutputOptions(probe, target.Folder, target.Format, target.Preset);
    result.Input = BuildInputOptions(probe, target.Format);
    if (target.Track) {
        result.Input.Cut = target.Track->Cut;
        result.Output.Tags = TrackTags(*target.Track);
    }
    return result;
}

TQueueResult QueueProbedFile(TCustomEncoder& encoder, TProbedFile& file, const TOutputTarget& target) {
    if (!file.Loaded) return {-1, "File load error: " + file.LoadError};
    const std::string problem = NameProbedOutput(file, target);
    if (!problem.empty()) return {-1, problem};
    TQueueResult result = AddTaskWithOutput(encoder, file.Input, file.Output);
    if (result.Queued() && target.Reserved && !target.ViaTemporary)
        target.Reserved->Reserve(WideToUtf8(file.Output.FileName));
    return result;
}

std::string NameProbedOutput(TProbedFile& file, const TOutputTarget& target) {
    const std::string stem = OutputStem(WideToUtf8(file.Input.FileName), target.Track);
    if (target.ViaTemporary) {
        // Claimed by the caller: the one name of this output's new version,
        // never numbered.
        const std::string plain = WideToUtf8(PlainOutputFileName(stem, target.Folder, target.Format));
        file.Output.FileName = Utf8ToWide(TemporaryOutputName(plain));
        file.Output.FileFormat = ContainerOf(target.Format);
        file.Output.DiscardUnlessCompleted = true;
        file.Output.WriteIntoClaimedFile = true;
        return {};
    }
    std::string problem;
    file.Output.FileName = OutputFileNameFor(stem, target.Folder, target.Format, target.Reserved, &problem);
    if (file.Output.FileName.empty()) return "Cannot do convert, error: " + problem;
    // Should another program take the name before the file is created, the
    // next free number is used.
    file.Output.UniqueBaseName = PlainOutputFileName(stem, target.Folder, target.Format);
    return {};
}

TQueueResult AddTaskWithOutput(TCustomEncoder& encoder, const TInputOptions& input, const TOutputOptions& output) {
    const int index = encoder.AddTask(input.FileName, &input);
    if (index < 0) return {-1, "Adding file error: " + encoder.LastErrorMessage};
    if (!encoder.SetOutputFile(index, output.FileName, &output)) {
        const std::string error = encoder.LastErrorMessage;
        encoder.RemoveTask(index);
        return {-1, "Cannot do convert, error: " + error};
    }
    return {index, {}};
}
