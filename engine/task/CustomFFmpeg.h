#pragma once
// The transcoder task: one conversion with its opened inputs and outputs, the
// option values waiting for the next input, output or stream, the tables of
// its run and the control state its threads share.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FFPtr.h"
#include "FrameHook.h"
#include "Loudness.h"
#include "OptionValues.h"
#include "OutputCheck.h"
#include "OutputContainer.h"
#include "PictureHooks.h"
#include "SourceCheck.h"
#include "StreamRecords.h"
#include "TaskRecords.h"
#include "TagFiles.h"
#include "TaskTypes.h"
#include "TaskWorker.h"

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
    // Sets or clears one bit of the preview flags.
    void SetPreviewFlag(uint8_t bit, bool on);
    uint8_t CurrentPreviewFlags() const;
    bool PreviewFlagsHaveChanged() const;

    // ---- options (options/) ----
    // Sets one named option (unknown names: the generic library options); raises with the user's text.
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
    // The depth of the bitmaps the video hooks and the preview hand over: 8,
    // 15, 16, 24 or 32; another value raises "Invalid BitsPixel %d".
    void SetHookBitsPerPixel(int Bits);
    // The target presets with an explicit fallback norm (the output records
    // choose it; the "target" option always falls back to "ntsc").
    void ApplyTargetPreset(const std::string& Type, const std::string& Norm, const std::string& FallbackNorm);

    TOptionValues Opt;                                 // what the option table has set
    std::unique_ptr<OptionContexts> Options;           // generic library options of the task
    TFrameHookList VideoHooks;                         // "vhook" modules of this task

    // ---- input and output files, stream creation, option records (io/,
    //      options/TaskRecordApply.cpp); the configuring thread, before the run ----
    // Opens and analyses an input and appends it to InputFiles. False with
    // SetupError; raises FFmpegException for an unknown forced format, a
    // failed allocation or a stream of no known kind.
    bool OpenInputFile(const std::wstring& FileName);
    // Opens an output with its streams. The new OutputFileCount, or -1 with SetupError.
    int OpenOutputFile(const std::wstring& FileName, bool Join);
    // Which media kinds the first (FirstOnly) or every input has.
    void CheckInputStreamTypes(bool FirstOnly, bool& HasVideo, bool& HasAudio, bool& HasSubtitle);
    // Add one stream to output container `Output` in slot `Slot`; raise on failure.
    void NewVideoStream(AVFormatContext* Output, int Slot);
    void NewAudioStream(AVFormatContext* Output, int Slot);
    void NewSubtitleStream(AVFormatContext* Output, int Slot);
    // A new record for the last stream of output `fileIndex`, appended to its list; raises on failure.
    TOutputStream* NewOutputStreamRecord(AVFormatContext* output, int fileIndex);
    // Validates a codec name for a kind; false with SetupError. No name: true with AV_CODEC_ID_NONE.
    bool FindCodec(const std::string& Name, TMediaKind Kind, bool ForEncoding, int StrictLevel, AVCodecID& CodecId);
    // The "strict" option of the kind's generic options.
    int StrictLevelOf(TMediaKind Kind) const;
    // After a joining output was opened: one output slot per input, all on
    // the same container, and TotalDuration the sum of the inputs.
    void SetUpJoin();
    // Keeps a copy of the record of input/output slot `Slot`.
    void StoreInputOptions(int Slot, const TInputOptions& Record);
    void StoreOutputOptions(int Slot, const TOutputOptions& Record);

    std::vector<TInputOptions> InputOptionCopies;      // kept record copies, by input slot
    std::vector<TOutputOptions> OutputOptionCopies;    // kept record copies, by output slot
    // Muxer options of each output slot ("preload", "loop"), for avformat_write_header.
    std::vector<DictionaryPtr> OutputMuxerOptions;
    THookSwitches HookSwitches;                        // from the last output record

    // ---- file tables ----
    int FileCapacity = 0;
    std::vector<InputContextPtr> InputFiles;           // by input slot; each owned here
    int InputFileCount = 0;
    std::vector<int64_t> InputTsOffsets;
    std::vector<std::vector<double>> InputTsScales;
    std::vector<const AVCodec*> InputCodecs;
    // By output slot, not owning: in join mode several slots show one
    // container. OutputContainers owns each container once.
    std::vector<AVFormatContext*> OutputFiles;
    std::vector<std::string> OutputPaths;              // the file each slot writes, as the file system names it
    int OutputFileCount = 0;
    std::vector<const AVCodec*> OutputCodecs;
    std::vector<std::vector<std::unique_ptr<TOutputStream>>> OutputStreamsForFile;

    // ---- relays, connected by the encoder component before the run ----
    // Called while an input is opened, before its streams are analysed.
    std::function<void(TCustomFFmpeg* Sender, AVFormatContext* Context)> BeforeFindStreamInfoRelay;
    TProgressRelay ProgressRelay;
    TAudioHookRelay AudioHookRelay;
    // The worker clears a video hook relay whose handler asked to stop or
    // whose pictures could not be converted.
    TVideoHookRelay VideoInputHookRelay;
    TVideoHookRelay VideoOutputHookRelay;
    TPreviewBitmapRelay PreviewBitmapRelay;
    std::function<void(TCustomFFmpeg* Sender)> TerminateRelay;

    // ---- control state ----
    // "Configuring thread": the one that adds the task and its outputs and
    // starts it. "Worker": the thread that runs the task (the configuring
    // thread itself for an inline run).
    bool JoinMode = false;                             // configuring thread; read by the worker
    std::atomic<bool> Running{false};                  // Start, MarkTerminated
    std::atomic<bool> StopRequested{false};            // any thread (RequestStop); read by the worker
    std::atomic<bool> Completed{false};                // worker; read once the task has terminated
    std::atomic<bool> Terminated{false};               // MarkTerminated
    int IoTimeoutMs = 10000;                           // configuring thread
    std::atomic<int64_t> IoStartTime{INT64_MAX};       // the thread in a guarded call; 0 from RequestStop
    // The worker writes these two during the run; they are read once the
    // task has terminated (the termination record carries them).
    bool Failed = false;
    std::string ErrorMessage;
    // Which audio streams of a source with several the run converts, and how
    // many it leaves out; empty when there is no choice to tell of.
    std::string StreamNotice;
    // A source the run could not read as far as it promised (task/SourceCheck.cpp);
    // empty when every source was read to its end.
    std::string SourceWarning;
    // What measuring the first output's audio gave (loudness/TaskLoudness.cpp).
    TLoudness Loudness;
    int64_t TotalDuration = -1;                        // configuring thread; read by the worker
    std::string SetupError;                            // configuring thread
    bool StrictOptions = true;                         // configuring thread
    int64_t ProgressIntervalUs = 500000;               // configuring thread; read by the worker
    int64_t PreviewIntervalUs = 100000;                // configuring thread; read by the worker

    // ---- files opened when the run starts (task/TaskFiles.cpp) ----
    // Set by the encoder component: no output file is created before the run.
    bool OpenFilesAtStart = false;                     // configuring thread
    std::vector<TOpenStep> OpenSteps;                  // each input and output given, in order; configuring thread
    void RecordOpenStep(bool output, const std::wstring& fileName, bool withRecord);
    // Closes every input and output and forgets what opening them built; the
    // steps stay, and the run starts by taking them again.
    void ReleaseFiles();
    // Takes the steps again (the run does it first, creating the output files);
    // raises FFmpegException with the set-up error when one fails.
    void ReopenFiles(bool createOutputs = true);
    bool FilesReleased() const { return filesReleased_; }
    bool HasReleasedFile(bool output) const;

    // ---- running the task (task/TaskRun.cpp); driven by the encoder component ----
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
    // Stops a running task and waits until its worker has ended.
    void StopAndJoin();

    // Converts the opened inputs into the opened outputs. Raises FFmpegException
    // (after releasing the run) when the set-up or the run fails; a stop
    // request still finalises the output and leaves Completed false.
    void Transcode();

private:
    // The video hooks, the preview and its flags (bit 0 the window, bit 1 the bitmap event).
    TPictureHooks PictureHooks{this, VideoInputHookRelay, VideoOutputHookRelay, PreviewBitmapRelay, PreviewIntervalUs};

    std::vector<OutputContextPtr> OutputContainers;    // every output container, each once
    TTaskWorker Worker;                                // started by Start, joined by StopAndJoin
    bool filesReleased_ = false;                       // configuring thread, then the worker
    bool reopening_ = false;                           // while the open steps are taken again
    bool creatingOutputs_ = false;                     // … and the output files are created
    bool stoppedBeforeAudio_ = false;                  // the worker: a stop came before any audio was written
    std::vector<std::string> CreatedOutputs;           // files this task created; the worker
    void ResetFileState();                             // what opening files built goes
    // Creates the file of output `slot` under a free name; the error text or "".
    std::string CreateOutputIO(AVFormatContext* oc, int slot);
    void RemoveFailedOutputs();
    // The encoded audio of the last run's outputs (the worker), checked by
    // VerifyOutputs once the files are closed: one that came out short fails
    // the task, which then removes it like any failed output.
    std::vector<TOutputCheck> OutputChecks_;
    void NoteOutputChecks();
    void VerifyOutputs();
    // What each source promised and how far the run read it, held against
    // each other once the loop has ended.
    TSourceCheck SourceCheck_;
    void CheckSourcesRead();

    struct TRun;                                       // the tables and counters of one run (transcode/RunTables.h)
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
    void OpenDecoders();
    void OpenDecoder(size_t index);
    void InitTimestamps();
    void ApplyMetadataMaps();
    void NoteAudioStreams();
    // The muxing side of each output container (io/OutputMux.h).
    void CreateMuxes();
    // The cover of each output that can carry one (cover/), before the headers.
    void AddCovers();
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
    // Hands a decode to the stages of `ist`'s encoded outputs, the packet to its copied ones.
    void RouteDecoded(TInputStream& ist, int index, const AVPacket* pkt, const TDecodedData& decoded);
    void DrainEncoders(int index);
    void CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt);
    bool AudioWrittenToEveryOutput() const;
    AVCodecContext* EncoderOf(const TOutputStream& ost) const;
    TOutputStream& LeadOf(TOutputStream& ost) const;
    void ReportProgress(bool final, int fileIndex);

    void CloseOutputs();
    void CloseInputs();

    // ---- the tags of the outputs (tags/OutputTags.cpp); the worker ----
    std::vector<TTagJob> TagJobs_;                     // what each output's muxing side left for TagLib
    void WriteOutputTags();  // once closed, before the check; a file TagLib cannot tag is kept, with a warning
    void NoteLoudness();     // after the trailers: the task's loudness, the ReplayGain of the tags when asked

    // ---- option table (options/OptionTable.cpp) ----
    struct TOptionEntry;
    static const TOptionEntry* FindOption(const std::string& name);
    void RaiseUnlessAccepted(bool accepted, const std::string& name);

    // Handler families (options/*OptionHandlers.cpp), all of one signature.
    using THandlerSignature = void(const std::string& name, const std::string& value);
    THandlerSignature OptNoEffect, OptTimeLimit, OptLogLevel, OptMaxFrames, OptFileSize, OptFormat, OptMap,
        OptMapMetadata, OptMapChapters, OptTime, OptInputTsScale, OptMetadata, OptTarget, OptThreads,
        OptBitrate, OptFrameRate, OptFrameSize, OptAspect, OptPixelFormat, OptSampleFormat, OptCrop, OptPad,
        OptQscale, OptRcOverride, OptCodec, OptPass, OptVstats, OptVstatsFile, OptVideoHook, OptVideoFilters,
        OptMatrix, OptTag, OptNewStream, OptStreamId, OptAudioRate, OptAudioChannels, OptVideoStandard,
        OptBitstreamFilter, OptPreset;

    // Presets (options/Presets.cpp).
    void ApplyPresetText(const std::string& displayName, const std::string& text);
    // Target presets (options/TargetPresets.cpp).
    enum TNorm { nmPAL, nmNTSC, nmFILM };
    TNorm DetectNorm(const std::string& norm, const std::string& fallbackNorm);
    void ApplyTarget(const std::string& type, const std::string& norm, const std::string& fallbackNorm);

    void NewStreamOfKind(TMediaKind kind, int fileIndex);  // one more stream in an output (io/NewStream.cpp)
};
