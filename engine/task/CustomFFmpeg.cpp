#include "CustomFFmpeg.h"

#include <cassert>
#include <sys/stat.h>
#include <unistd.h>

#include "FFLoad.h"
#include "FFLog.h"
#include "MyUtilStubs.h"

std::mutex& TCustomFFmpeg::PreviewLock() {
    static std::mutex lock;
    return lock;
}

std::mutex& TCustomFFmpeg::CodecCloseLock() {
    static std::mutex lock;
    return lock;
}

TCustomFFmpeg::TCustomFFmpeg(int fileCapacity) {
    assert(fileCapacity >= 1 && fileCapacity <= 512);
    FileCapacity = fileCapacity;
    InputFiles.assign(FileCapacity, nullptr);
    InputTsOffsets.assign(FileCapacity, 0);
    InputTsScales.assign(FileCapacity, {});
    OutputFiles.assign(FileCapacity, nullptr);
    OutputPaths.assign(FileCapacity, {});
    OutputStreamsForFile.resize(FileCapacity);
    StrictOptions = true;
    ProgressIntervalUs = 500000;
    PreviewIntervalUs = 100000;
    IoTimeoutMs = 10000;
    // Without the libraries the option values keep their zero state: there is
    // nothing a task could do with them.
    if (FFLoader() && FFLoader()->AllLoaded(EngineLibraries)) ResetState();
}

TCustomFFmpeg::~TCustomFFmpeg() {
    StopAndJoin();
    Cleanup();
}

void TCustomFFmpeg::ResetState() {
    std::fill(InputFiles.begin(), InputFiles.end(), nullptr);
    std::fill(InputTsOffsets.begin(), InputTsOffsets.end(), 0);
    for (auto& scales : InputTsScales) scales.clear();
    std::fill(OutputFiles.begin(), OutputFiles.end(), nullptr);
    for (auto& path : OutputPaths) path.clear();
    for (auto& streams : OutputStreamsForFile) streams.clear();
    InputFileCount = 0;
    OutputFileCount = 0;
    InputCodecs.clear();
    OutputCodecs.clear();
    StreamMaps.clear();
    MetadataMaps.clear();
    ChapterMaps.clear();
    StreamIdMap.clear();
    MetadataGlobalAutocopy = MetadataStreamsAutocopy = MetadataChaptersAutocopy = 1;

    ForcedFormat.clear();
    FrameWidth = FrameHeight = 0;
    FrameAspectRatio = 0.0f;
    FramePixFmt = -1;
    AudioSampleFmt = -1;
    MaxFrames.fill(INT_MAX);
    FrameRate = AVRational{25, 0};
    VideoQscale = 0.0f;
    IntraMatrix.reset();
    InterMatrix.reset();
    VideoRcOverride.clear();
    VideoDisable = false;
    VideoDiscard = 0;
    VideoCodecName.clear();
    VideoCodecTag = 0;
    VideoLanguage.clear();
    SameQuality = Deinterlace = false;
    TopFieldFirst = -1;
    MeThreshold = 0;
    IntraDcPrecision = 8;
    LoopInput = false;
    LoopOutput = -1;
    QpHistogram = false;
    VideoFilters.clear();
    VideoFiltersInUse = false;
    IntraOnly = false;
    AudioSampleRate = 44100;
    ChannelLayout = 0;
    AudioQscale = -99999.0f;
    AudioDisable = false;
    AudioChannels = 2;
    AudioCodecName.clear();
    AudioCodecTag = 0;
    AudioLanguage.clear();
    SubtitleDisable = false;
    SubtitleCodecName.clear();
    SubtitleLanguage.clear();
    SubtitleCodecTag = 0;
    MuxPreload = 0.5f;
    MuxMaxDelay = 0.7f;
    RecordingTime = INT64_MAX;
    StartTime = 0;
    RecordingTimestamp = 0;
    InputTsOffset = 0;
    Metadata.reset();
    HexDump = PacketDump = Psnr = false;
    Pass = 0;
    PassLogPrefix.clear();
    AudioStreamCopy = VideoStreamCopy = SubtitleStreamCopy = 0;
    VideoSyncMethod = -1;
    AudioSyncMethod = 0;
    AudioDriftThreshold = 0.1f;
    CopyTs = CopyTb = Shortest = false;
    VideoGlobalHeader = 0;
    VstatsFileName.clear();
    ProgramId = 0;
    CopyInitialNonKeyframes = 0;
    RateEmulation = false;
    VideoChannel = 0;
    VideoStandard.clear();
    AudioVolume = 256;
    ExitOnError = false;
    VideoHookActive = false;
    Verbose = 1;
    ThreadCount = 1;
    InputSync = false;
    LimitFileSize = 0;
    ForceFps = false;
    ForcedKeyFrames.clear();
    DtsDeltaThreshold = 10.0f;
    SwsFlags = SWS_BICUBIC;
    VideoBitstreamFilters.clear();
    AudioBitstreamFilters.clear();
    SubtitleBitstreamFilters.clear();
    ReleaseFrameHooks(VideoHooks);

    VideoSize = AudioSize = ExtraSize = 0;
    FramesDuplicated = FramesDropped = 0;
    DupDropPending = false;
    TimerStart = 0;
    BitBufferSize = 262144;
    Options = std::make_unique<OptionContexts>();
    InitOptionContexts(*Options, SwsFlags);
    OpenedEncoders.clear();
    OpenedDecoders.clear();

    Thread = nullptr;
    PreviewFlags = 0;
    PreviewFlagsChanged = false;
    JoinMode = false;
    Running = false;
    StopRequested = false;
    Completed = false;
    Terminated = false;
    Failed = false;
    TotalDuration = -1;
}

namespace {

bool FileIsEmpty(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

} // namespace

void TCustomFFmpeg::CloseOutputs() {
    // In join mode every slot holds the same container: close it once.
    int slots = JoinMode ? std::min(OutputFileCount, 1) : OutputFileCount;
    for (int i = 0; i < slots; ++i) {
        AVFormatContext* oc = OutputFiles[i];
        if (!oc) continue;
        const bool writesFile = oc->oformat && !(oc->oformat->flags & AVFMT_NOFILE);
        const std::string& path = OutputPaths[i];
        OutputContextDeleter()(oc);
        // An output that was opened but never written leaves no empty file behind.
        if (writesFile && !path.empty() && FileIsEmpty(path)) unlink(path.c_str());
    }
    std::fill(OutputFiles.begin(), OutputFiles.end(), nullptr);
    for (auto& path : OutputPaths) path.clear();
    for (auto& streams : OutputStreamsForFile) streams.clear();
    OutputFileCount = 0;
}

void TCustomFFmpeg::CloseInputs() {
    for (int i = 0; i < InputFileCount; ++i) {
        if (InputFiles[i]) CloseInputURL(&InputFiles[i]);
        InputTsScales[i].clear();
    }
    InputFileCount = 0;
}

void TCustomFFmpeg::Cleanup() {
    if (!FFLoader() || !FFLoader()->AllLoaded(EngineLibraries)) return;
    CloseOutputs();
    CloseInputs();
    IntraMatrix.reset();
    InterMatrix.reset();
    if (VstatsFile) {
        ff::fclose(VstatsFile);
        VstatsFile = nullptr;
    }
    VstatsFileName.clear();
    StreamIdMap.clear();
    InputCodecs.clear();
    OutputCodecs.clear();
    StreamMaps.clear();
    MetadataMaps.clear();
    ChapterMaps.clear();
    VideoCodecName.clear();
    AudioCodecName.clear();
    SubtitleCodecName.clear();
    VideoStandard.clear();
    if (Options) FreeOptionContexts(*Options);
    Options.reset();
    VideoRcOverride.clear();
    Metadata.reset();
    VideoBitstreamFilters.clear();
    AudioBitstreamFilters.clear();
    SubtitleBitstreamFilters.clear();
    ReleaseFrameHooks(VideoHooks);
    OpenedEncoders.clear();
    OpenedDecoders.clear();
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

void TCustomFFmpeg::SetPreviewFlags(uint8_t flags) {
    std::lock_guard<std::mutex> lock(PreviewLock());
    if (flags == PreviewFlags) return;
    PreviewFlags = flags;
    PreviewFlagsChanged = true;
}
