#pragma once
// The encoder component: what the application sees of the engine. It keeps an
// ordered list of tasks, starts them one after another (or several at a time)
// on worker threads, stops them, and reports their progress and their end
// through events.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FFBaseComponent.h"
#include "FFDecode.h"
#include "CustomFFmpeg.h"
#include "TaskRecords.h"

struct TTerminateInfo {
    int TaskIndex = -1;  // -1: every task has ended
    bool Completed = false;
    bool Failed = false;
    std::string ErrorMessage;
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

class TCustomEncoder;

// A task of the encoder: the transcoder plus one probe per input slot.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(int fileCapacity, TCustomEncoder* owner);
    ~TFFmpeg() override;

    TCustomEncoder* Owner() const { return owner_; }
    // The probe of input slot `slot`, created on first use.
    TFFDecoder& DecoderForSlot(int slot);

private:
    TCustomEncoder* owner_;
    std::vector<std::unique_ptr<TFFDecoder>> decoders_;
};

// The task list; it owns its tasks.
class TFFmpegList {
public:
    int Add(std::unique_ptr<TFFmpeg> task);
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises Exception "List index out of bounds (%d)" for a bad index.
    TFFmpeg* Items(int index) const;
    int IndexOf(const TCustomFFmpeg* task) const;
    void Delete(int index);
    void Clear();
    void StopAll(bool wait);
    void SetPreviewAll(bool on);
    void SetPreviewBitmapAll(bool on);

private:
    std::vector<std::unique_ptr<TFFmpeg>> items_;
};

using TTerminateEvent = std::function<void(void* Sender, const TTerminateInfo& Info)>;
using TProgressEvent = std::function<void(void* Sender, PProgressInfo Info)>;
using TAudioHookEvent = std::function<void(void* Sender, int TaskIndex, int64_t Pts, uint8_t* Samples, int Size,
                                           int SampleRate, int Channels, int SampleFormat)>;
using TBeforeFindStreamInfoEvent = std::function<void(void* Sender, AVFormatContext* Context)>;
using TPreviewBitmapEvent = std::function<void(void* Sender, const TPreviewInfo& Info)>;
using TVideoHookEvent = std::function<void(void* Sender, THookInfo* Info)>;

class TCustomEncoder : public TFFBaseComponent {
public:
    explicit TCustomEncoder(void* owner = nullptr);
    ~TCustomEncoder() override;

    const std::string Version = "3.9";
    std::string LastErrorMessage;
    int MaxFilesPerTask = 20;
    bool StrictOptions = true;
    int IoTimeoutMs = 10000;
    bool TriggerEventInMainThread = true;
    int Verbosity = 1;

    bool Preview() const { return preview_; }
    void SetPreview(bool on);
    bool PreviewBitmap() const { return previewBitmap_; }
    void SetPreviewBitmap(bool on);
    int ProgressInterval() const { return progressInterval_; }
    void SetProgressInterval(int milliseconds);

    TFFDecoder& Decoder() { return *decoder_; }
    TFFmpegList& Tasks() { return tasks_; }
    bool Working() const { return working_; }

    TTerminateEvent OnTerminate;
    TProgressEvent OnProgress;
    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TPreviewBitmapEvent OnPreviewBitmap;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;

    bool LibrariesLoaded() const;
    bool LoadLibraries(const std::string& folder);

    // The new task's index, or -1 with LastErrorMessage.
    int AddTask(const std::wstring& fileName, const TInputOptions* options = nullptr);
    bool SetOutputFile(int taskIndex, const std::wstring& fileName, const TOutputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    // threadCount > 0: on worker threads, at most that many at a time;
    // otherwise every task runs in turn inside this call.
    void StartTask(int threadCount);
    void Stop(bool wait);

    // Relays the tasks call (any thread).
    virtual void DoProgress(TCustomFFmpeg* task, int fileIndex, int frameNumber, int fps, float quality,
                            float bitRate, int64_t totalSize, int64_t currentDuration, int64_t totalDuration);
    virtual void DoTerminate(TCustomFFmpeg* task);
    virtual void DoPreviewBitmap(TCustomFFmpeg* task, const TBitmap* bitmap, int64_t pts);
    virtual void DoVideoInputHook(TCustomFFmpeg* task, TBitmap* bitmap, bool& update, bool& stopHook, int64_t pts,
                                  int frameNumber);
    virtual void DoVideoOutputHook(TCustomFFmpeg* task, TBitmap* bitmap, bool& update, bool& stopHook, int64_t pts,
                                   int frameNumber);
    void DoAudioHook(TCustomFFmpeg* task, int64_t pts, uint8_t* samples, int size, int sampleRate, int channels,
                     int sampleFormat);
    void DoBeforeFindStreamInfo(TCustomFFmpeg* task, AVFormatContext* context);

private:
    void CheckNotWorking(const std::string& operation) const;
    void StartNextTask();
    void DoAllTerminated();
    void ConnectRelays(TFFmpeg& task, bool withProgress);
    // Hands a termination record to a delivery thread; the records are handed
    // to OnTerminate one at a time, in the order they were made.
    void Deliver(const TTerminateInfo& info);
    void JoinDeliveryThreads();
    void DoVideoHook(const TVideoHookEvent& handler, TCustomFFmpeg* task, TBitmap* bitmap, bool& update,
                     bool& stopHook, int64_t pts, int frameNumber);

    std::unique_ptr<TFFDecoder> decoder_;
    TFFmpegList tasks_;
    bool preview_ = false;
    bool previewBitmap_ = false;
    int progressInterval_ = 500;

    // Run bookkeeping, under terminateLock_ once a run has started.
    int finishedCount_ = 0;
    int nextTaskIndex_ = -1;
    int remainingToStart_ = 0;
    bool allTerminated_ = false;
    bool threaded_ = false;
    bool working_ = false;

    std::mutex audioHookLock_;
    std::mutex previewLock_;
    std::mutex progressLock_;
    std::recursive_mutex terminateLock_;  // re-entered when a started task fails its start checks
    std::mutex videoHookLock_;

    TProgressInfo progressInfo_;
    TPreviewInfo previewInfo_;
    THookInfo hookInfo_;
    std::mutex deliveryLock_;             // guards deliveryThreads_
    std::vector<std::thread> deliveryThreads_;
};

class TFFEncoder : public TCustomEncoder {
public:
    using TCustomEncoder::TCustomEncoder;
};
