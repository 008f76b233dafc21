#include "QueueFile.h"

#include "OutputNaming.h"
#include "PresetRecords.h"

TProbedFile ProbeFile(TCustomDecoder& probe, const std::wstring& file, const TOutputTarget& target) {
    TProbedFile result;
    if (!probe.LoadFile(file)) {
        result.LoadError = probe.LastErrMsg();
        return result;
    }
    result.Loaded = true;
    result.Output = BuildOutputOptions(probe, target.Folder, target.Format, target.Preset);
    result.Input = BuildInputOptions(probe);
    return result;
}

TQueueResult QueueProbedFile(TCustomEncoder& encoder, TProbedFile& file, const TOutputTarget& target) {
    if (!file.Loaded) return {-1, "File load error: " + file.LoadError};
    file.Output.FileName = OutputFileNameFor(file.Input.FileName, target.Folder, target.Format);
    return AddTaskWithOutput(encoder, file.Input, file.Output);
}

TQueueResult AddTaskWithOutput(TCustomEncoder& encoder, const TInputOptions& input, const TOutputOptions& output) {
    const int index = encoder.AddTask(input.FileName, &input);
    if (index < 0) return {-1, "Adding file error: " + encoder.LastErrorMessage};
    if (!encoder.SetOutputFile(index, output.FileName, &output)) {
        const std::string error = encoder.LastErrorMessage;
        // Removing the task also removes the empty file its output created.
        encoder.RemoveTask(index);
        return {-1, "Cannot do convert, error: " + error};
    }
    return {index, {}};
}
