#pragma once
// The option values of a task: what the option table writes and the next
// input, output or stream takes. The initialisers below are the values a reset
// task starts from; they are stated nowhere else. Values marked "once" are
// consumed (reset to these values) by the input, output or stream that takes
// them.
#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FFPtr.h"
#include "StreamRecords.h"

extern "C" {
#include <libswscale/swscale.h>
}

struct TOptionValues {
    // ---- maps between inputs and outputs ----
    std::vector<TStreamMap> StreamMaps;
    std::vector<TMetadataMap> MetadataMaps;
    int MetadataGlobalAutocopy = 1;        // cleared by "map_meta_data"
    int MetadataStreamsAutocopy = 1;
    int MetadataChaptersAutocopy = 1;
    std::vector<TChapterMap> ChapterMaps;
    std::vector<int> StreamIdMap;          // for the next output's streams; cleared once it is open

    // ---- containers ----
    std::string ForcedFormat;              // once
    float MuxPreload = 0.5f;               // seconds
    float MuxMaxDelay = 0.7f;              // seconds
    int64_t RecordingTime = INT64_MAX;     // microseconds
    int64_t StartTime = 0;                 // microseconds
    int64_t RecordingTimestamp = 0;        // seconds
    int64_t InputTsOffset = 0;             // microseconds
    DictionaryPtr Metadata;                // once
    int ProgramId = 0;                     // once
    bool LoopInput = false;
    int LoopOutput = -1;
    uint64_t LimitFileSize = 0;            // bytes; 0: no limit
    bool RateEmulation = false;
    bool InputSync = false;
    bool CopyTs = false;
    bool CopyTb = false;
    bool Shortest = false;
    float DtsDeltaThreshold = 10.0f;
    std::array<int, 4> MaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};  // by TMediaKind

    // ---- video ----
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0.0f;
    int FramePixFmt = -1;                  // once, after a video stream
    AVRational FrameRate{25, 0};           // denominator 0: not set
    float VideoQscale = 0.0f;
    std::unique_ptr<std::array<uint16_t, 64>> IntraMatrix;
    std::unique_ptr<std::array<uint16_t, 64>> InterMatrix;
    std::string VideoRcOverride;
    bool VideoDisable = false;             // once
    int VideoDiscard = 0;
    std::string VideoCodecName;            // once
    int VideoCodecTag = 0;
    std::string VideoLanguage;             // once
    bool SameQuality = false;
    bool Deinterlace = false;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    bool QpHistogram = false;
    std::string VideoFilters;
    bool VideoFiltersInUse = false;        // set when an output is opened
    bool IntraOnly = false;
    int VideoStreamCopy = 0;               // once
    int VideoSyncMethod = -1;
    int VideoGlobalHeader = 0;
    int VideoChannel = 0;                  // once
    std::string VideoStandard;
    bool ForceFps = false;
    std::string ForcedKeyFrames;           // once
    int SwsFlags = SWS_BICUBIC;
    TBitstreamFilterChain VideoBitstreamFilters;  // once

    // ---- audio ----
    int AudioSampleFmt = -1;
    int AudioSampleRate = 44100;
    int64_t ChannelLayout = 0;
    float AudioQscale = -99999.0f;         // none
    bool AudioDisable = false;             // once
    int AudioChannels = 2;
    std::string AudioCodecName;            // once
    int AudioCodecTag = 0;
    std::string AudioLanguage;             // once
    int AudioStreamCopy = 0;               // once
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;
    int AudioVolume = 256;
    bool MeasureLoudness = false;          // the first output's encoded audio is measured
    bool ReplayGainTags = false;           // … and its tags carry the track's ReplayGain
    double AudioGain = 0;                  // dB given to the samples before they are encoded
    TBitstreamFilterChain AudioBitstreamFilters;  // once

    // ---- subtitles ----
    bool SubtitleDisable = false;          // once
    std::string SubtitleCodecName;         // once
    std::string SubtitleLanguage;          // once
    int SubtitleCodecTag = 0;
    int SubtitleStreamCopy = 0;            // once
    TBitstreamFilterChain SubtitleBitstreamFilters;  // once

    // ---- statistics, passes and the run ----
    bool HexDump = false;
    bool PacketDump = false;
    bool Psnr = false;
    int Pass = 0;
    std::string PassLogPrefix;
    std::string VstatsFileName;
    int CopyInitialNonKeyframes = 0;
    bool ExitOnError = false;
    bool VideoHookActive = false;
    int Verbose = 1;
    int ThreadCount = 1;

    // Frees what the values hold beyond plain numbers: maps, matrices, texts
    // for the libraries, metadata and bit-stream filters.
    void ReleaseHeld();
};

// The state of a task built before the libraries were loaded: every option
// value zero or empty. Such a task has nothing to convert with, so it takes
// none of the values above.
TOptionValues ZeroOptionValues();
