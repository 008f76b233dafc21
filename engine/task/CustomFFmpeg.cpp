#include "CustomFFmpeg.h"

#include <algorithm>

#include <cassert>
#include <sys/stat.h>
#include <unistd.h>

#include "FFLoad.h"
#include "FFLog.h"
#include "MyUtilStubs.h"

TCustomFFmpeg::TCustomFFmpeg(int fileCapacity) : FileCapacity(fileCapacity) {
    assert(fileCapacity >= 1 && fileCapacity <= 512);
    InputFiles.resize(FileCapacity);
    InputTsOffsets.assign(FileCapacity, 0);
    InputTsScales.assign(FileCapacity, {});
    OutputFiles.assign(FileCapacity, nullptr);
    OutputPaths.assign(FileCapacity, {});
    OutputStreamsForFile.resize(FileCapacity);
    // Without the libraries there is nothing a task could do with its option
    // values: they stay at zero until a reset.
    if (FFLoader() && FFLoader()->AllLoaded(EngineLibraries)) ResetState();
    else Opt = ZeroOptionValues();
}

TCustomFFmpeg::~TCustomFFmpeg() {
    StopAndJoin();
    Cleanup();
}

void TCustomFFmpeg::ResetFileState() {
    CloseOutputs();
    CloseInputs();
    InputCodecs.clear();
    OutputCodecs.clear();
    OutputMuxerOptions.clear();
    Opt = TOptionValues{};
    ReleaseFrameHooks(VideoHooks);
    Options = std::make_unique<OptionContexts>();
    InitOptionContexts(*Options, Opt.SwsFlags);
    JoinMode = false;
    TotalDuration = -1;
}

void TCustomFFmpeg::ResetState() {
    ResetFileState();
    Worker.Finished();
    PictureHooks.ClearFlags();
    Running = false;
    StopRequested = false;
    Completed = false;
    Terminated = false;
    Failed = false;
}

namespace {

bool FileIsEmpty(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

} // namespace

void TCustomFFmpeg::CloseOutputs() {
    for (OutputContextPtr& oc : OutputContainers) {
        std::string path;
        for (int slot = 0; slot < OutputFileCount && path.empty(); ++slot)
            if (OutputFiles[slot] == oc.get()) path = OutputPaths[slot];
        oc.reset();
        // An output that was opened but never written leaves no empty file
        // behind. Only a file this task created: under a name that was only
        // reserved, an empty file is another conversion's, just begun.
        const bool created = std::find(CreatedOutputs.begin(), CreatedOutputs.end(), path) != CreatedOutputs.end();
        if (created && FileIsEmpty(path)) unlink(path.c_str());
    }
    OutputContainers.clear();
    std::fill(OutputFiles.begin(), OutputFiles.end(), nullptr);
    for (auto& path : OutputPaths) path.clear();
    for (auto& streams : OutputStreamsForFile) streams.clear();
    OutputFileCount = 0;
}

void TCustomFFmpeg::CloseInputs() {
    for (int i = 0; i < InputFileCount; ++i) {
        InputFiles[i].reset();
        InputTsScales[i].clear();
    }
    InputFileCount = 0;
}

void TCustomFFmpeg::Cleanup() {
    if (!FFLoader() || !FFLoader()->AllLoaded(EngineLibraries)) return;
    CloseOutputs();
    CloseInputs();
    InputCodecs.clear();
    OutputCodecs.clear();
    Opt.ReleaseHeld();
    if (Options) FreeOptionContexts(*Options);
    Options.reset();
    ReleaseFrameHooks(VideoHooks);
}

bool TCustomFFmpeg::TimeoutCheck(void* owner) {
    auto* task = static_cast<TCustomFFmpeg*>(owner);
    if (!task || task->IoTimeoutMs <= 0) return false;
    const int64_t start = task->IoStartTime.load();
    if (ff::av_gettime() - start <= static_cast<int64_t>(task->IoTimeoutMs) * 1000) return false;
    GlobalLogger()->Log(nullptr, llInfo,
                        start == 0 ? "connecting/reading/writing canceled" : "connecting/reading/writing timeout");
    return true;
}

bool TCustomFFmpeg::StopCheck(void* owner) {
    auto* task = static_cast<TCustomFFmpeg*>(owner);
    return task && task->StopRequested.load();
}

void TCustomFFmpeg::SetPreviewFlags(uint8_t flags) { PictureHooks.SetFlags(flags); }

void TCustomFFmpeg::SetPreviewFlag(uint8_t bit, bool on) { PictureHooks.SetFlag(bit, on); }

uint8_t TCustomFFmpeg::CurrentPreviewFlags() const { return PictureHooks.Flags(); }

bool TCustomFFmpeg::PreviewFlagsHaveChanged() const { return PictureHooks.FlagsChanged(); }

void TCustomFFmpeg::SetHookBitsPerPixel(int Bits) { PictureHooks.SetBitsPerPixel(Bits); }
