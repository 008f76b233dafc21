#pragma once
// Turning the option records of the application into calls on a task's
// options, in the order that decides which setting wins, and opening the
// input or output they describe. The encoder component wraps these.
#include <string>
#include <vector>

#include "CustomFFmpeg.h"
#include "TaskRecords.h"

// The per-output list of stream defaults: "def_..." entries taken from the
// record, followed by the stream-option lines of its option text.
struct TDefaultsList {
    std::vector<TOptionLine> Lines;  // Key holds the name ("def_acodec", "acodec", ...)

    // The value of the first "def_" entry of `name` (case-insensitive), or "".
    std::string Default(const std::string& name) const;
};

// Applies every line of an option text through SetOption, in order. Stream
// keys are skipped; codec and size keys only pass with `allowCodecKeys`.
// Raises what SetOption raises.
void ApplyOptionText(TCustomFFmpeg& task, const std::string& text, bool allowCodecKeys);

TDefaultsList BuildDefaultsList(const TOutputOptions& options);
// Gives the next stream of its kind the first line named `name` (taking it
// out of the list), else the record's default for `name`.
void TakeStreamOption(TCustomFFmpeg& task, TDefaultsList& list, const std::string& name);
// Adds the streams that "newaudio", "newvideo" and "newsubtitle" lines ask for.
void ApplyNewStreamLines(TCustomFFmpeg& task, const std::string& text, TDefaultsList& list);
void ApplyTarget(TCustomFFmpeg& task, const TOutputOptions& options);
// The record's own fields, in their fixed order.
void ApplyOutputRecord(TCustomFFmpeg& task, const TOutputOptions& options);

// Applies an input record (or none) and opens the input. False with the task's
// SetupError when the open fails; raises Exception for an option error.
bool OpenInputWithRecord(TCustomFFmpeg& task, const std::wstring& fileName, const TInputOptions* options,
                         int ioTimeoutMs);
// Applies an output record (or none) and opens the output. The new output
// count, or -1 with the task's SetupError; raises Exception for an option
// error. `ioTimeoutMs` is the encoder's input/output time-out.
int OpenOutputWithRecord(TCustomFFmpeg& task, const std::wstring& fileName, const TOutputOptions* options,
                         int ioTimeoutMs);
