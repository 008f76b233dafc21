#pragma once
// The encoder component: what the application sees of the engine. It keeps an
// ordered list of tasks, starts them one after another (or several at a time)
// on worker threads, stops them, and reports their progress and their end
// through events. Its tasks stay inside the engine: the front ends queue them
// by index and learn of them through the events and the queries below.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "EncoderEvents.h"
#include "FFBaseComponent.h"
#include "FFDecode.h"
#include "TaskRecords.h"
#include "TerminateDelivery.h"

class TCustomFFmpeg;
class TFFmpeg;
class TFFmpegList;

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
    bool Working() const { return working_; }
    int TaskCount() const;
    // Raises Exception "List index out of bounds (%d)" for a bad index.
    TTaskStatus TaskStatus(int taskIndex) const;

    TTerminateEvent OnTerminate;
    TProgressEvent OnProgress;
    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TPreviewBitmapEvent OnPreviewBitmap;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;

    // Disconnects every handler above: nothing the tasks report from now on
    // reaches one. Returns once no relay is inside a handler (on the main
    // thread it serves hand-offs meanwhile, since a relay may be waiting for
    // one); records already handed to the delivery thread still reach the
    // handler they were made for. Not from inside a progress, preview or hook
    // handler: the relay that called it holds the lock this waits for.
    void ClearEvents();

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

protected:
    // The engine's own view of the tasks, for a component derived from this
    // one (and the engine's tests); the list's header is the engine's.
    TFFmpegList& TaskList() { return *tasks_; }

private:
    void CheckNotWorking(const std::string& operation) const;
    void StartNextTask();
    void DoAllTerminated();
    void ConnectRelays(TFFmpeg& task, bool withProgress);
    // Hands a termination record to the delivery thread.
    void Deliver(const TTerminateInfo& info);
    void DoVideoHook(const TVideoHookEvent& handler, TCustomFFmpeg* task, TBitmap* bitmap, bool& update,
                     bool& stopHook, int64_t pts, int frameNumber);

    std::unique_ptr<TFFDecoder> decoder_;
    std::unique_ptr<TFFmpegList> tasks_;
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
    // Re-entered when a started task fails its start checks. Held, no task
    // starts: the queries read a task that is not running under it.
    mutable std::recursive_mutex terminateLock_;
    std::mutex videoHookLock_;

    TProgressInfo progressInfo_;
    TPreviewInfo previewInfo_;
    THookInfo hookInfo_;
    TTerminateDelivery delivery_;         // last member: joined before the rest goes
};

class TFFEncoder : public TCustomEncoder {
public:
    using TCustomEncoder::TCustomEncoder;
};
