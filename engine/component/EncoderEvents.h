#pragma once
// The records and event types through which the encoder component reports a
// run: termination, progress, preview pictures and hooks, and what its queries
// tell of a task. The front ends see these, never the task itself.
#include <cstdint>
#include <functional>
#include <string>

#include "Loudness.h"
#include "NoOutputTime.h"

struct AVFormatContext;
struct TBitmap;

struct TTerminateInfo {
    int TaskIndex = -1;  // -1: every task has ended
    bool Completed = false;
    bool Failed = false;
    std::string ErrorMessage;
    // The file of the task's first output as it was created: a numbered name
    // when the one given was taken meanwhile. Empty for a task without output.
    std::wstring OutputFile;
    // What the user should know of a run that was not asked for, such as the
    // audio streams of a source that were left out; empty when nothing.
    std::string Notice;
    // A task that completed with a source it could not read as far as the
    // source promised (cut short, or cut while it was converted): the output
    // holds what could be read. Empty otherwise.
    std::string Warning;
    // The loudness of the first output's audio, when its record asked for it
    // to be measured and the run gave it audio.
    TLoudness Loudness;
};

struct TProgressInfo {
    int TaskIndex = 0;
    int FileIndex = 0;  // -1 in the final report
    int FrameNumber = 0;
    int FPS = 0;
    float Quality = 0;
    float BitRate = 0;
    int64_t TotalSize = 0;
    int64_t CurrentDuration = 0;
    int64_t TotalDuration = -1;
};
using PProgressInfo = TProgressInfo*;

// The current time a report carries while nothing has been written yet.
constexpr int64_t NoOutputTimeUs = static_cast<int64_t>(NoOutputTimeSeconds * 1000000);

// The media time converted so far, in microseconds: 0 while nothing has been
// written, when the report's current time is only a stand-in.
inline int64_t ConvertedDuration(const TProgressInfo& info) {
    return info.CurrentDuration >= NoOutputTimeUs ? 0 : info.CurrentDuration;
}

// A picture of a running task for the preview.
struct TPreviewInfo {
    int TaskIndex = 0;
    const TBitmap* Bitmap = nullptr;
    int64_t Pts = 0;     // microseconds
    int Width = 0;
    int Height = 0;
};

// A picture handed to a video hook. The handler may change the picture and the
// two switches; they go back to the task when it returns.
struct THookInfo {
    int TaskIndex = 0;
    TBitmap* Bitmap = nullptr;
    int FrameNumber = 0;
    int64_t Pts = 0;
    bool Update = true;      // write the bitmap back into the picture
    bool StopHook = false;   // stop calling this hook for the task
};

// Where a task stands.
enum TTaskState { tsQueued, tsRunning, tsEnded };

// What the component tells of one of its tasks.
struct TTaskStatus {
    TTaskState State = tsQueued;
    // The file of the task's first output: the name it was given while it is
    // queued, the one its file was created under once it has ended. Empty
    // while it runs (its worker may still be choosing a free name) and for a
    // task without output.
    std::wstring OutputFile;
};

using TTerminateEvent = std::function<void(void* Sender, const TTerminateInfo& Info)>;
using TProgressEvent = std::function<void(void* Sender, PProgressInfo Info)>;
using TAudioHookEvent = std::function<void(void* Sender, int TaskIndex, int64_t Pts, uint8_t* Samples, int Size,
                                           int SampleRate, int Channels, int SampleFormat)>;
using TBeforeFindStreamInfoEvent = std::function<void(void* Sender, AVFormatContext* Context)>;
using TPreviewBitmapEvent = std::function<void(void* Sender, const TPreviewInfo& Info)>;
using TVideoHookEvent = std::function<void(void* Sender, THookInfo* Info)>;
