// Option texts, as a preset's or a user's "ExtOptions" carry them: every line
// through the option table of a fresh task, then the whole text as the
// ExtOptions of an input record and of an output record, applied and opened
// the way the encoder does (a small valid WAV in, an MP3 out, nothing run).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "CustomFFmpeg.h"
#include "Exception.h"
#include "FuzzSupport.h"
#include "TaskRecordApply.h"
#include "TaskRecords.h"

namespace {

constexpr int FileCapacity = 20;
constexpr int IoTimeoutMs = 10000;
constexpr size_t MaxTextSize = 4096;

// "vhook" loads the shared object its value names into the process: mutated
// names would load arbitrary system libraries, which tests nothing of ours.
bool LoadsModules(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text.find("vhook") != std::string::npos;
}

void ApplyEachLine(const std::string& text) {
    TCustomFFmpeg task(FileCapacity);
    for (const TOptionLine& line : ParseOptionText(text)) {
        try {
            task.SetOption(line.Key, line.Value);
        } catch (const Exception&) {
            // A refused option is the table's answer; the next line still applies.
        }
    }
}

void ApplyRecords(const std::string& text) {
    TRunFolder outputs;
    TCustomFFmpeg task(FileCapacity);
    try {
        TInputOptions input;
        input.ExtOptions = text;
        if (!OpenInputWithRecord(task, ValidInputFile(), &input, IoTimeoutMs)) return;
        TOutputOptions output;
        output.AudioCodec = "libmp3lame";
        output.DisableSubtitle = true;
        output.ExtOptions = text;
        OpenOutputWithRecord(task, outputs.File(L"ausgang.mp3"), &output, IoTimeoutMs);
    } catch (const Exception&) {
        // Refused options and unusable settings end the set-up with a message.
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MaxTextSize) return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (LoadsModules(text)) return -1;
    ApplyEachLine(text);
    ApplyRecords(text);
    QuietLibraryLog();
    return 0;
}
