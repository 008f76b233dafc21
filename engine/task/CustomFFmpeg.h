#pragma once
// The transcoder task: one conversion with its opened inputs and outputs, every
// option value waiting for the next input, output or stream, the run-time
// counters of the transcode and the control fields of its thread and events.
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "Exception.h"
#include "FFPtr.h"
#include "StreamRecords.h"
#include "FrameHook.h"
#include "TaskRecords.h"
#include "ManualResetEvent.h"

class FFmpegException : public Exception {
public:
    using Exception::Exception;
};

// Media kinds of the per-kind option values.
enum TMediaKind { mkVideo = 0, mkAudio = 1, mkData = 2, mkSubtitle = 3 };

// The number of streams per input that a per-stream option can address.
constexpr int MAX_STREAMS = 20;

// A progress report's time, in seconds, while no output stream has one yet.
constexpr double NoOutputTimeSeconds = 1e10;

// An entry of the built-in preset table.
struct TOptionsPreset {
    const char* Name;
    std::string Text;  // option lines in preset syntax
};
// The 36 built-in presets, in search order.
const std::vector<TOptionsPreset>& BuiltinPresets();

// ---- stream-creation helpers that need no open output ----

// Grows `list` to `wanted` entries (new ones value-initialised); never shrinks.
// Raises Exception "Array too big." when the wanted size cannot be addressed
// and "Could not alloc buffer." when memory runs out.
template <typename T>
void GrowList(std::vector<T>& list, int64_t wanted) {
    if (wanted >= static_cast<int64_t>(INT_MAX / sizeof(T))) throw Exception("Array too big.");
    if (static_cast<int64_t>(list.size()) >= wanted) return;
    try {
        list.resize(static_cast<size_t>(wanted));
    } catch (const std::bad_alloc&) {
        throw Exception("Could not alloc buffer.");
    }
}

// Keeps the encoder context's sample format when the encoder takes it, also
// when the encoder lists only its planar (or packed) twin, which is then used;
// otherwise the encoder's first format.
void ChooseSampleFormat(AVCodecContext* encoder, const AVCodec* codec);
// The supported rate nearest to the requested one (the earlier on a tie).
void ChooseSampleRate(AVCodecContext* encoder, const AVCodec* codec);
void ChoosePixelFormat(AVCodecContext* encoder, const AVCodec* codec);
// Microseconds; raises "Invalid %s specification for %s: %s".
int64_t ParseTimeOrRaise(const std::string& optionName, const std::string& text, bool isDuration);
// Comma-separated times, stored in the encoder's time base.
void ParseForcedKeyFrames(const std::string& text, TOutputStream& stream, const AVCodecContext* encoder);

// Owns an output container: the byte stream is closed and the context freed once.
struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const {
        CloseOutputIO(c);
        ff::avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

class TCustomFFmpeg {
public:
    explicit TCustomFFmpeg(int fileCapacity);
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    void ResetState();
    void Cleanup();
    static bool TimeoutCheck(void* owner);
    static bool StopCheck(void* owner);
    void SetPreviewFlags(uint8_t flags);

    // ---- options ----
    // Sets one named option; unknown names go to the generic library options.
    // Raises FFmpegException with the text the user sees.
    void SetOption(const std::string& Name, const std::string& Value);
    // The generic library options of the task; false leaves LastOptionMessage.
    bool SetContextOption(const std::string& Name, const std::string& Value);
    bool SetIntContextOption(const std::string& Name, int64_t Number);
    void SetFormat(const std::string& Value);
    void SetStartTime(int64_t Microseconds);
    void SetProgramId(int Id);
    void SetRecordingTime(int64_t Microseconds);
    void SetAudioCodec(const std::string& Value);
    void SetVideoCodec(const std::string& Value);
    void SetSubtitleCodec(const std::string& Value);
    void SetPreset(const std::string& Name, const std::string& Value);
    void SetTarget(const std::string& Value);
    void SetFrameRate(const std::string& Value);
    void SetFrameSize(const std::string& Value);
    void SetAspect(const std::string& Value);
    void SetTag(const std::string& Name, const std::string& Value);
    void SetAudioRate(int Rate);
    void SetAudioChannels(int Channels);
    void SetVideoFilters(const std::string& Value);
    void SetMetadataEntry(const std::string& Value);

    // A new zero-filled record for the last stream of output file `fileIndex`,
    // appended to that file's list. Raises "Could not alloc output stream".
    TOutputStream* NewOutputStreamRecord(AVFormatContext* output, int fileIndex);

    // ---- input and output files, stream creation, option records
    //      (FFmpegInput*.cpp, FFmpegOutput.cpp, FFmpegNewStream*.cpp,
    //      TaskRecordApply.cpp); the thread that configures the task ----
    // Opens and analyses an input and appends it to InputFiles. False with
    // SetupError; raises FFmpegException for an unknown forced format, a
    // failed allocation or a stream of no known kind.
    bool OpenInputFile(const std::wstring& FileName);
    // Opens an output with its streams. The new OutputFileCount, or -1 with
    // SetupError.
    int OpenOutputFile(const std::wstring& FileName, bool Join);
    // Which media kinds the first (FirstOnly) or every input has.
    void CheckInputStreamTypes(bool FirstOnly, bool& HasVideo, bool& HasAudio, bool& HasSubtitle);
    // Add one stream to output container `Output` in slot `Slot`; raise on failure.
    void NewVideoStream(AVFormatContext* Output, int Slot);
    void NewAudioStream(AVFormatContext* Output, int Slot);
    void NewSubtitleStream(AVFormatContext* Output, int Slot);
    // Validates a codec name for a kind; false with SetupError. No name: true
    // with AV_CODEC_ID_NONE.
    bool FindCodec(const std::string& Name, TMediaKind Kind, bool ForEncoding, int StrictLevel, AVCodecID& CodecId);
    // The "strict" option of the kind's generic options.
    int StrictLevelOf(TMediaKind Kind) const;
    // After a joining output was opened: one output slot per input, all on
    // the same container, and TotalDuration the sum of the inputs.
    void SetUpJoin();
    // The target presets with an explicit fallback norm (the output records
    // choose it; the "target" option always falls back to "ntsc").
    void ApplyTargetPreset(const std::string& Type, const std::string& Norm, const std::string& FallbackNorm);
    // Keeps a copy of the record of input/output slot `Slot`.
    void StoreInputOptions(int Slot, const TInputOptions& Record);
    void StoreOutputOptions(int Slot, const TOutputOptions& Record);

    std::vector<TInputOptions> InputOptionCopies;      // kept record copies, by input slot
    std::vector<TOutputOptions> OutputOptionCopies;    // kept record copies, by output slot
    // Muxer options of each output slot ("preload", "loop"), for avformat_write_header.
    std::vector<DictionaryPtr> OutputMuxerOptions;
    THookSwitches HookSwitches;                        // from the last output record
    // Called while an input is opened, before its streams are analysed.
    std::function<void(TCustomFFmpeg* Sender, AVFormatContext* Context)> BeforeFindStreamInfoRelay;

    // ---- file and map tables ----
    int FileCapacity = 0;
    std::vector<AVFormatContext*> InputFiles;          // owned; closed by Cleanup
    int InputFileCount = 0;
    std::vector<int64_t> InputTsOffsets;
    std::vector<std::vector<double>> InputTsScales;
    std::vector<const AVCodec*> InputCodecs;
    std::vector<AVFormatContext*> OutputFiles;         // owned; in join mode several slots share one
    std::vector<std::string> OutputPaths;              // the file each output writes, as the file system names it
    int OutputFileCount = 0;
    std::vector<const AVCodec*> OutputCodecs;
    std::vector<std::vector<std::unique_ptr<TOutputStream>>> OutputStreamsForFile;
    std::vector<TStreamMap> StreamMaps;
    std::vector<TMetadataMap> MetadataMaps;
    int MetadataGlobalAutocopy = 1;
    int MetadataStreamsAutocopy = 1;
    int MetadataChaptersAutocopy = 1;
    std::vector<TChapterMap> ChapterMaps;
    std::vector<int> StreamIdMap;

    // ---- option values (see ResetState for their reset values) ----
    std::string ForcedFormat;
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0;
    int FramePixFmt = 0;
    int AudioSampleFmt = 0;
    std::array<int, 4> MaxFrames{};
    AVRational FrameRate{0, 0};
    float VideoQscale = 0;
    std::unique_ptr<std::array<uint16_t, 64>> IntraMatrix;
    std::unique_ptr<std::array<uint16_t, 64>> InterMatrix;
    std::string VideoRcOverride;
    bool VideoDisable = false;
    int VideoDiscard = 0;
    std::string VideoCodecName;
    int VideoCodecTag = 0;
    std::string VideoLanguage;
    bool SameQuality = false;
    bool Deinterlace = false;
    int TopFieldFirst = 0;
    int MeThreshold = 0;
    int IntraDcPrecision = 0;
    bool LoopInput = false;
    int LoopOutput = 0;
    bool QpHistogram = false;
    std::string VideoFilters;
    bool VideoFiltersInUse = false;
    bool IntraOnly = false;
    int AudioSampleRate = 0;
    int64_t ChannelLayout = 0;
    float AudioQscale = 0;
    bool AudioDisable = false;
    int AudioChannels = 0;
    std::string AudioCodecName;
    int AudioCodecTag = 0;
    std::string AudioLanguage;
    bool SubtitleDisable = false;
    std::string SubtitleCodecName;
    std::string SubtitleLanguage;
    int SubtitleCodecTag = 0;
    float MuxPreload = 0;
    float MuxMaxDelay = 0;
    int64_t RecordingTime = 0;
    int64_t StartTime = 0;
    int64_t RecordingTimestamp = 0;
    int64_t InputTsOffset = 0;
    DictionaryPtr Metadata;
    bool HexDump = false;
    bool PacketDump = false;
    bool Psnr = false;
    int Pass = 0;
    std::string PassLogPrefix;
    int AudioStreamCopy = 0;
    int VideoStreamCopy = 0;
    int SubtitleStreamCopy = 0;
    int VideoSyncMethod = 0;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0;
    bool CopyTs = false;
    bool CopyTb = false;
    bool Shortest = false;
    int VideoGlobalHeader = 0;
    std::string VstatsFileName;
    FILE* VstatsFile = nullptr;                        // opened through the bound C runtime
    int ProgramId = 0;
    int CopyInitialNonKeyframes = 0;
    bool RateEmulation = false;
    int VideoChannel = 0;
    std::string VideoStandard;
    int AudioVolume = 0;
    bool ExitOnError = false;
    bool VideoHookActive = false;
    int Verbose = 0;
    int ThreadCount = 0;
    bool InputSync = false;
    uint64_t LimitFileSize = 0;
    bool ForceFps = false;
    std::string ForcedKeyFrames;
    float DtsDeltaThreshold = 0;
    int SwsFlags = 0;
    TBitstreamFilterChain VideoBitstreamFilters;
    TBitstreamFilterChain AudioBitstreamFilters;
    TBitstreamFilterChain SubtitleBitstreamFilters;

    // ---- video-hook state ----
    TFrameHookList VideoHooks;                         // "vhook" modules of this task

    // ---- run-time counters ----
    int64_t VideoSize = 0;
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;
    int FramesDuplicated = 0;
    int FramesDropped = 0;
    bool DupDropPending = false;
    int64_t TimerStart = 0;
    int BitBufferSize = 262144;
    std::unique_ptr<OptionContexts> Options;           // generic library options of the task
    std::vector<TOutputStream*> OpenedEncoders;
    std::vector<TInputStream*> OpenedDecoders;

    // ---- control ----
    std::atomic<std::thread*> Thread{nullptr};         // the worker, while one runs
    ManualResetEvent ConvertDoneEvent{true};
    ManualResetEvent TerminateDoneEvent{true};
    uint8_t PreviewFlags = 0;
    bool PreviewFlagsChanged = false;
    bool JoinMode = false;
    std::atomic<bool> Running{false};
    std::atomic<bool> StopRequested{false};
    bool Completed = false;
    std::atomic<bool> Terminated{false};
    int IoTimeoutMs = 10000;
    std::atomic<int64_t> IoStartTime{INT64_MAX};
    bool Failed = false;
    std::string ErrorMessage;
    int64_t TotalDuration = -1;
    std::string SetupError;
    bool StrictOptions = true;
    int64_t ProgressIntervalUs = 500000;
    int64_t PreviewIntervalUs = 100000;

    // Process-wide locks of the transcoder: preview flags of a task, and the
    // closing of the codecs of a finished run.
    static std::mutex& PreviewLock();
    static std::mutex& CodecCloseLock();

    // ---- transcode run (FFmpegTranscode*.cpp, StreamCopy.cpp, WriteFrame.cpp,
    //      AudioOutput*.cpp, Progress*.cpp); worker thread only during a run ----
    // Report values of one progress report (the relay fills TProgressInfo).
    using TProgressRelay = std::function<void(TCustomFFmpeg* Sender, int FileIndex, int FrameNumber, int FPS,
                                              float Quality, float BitRate, int64_t TotalSize,
                                              int64_t CurrentDuration, int64_t TotalDuration)>;
    // Decoded interleaved samples, changeable in place, before they are encoded.
    using TAudioHookRelay = std::function<void(TCustomFFmpeg* Sender, int64_t Pts, uint8_t* Samples, int Size,
                                               int SampleRate, int Channels, int SampleFormat)>;
    TProgressRelay ProgressRelay;
    TAudioHookRelay AudioHookRelay;

    // Converts the opened inputs into the opened outputs. Raises FFmpegException
    // (after releasing the run) when the set-up or the run fails; a stop
    // request still finalises the output and leaves Completed false.
    void Transcode();

    // Task-owned work buffers: grown when a block needs more, never shrunk.
    std::vector<uint8_t> DecodeBuffer;                 // decoded interleaved samples of every input stream
    std::vector<uint8_t> AudioBuffer;                  // converted samples; one encoder frame
    std::vector<uint8_t> SilenceBuffer;                // decoded samples behind inserted silence
    std::vector<uint8_t> BitBuffer;                    // size BitBufferSize; kept for its size rules

    // ---- running the task (FFmpegRun.cpp); driven by the encoder component ----
    // Starts the run once: inline (the whole run before returning) or on a new
    // worker thread. A task without an input or output fails and terminates.
    void Start(bool inThread);
    // The run itself: transcode, close the run's codecs, clean up, terminate.
    void Run();
    // Stops a running task, or reports termination of one that never ran.
    void Stop(bool wait);
    // Asks a running task to stop; with `wait`, returns when its worker is done
    // (serving main-thread hand-offs meanwhile when called on the main thread).
    void RequestStop(bool wait);
    void MarkTerminated();
    // Waits for the worker and the termination thread to end (a thread never
    // waits for itself).
    void JoinThreads();
    // Stops a running task and waits until no thread of it is left.
    void StopAndJoin();
    std::function<void(TCustomFFmpeg* Sender)> TerminateRelay;
    std::thread Worker;                                // joinable once a worker was started
    std::thread TerminateThread;                       // reports a never-started task's end

    // The QP histogram shared by every task of the process (52 counters).
    static std::array<std::atomic<int64_t>, 52>& QpHistogramCounters();

    // Decode buffer size after a packet of `packetSize` bytes arrived.
    static size_t DecodeBufferSizeFor(size_t current, int64_t packetSize);

private:
    struct TRun;                                       // the run tables (FFmpegTranscodeRun.h)
    struct TRunDeleter {
        void operator()(TRun* run) const;
    };
    std::unique_ptr<TRun, TRunDeleter> Run_;
    void TranscodeSetup();
    void BuildInputTables();
    void BuildOutputTable();
    int ChooseSource(const TOutputStream& ost, int outputFile);
    void PrepareStreams();
    void PrepareStreamCopy(TOutputStream& ost, TInputStream& ist);
    void PrepareEncoding(TOutputStream& ost, TInputStream& ist, int tableIndex);
    void OpenEncoders();
    void OpenEncoder(TOutputStream& ost, int tableIndex, bool reopening);
    void InitBitstreamFilters(TOutputStream& ost);
    void OpenDecoders();
    void InitTimestamps();
    void ApplyMetadataMaps();
    void CopyChapters(int inFile, int outFile);
    void WriteHeaders();
    void DescribeRun();
    void RaiseAfterDescription(const std::string& text);
    void ReleaseRun();
    void CloseRunCodecs();
    void TranscodeLoop();
    int ChooseInputFile();
    bool EndJoinedFile(int file);
    void ReopenEncoders();
    void FinishRun();
    bool AdjustPacket(AVPacket* pkt, TInputStream& ist, int file);
    int DecodePacket(TInputStream& ist, int index, const AVPacket* pkt);
    int DecodeAudio(TInputStream& ist, int index, const AVPacket* pkt);
    int DecodeVideo(TInputStream& ist, int index, const AVPacket* pkt);
    int ReceiveFrames(TInputStream& ist, const AVPacket* pkt, const std::function<void(AVFrame*)>& onFrame);
    int DecodeSubtitle(TInputStream& ist, int index, const AVPacket* pkt);
    void AdvanceWithoutDecoding(TInputStream& ist, const AVPacket* pkt);
    void DeliverAudioFrame(TInputStream& ist, int index, AVFrame* frame);
    void EmulateRate(const TInputStream& ist) const;
    void RouteDecoded(TInputStream& ist, int index, const AVPacket* pkt, const uint8_t* data, int size);
    void DrainEncoders(int index);
    void DrainAudioEncoder(TOutputStream& ost);
    void CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt);
    void WriteFrame(AVFormatContext* output, AVPacket* pkt, TOutputStream& ost);
    void MuxPacket(AVFormatContext* output, AVPacket* pkt, TOutputStream& ost);
    AVCodecContext* EncoderOf(const TOutputStream& ost) const;
    TOutputStream& LeadOf(TOutputStream& ost) const;
    void DoAudioOut(AVFormatContext* output, TOutputStream& ost, TInputStream& ist, const uint8_t* data, int size);
    void SizeAudioBuffers(TOutputStream& ost, TInputStream& ist, int64_t room);
    void SetUpAudioConversion(TOutputStream& ost, TInputStream& ist);
    int KeepAudioInStep(TOutputStream& ost, TInputStream& ist, const uint8_t*& data, int& size, int64_t& room);
    void EncodeAudioBlock(AVFormatContext* output, TOutputStream& ost, const uint8_t* data, int size);
    void SendAudioFrame(AVFormatContext* output, TOutputStream& ost, const uint8_t* data, int samples);
    void ReceiveAudioPackets(AVFormatContext* output, TOutputStream& ost);
    void ReportProgress(bool final, int fileIndex);

    void CloseOutputs();
    void CloseInputs();

    // ---- option table (FFmpegOptions.cpp) ----
    using THandler = void (TCustomFFmpeg::*)(const std::string& name, const std::string& value);
    struct TOptionEntry;
    static const TOptionEntry* FindOption(const std::string& name);
    void RaiseUnlessAccepted(bool accepted, const std::string& name);

    // Handler families (FFmpegOptionHandlers*.cpp).
    void OptNoEffect(const std::string& name, const std::string& value);
    void OptTimeLimit(const std::string& name, const std::string& value);
    void OptLogLevel(const std::string& name, const std::string& value);
    void OptMaxFrames(const std::string& name, const std::string& value);
    void OptFileSize(const std::string& name, const std::string& value);
    void OptFormat(const std::string& name, const std::string& value);
    void OptMap(const std::string& name, const std::string& value);
    void OptMapMetadata(const std::string& name, const std::string& value);
    void OptMapChapters(const std::string& name, const std::string& value);
    void OptTime(const std::string& name, const std::string& value);
    void OptInputTsScale(const std::string& name, const std::string& value);
    void OptMetadata(const std::string& name, const std::string& value);
    void OptTarget(const std::string& name, const std::string& value);
    void OptThreads(const std::string& name, const std::string& value);
    void OptBitrate(const std::string& name, const std::string& value);
    void OptFrameRate(const std::string& name, const std::string& value);
    void OptFrameSize(const std::string& name, const std::string& value);
    void OptAspect(const std::string& name, const std::string& value);
    void OptPixelFormat(const std::string& name, const std::string& value);
    void OptSampleFormat(const std::string& name, const std::string& value);
    void OptCrop(const std::string& name, const std::string& value);
    void OptPad(const std::string& name, const std::string& value);
    void OptQscale(const std::string& name, const std::string& value);
    void OptRcOverride(const std::string& name, const std::string& value);
    void OptCodec(const std::string& name, const std::string& value);
    void OptPass(const std::string& name, const std::string& value);
    void OptVstats(const std::string& name, const std::string& value);
    void OptVstatsFile(const std::string& name, const std::string& value);
    void OptVideoHook(const std::string& name, const std::string& value);
    void OptVideoFilters(const std::string& name, const std::string& value);
    void OptMatrix(const std::string& name, const std::string& value);
    void OptTag(const std::string& name, const std::string& value);
    void OptNewStream(const std::string& name, const std::string& value);
    void OptStreamId(const std::string& name, const std::string& value);
    void OptAudioRate(const std::string& name, const std::string& value);
    void OptAudioChannels(const std::string& name, const std::string& value);
    void OptVideoStandard(const std::string& name, const std::string& value);
    void OptBitstreamFilter(const std::string& name, const std::string& value);
    void OptPreset(const std::string& name, const std::string& value);

    // Presets (FFmpegPresets.cpp).
    void ApplyPresetText(const std::string& displayName, const std::string& text);
    // Target presets (FFmpegTarget.cpp).
    enum TNorm { nmPAL, nmNTSC, nmFILM };
    TNorm DetectNorm(const std::string& norm, const std::string& fallbackNorm);
    void ApplyTarget(const std::string& type, const std::string& norm, const std::string& fallbackNorm);

    // Creates one more stream of `kind` in output file `fileIndex`
    // (FFmpegNewStream.cpp).
    void NewStreamOfKind(TMediaKind kind, int fileIndex);
};
