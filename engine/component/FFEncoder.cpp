#include "FFEncoder.h"

#include "Exception.h"
#include "FFLoad.h"
#include "Format.h"
#include "MainThread.h"
#include "TaskList.h"
#include "TaskRecordApply.h"

namespace {

// Takes a relay's lock. A relay may hold it while it waits for the main
// thread (a progress or preview handler handed over), so on the main thread
// the hand-offs are served meanwhile.
template <typename Mutex>
std::unique_lock<Mutex> LockServingHandOffs(Mutex& mutex) {
    std::unique_lock<Mutex> lock(mutex, std::defer_lock);
    if (IsMainThread()) {
        while (!lock.try_lock()) CheckSynchronize(5);
    } else {
        lock.lock();
    }
    return lock;
}

} // namespace

TCustomEncoder::TCustomEncoder(void* owner)
    : TFFBaseComponent(owner), decoder_(std::make_unique<TFFDecoder>()), tasks_(std::make_unique<TFFmpegList>()) {}

TCustomEncoder::~TCustomEncoder() {
    ClearEvents();
    {
        // No task may start any more while the list goes away.
        std::lock_guard<std::recursive_mutex> l(terminateLock_);
        remainingToStart_ = 0;
    }
    tasks_->Clear();  // every task stops and is waited for
    delivery_.WaitIdle();
    decoder_.reset();
}

void TCustomEncoder::ClearEvents() {
    // Each handler goes under the lock its relay holds while calling it, so
    // that once the lock is ours no relay is inside that handler, and none
    // calls it again.
    auto clear = [](auto& relayLock, auto&... handlers) {
        auto lock = LockServingHandOffs(relayLock);
        ((handlers = nullptr), ...);
    };
    clear(audioHookLock_, OnAudioHook);
    clear(previewLock_, OnPreviewBitmap);
    clear(progressLock_, OnProgress);
    clear(terminateLock_, OnTerminate);
    clear(videoHookLock_, OnVideoInputHook, OnVideoOutputHook);
    // Raised only while an input is first opened, on the thread that adds
    // the task: no other thread is inside it.
    OnBeforeFindStreamInfo = nullptr;
}

void TCustomEncoder::SetPreview(bool on) {
    tasks_->SetPreviewAll(on);
    preview_ = on;
}

void TCustomEncoder::SetPreviewBitmap(bool on) {
    tasks_->SetPreviewBitmapAll(on);
    previewBitmap_ = on;
}

void TCustomEncoder::SetProgressInterval(int milliseconds) { progressInterval_ = std::max(milliseconds, 100); }

bool TCustomEncoder::LibrariesLoaded() const { return FFLoader() && FFLoader()->AllLoaded(EngineLibraries); }

bool TCustomEncoder::LoadLibraries(const std::string& folder) {
    if (!FFLoader()) throw Exception("The media-library binding has not been started.");
    FFLoader()->SetLibraryPath(folder);
    const bool loaded = FFLoader()->Load(EngineLibraries);
    if (!loaded) LastErrorMessage = FFLoader()->LastError();
    return loaded;
}

void TCustomEncoder::CheckNotWorking(const std::string& operation) const {
    if (working_) throw Exception(Format("Cannot %s while working.", operation));
}

void TCustomEncoder::ConnectRelays(TFFmpeg& task, bool withProgress) {
    task.BeforeFindStreamInfoRelay = [this](TCustomFFmpeg* t, AVFormatContext* c) { DoBeforeFindStreamInfo(t, c); };
    task.PreviewBitmapRelay = [this](TCustomFFmpeg* t, const TBitmap* b, int64_t pts, int) {
        DoPreviewBitmap(t, b, pts);
    };
    if (!withProgress) return;
    task.ProgressRelay = [this](TCustomFFmpeg* t, int file, int frame, int fps, float q, float rate, int64_t size,
                                int64_t current, int64_t total) {
        DoProgress(t, file, frame, fps, q, rate, size, current, total);
    };
    task.TerminateRelay = [this](TCustomFFmpeg* t) { DoTerminate(t); };
}

int TCustomEncoder::AddTask(const std::wstring& fileName, const TInputOptions* options) {
    CheckNotWorking("AddTask");
    try {
        auto task = std::make_unique<TFFmpeg>(MaxFilesPerTask, this);
        task->StrictOptions = StrictOptions;
        task->Opt.Verbose = Verbosity;
        task->SetPreviewFlags((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
        task->OpenFilesAtStart = true;
        ConnectRelays(*task, false);
        const int slot = task->InputFileCount;
        if (!OpenInputWithRecord(*task, fileName, options, IoTimeoutMs)) {
            LastErrorMessage = task->SetupError;
            return -1;
        }
        task->DecoderForSlot(slot).AttachFormatContext(task->InputFiles[slot].get());
        ConnectRelays(*task, true);
        return tasks_->Add(std::move(task));
    } catch (const Exception& e) {
        LastErrorMessage = e.what();
        return -1;
    }
}

bool TCustomEncoder::SetOutputFile(int taskIndex, const std::wstring& fileName, const TOutputOptions* options) {
    CheckNotWorking("SetOutputFile");
    TFFmpeg* task = tasks_->Items(taskIndex);
    if (task->OutputFileCount >= task->FileCapacity) {
        LastErrorMessage = Format("max output files %d reached", task->FileCapacity);
        return false;
    }
    try {
        task->StrictOptions = StrictOptions;
        // Another output of a queued task: its inputs are needed to set it up.
        task->ReopenFiles(false);
        const bool opened = OpenOutputWithRecord(*task, fileName, options, IoTimeoutMs) >= 0;
        // Until its run starts, a queued task holds no file.
        task->ForgetProbes();
        task->ReleaseFiles();
        if (!opened) {
            LastErrorMessage = task->SetupError;
            return false;
        }
        if (task->HookSwitches.AudioHook)
            task->AudioHookRelay = [this](TCustomFFmpeg* t, int64_t pts, uint8_t* samples, int size, int rate,
                                          int channels, int format) {
                DoAudioHook(t, pts, samples, size, rate, channels, format);
            };
        if (task->HookSwitches.VideoInputHook)
            task->VideoInputHookRelay = [this](TCustomFFmpeg* t, TBitmap* b, bool& update, bool& stop, int64_t pts,
                                               int number) { DoVideoInputHook(t, b, update, stop, pts, number); };
        if (task->HookSwitches.VideoOutputHook)
            task->VideoOutputHookRelay = [this](TCustomFFmpeg* t, TBitmap* b, bool& update, bool& stop, int64_t pts,
                                                int number) { DoVideoOutputHook(t, b, update, stop, pts, number); };
        return true;
    } catch (const Exception& e) {
        LastErrorMessage = e.what();
        return false;
    }
}

int TCustomEncoder::TaskCount() const { return tasks_->Count(); }

TTaskStatus TCustomEncoder::TaskStatus(int taskIndex) const {
    // Under the lock no task starts, so one that is not running yet leaves
    // its output's name alone while it is read; one that has ended is done
    // with it. (A run started inline on another thread holds the lock until
    // it has ended.)
    std::lock_guard<std::recursive_mutex> lock(terminateLock_);
    const TFFmpeg* task = tasks_->Items(taskIndex);
    TTaskStatus status;
    if (task->Terminated) status.State = tsEnded;
    else if (task->Running) status.State = tsRunning;
    if (status.State != tsRunning && !task->OutputOptionCopies.empty())
        status.OutputFile = task->OutputOptionCopies.front().FileName;
    return status;
}

void TCustomEncoder::RemoveTask(int taskIndex) {
    CheckNotWorking("RemoveTask");
    tasks_->Delete(taskIndex);
}

void TCustomEncoder::ClearTasks() {
    {
        // The last worker may still be inside its termination; the lock waits for it.
        std::lock_guard<std::recursive_mutex> lock(terminateLock_);
        if (working_ && !allTerminated_) throw Exception("Cannot ClearTasks while working.");
    }
    tasks_->Clear();
    // No record of this run may reach a handler after the list is cleared.
    delivery_.WaitIdle();
    LastErrorMessage.clear();
    finishedCount_ = 0;
    nextTaskIndex_ = -1;
    remainingToStart_ = 0;
    allTerminated_ = false;
    threaded_ = false;
    working_ = false;
}

void TCustomEncoder::StartTask(int threadCount) {
    CheckNotWorking("StartTask");
    std::lock_guard<std::recursive_mutex> lock(terminateLock_);
    finishedCount_ = 0;
    nextTaskIndex_ = 0;
    remainingToStart_ = tasks_->Count();
    allTerminated_ = false;
    threaded_ = threadCount > 0;
    working_ = true;
    // An empty batch ends at once instead of waiting for tasks that never come.
    if (tasks_->Count() == 0) {
        DoAllTerminated();
        return;
    }
    while (remainingToStart_ > 0) {
        StartNextTask();
        if (threaded_ && --threadCount == 0) break;
    }
}

void TCustomEncoder::StartNextTask() {
    if (remainingToStart_ <= 0) return;
    --remainingToStart_;
    TFFmpeg* task = tasks_->Items(nextTaskIndex_);
    task->ProgressIntervalUs = static_cast<int64_t>(progressInterval_) * 1000;
    ++nextTaskIndex_;
    task->Start(threaded_);
}

void TCustomEncoder::Stop(bool wait) {
    {
        std::lock_guard<std::recursive_mutex> lock(terminateLock_);
        remainingToStart_ = 0;
    }
    if (working_) tasks_->StopAll(wait);
}

void TCustomEncoder::DoTerminate(TCustomFFmpeg* task) {
    std::lock_guard<std::recursive_mutex> lock(terminateLock_);
    if (OnTerminate) {
        TTerminateInfo info;
        info.TaskIndex = tasks_->IndexOf(task);
        info.Completed = task->Completed;
        info.Failed = task->Failed;
        info.ErrorMessage = task->ErrorMessage;
        info.Notice = task->StreamNotice;
        info.Loudness = task->Loudness;
        if (info.Completed && !info.Failed) info.Warning = task->SourceWarning;
        if (!task->OutputOptionCopies.empty()) info.OutputFile = task->OutputOptionCopies.front().FileName;
        if (threaded_ || !working_) {
            Deliver(info);
        } else {
            OnTerminate(this, info);
        }
    }
    ++finishedCount_;
    if (remainingToStart_ < 1) {
        if (finishedCount_ >= tasks_->Count()) DoAllTerminated();
    } else if (threaded_) {
        StartNextTask();
    }
}

void TCustomEncoder::DoAllTerminated() {
    // Marked before the record goes out: its handler may clear the tasks at
    // once, on its own thread or by waking another.
    allTerminated_ = true;
    if (OnTerminate) {
        TTerminateInfo info;
        info.TaskIndex = -1;
        info.Completed = true;
        if (threaded_ || !working_) Deliver(info);
        else OnTerminate(this, info);
    }
}

void TCustomEncoder::Deliver(const TTerminateInfo& info) {
    TTerminateEvent handler = OnTerminate;
    delivery_.Post([this, handler](const TTerminateInfo& record) { handler(this, record); }, info);
}

void TCustomEncoder::DoProgress(TCustomFFmpeg* task, int fileIndex, int frameNumber, int fps, float quality,
                                float bitRate, int64_t totalSize, int64_t currentDuration, int64_t totalDuration) {
    std::lock_guard<std::mutex> lock(progressLock_);
    if (!OnProgress) return;
    progressInfo_.TaskIndex = tasks_->IndexOf(task);
    progressInfo_.FileIndex = fileIndex;
    progressInfo_.FrameNumber = frameNumber;
    progressInfo_.FPS = fps;
    progressInfo_.Quality = quality;
    progressInfo_.BitRate = bitRate;
    progressInfo_.TotalSize = totalSize;
    progressInfo_.CurrentDuration = currentDuration;
    progressInfo_.TotalDuration = totalDuration;
    TProgressEvent handler = OnProgress;
    if (TriggerEventInMainThread && !IsMainThread()) RunInMainThread([&] { handler(this, &progressInfo_); });
    else handler(this, &progressInfo_);
}

void TCustomEncoder::DoPreviewBitmap(TCustomFFmpeg* task, const TBitmap* bitmap, int64_t pts) {
    std::lock_guard<std::mutex> lock(previewLock_);
    if (!OnPreviewBitmap) return;
    previewInfo_.TaskIndex = tasks_->IndexOf(task);
    previewInfo_.Bitmap = bitmap;
    previewInfo_.Pts = pts;
    previewInfo_.Width = bitmap ? bitmap->Width : 0;
    previewInfo_.Height = bitmap ? bitmap->Height : 0;
    TPreviewBitmapEvent handler = OnPreviewBitmap;
    if (TriggerEventInMainThread && !IsMainThread()) RunInMainThread([&] { handler(this, previewInfo_); });
    else handler(this, previewInfo_);
}

void TCustomEncoder::DoVideoHook(const TVideoHookEvent& handler, TCustomFFmpeg* task, TBitmap* bitmap, bool& update,
                                 bool& stopHook, int64_t pts, int frameNumber) {
    std::lock_guard<std::mutex> lock(videoHookLock_);
    if (!handler) return;
    hookInfo_.TaskIndex = tasks_->IndexOf(task);
    hookInfo_.Bitmap = bitmap;
    hookInfo_.FrameNumber = frameNumber;
    hookInfo_.Pts = pts;
    hookInfo_.Update = update;
    hookInfo_.StopHook = stopHook;
    handler(this, &hookInfo_);  // on the task's own thread
    update = hookInfo_.Update;
    stopHook = hookInfo_.StopHook;
}

void TCustomEncoder::DoVideoInputHook(TCustomFFmpeg* task, TBitmap* bitmap, bool& update, bool& stopHook,
                                      int64_t pts, int frameNumber) {
    DoVideoHook(OnVideoInputHook, task, bitmap, update, stopHook, pts, frameNumber);
}

void TCustomEncoder::DoVideoOutputHook(TCustomFFmpeg* task, TBitmap* bitmap, bool& update, bool& stopHook,
                                       int64_t pts, int frameNumber) {
    DoVideoHook(OnVideoOutputHook, task, bitmap, update, stopHook, pts, frameNumber);
}

void TCustomEncoder::DoAudioHook(TCustomFFmpeg* task, int64_t pts, uint8_t* samples, int size, int sampleRate,
                                 int channels, int sampleFormat) {
    std::lock_guard<std::mutex> lock(audioHookLock_);
    if (!OnAudioHook) return;
    OnAudioHook(this, tasks_->IndexOf(task), pts, samples, size, sampleRate, channels, sampleFormat);
}

void TCustomEncoder::DoBeforeFindStreamInfo(TCustomFFmpeg* task, AVFormatContext* context) {
    if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(task, context);
}
