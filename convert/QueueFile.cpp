#include "QueueFile.h"

#include "Format.h"
#include "OutputNaming.h"
#include "UnicodeProtocol.h"
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
    const std::wstring plain = PlainOutputFileName(file.Input.FileName, target.Folder, target.Format);
    file.Output.FileName = OutputFileNameFor(file.Input.FileName, target.Folder, target.Format, target.Reserved);
    if (file.Output.FileName.empty())
        return {-1, "Cannot do convert, error: " + Format("No free name for %s: every name up to %s is taken",
                                                          WideToUtf8(plain), WideToUtf8(CounterName(plain, MaxNameCounter)))};
    // Should another program take the name before the file is created, the
    // next free number is used.
    file.Output.UniqueBaseName = plain;
    TQueueResult result = AddTaskWithOutput(encoder, file.Input, file.Output);
    if (result.Queued() && target.Reserved) target.Reserved->Reserve(WideToUtf8(file.Output.FileName));
    return result;
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
