#pragma once
// Queueing one file as a task of the encoder component, the same way for the
// desktop program and the command-line converter. It takes two steps so that
// probing may run ahead of queueing on other threads: ProbeFile opens the file
// and builds its records, QueueProbedFile adds the task and sets its output on
// the thread that owns the encoder.
#include <string>

#include "FFDecode.h"
#include "OutputNaming.h"
#include "SourceTrack.h"
#include "TaskRecords.h"

class TCustomEncoder;

// Where and how the files of a batch are converted.
struct TOutputTarget {
    std::string Folder;  // "" is the current folder
    int Format = 0;      // output format code (FormatPresets.h)
    int Preset = -1;     // index into the format's presets; -1: none
    // The names the batch's queued files have taken; none: only the files
    // that exist count.
    TNameReservations* Reserved = nullptr;
    // The output is written under the temporary name of its plain name
    // (TemporaryOutputName), which the caller has claimed (TOutputClaim), in
    // the format's container, and removed unless its conversion completes;
    // moving it into place is the caller's (MoveIntoPlace).
    bool ViaTemporary = false;
    // The file's track to convert (it outlives the target), or none for the
    // whole file: only its stretch is converted, under its own name
    // (OutputStem) and with its own tags.
    const TSourceTrack* Track = nullptr;
};

// What probing one file gave: its task's records, or the probe's error text.
struct TProbedFile {
    bool Loaded = false;
    std::string LoadError;
    TInputOptions Input;
    TOutputOptions Output;
};

// A task queued, or the line that reports why not.
struct TQueueResult {
    int TaskIndex = -1;
    std::string Error;
    bool Queued() const { return TaskIndex >= 0; }
};

// Opens `file` in `probe` and builds its records for `target` (for a track:
// its cut of the input, its tags in the output's). The file stays
// open so that the caller may read more of it; closing it is the caller's.
// `plainPcm`: its PCM was searched before and held nothing else (as
// TCustomDecoder::LoadFile). Any thread, each with a probe of its own.
TProbedFile ProbeFile(TCustomDecoder& probe, const std::wstring& file, const TOutputTarget& target,
                      bool plainPcm = false);

// Queues a probed file on `encoder`: a file that did not load is reported as
// "File load error: …". The output is named again here, in file.Output, so
// that the name is unique against the outputs of the files queued before it,
// and reserved in target.Reserved: its file is only created when the
// conversion starts. The name is the plain one (PlainOutputFileName of the
// OutputStem of the file or its target.Track), numbered when taken, or its
// claimed temporary name.
TQueueResult QueueProbedFile(TCustomEncoder& encoder, TProbedFile& file, const TOutputTarget& target);

// Names the output of a probed file that loaded as QueueProbedFile does,
// without reserving the name; "" when named, else the line that reports why
// not. For a file whose task comes later (after a measuring pass).
std::string NameProbedOutput(TProbedFile& file, const TOutputTarget& target);

// Adds the task for `input` with `output`: "Adding file error: …" when the
// task cannot be added, "Cannot do convert, error: …" when its output cannot
// be set, in which case the task is removed again.
TQueueResult AddTaskWithOutput(TCustomEncoder& encoder, const TInputOptions& input, const TOutputOptions& output);
