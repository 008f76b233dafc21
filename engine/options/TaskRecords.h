#pragma once
// The option records the application hands to the encoder for one task: one
// TInputOptions per input file, one TOutputOptions (with its TStreamInfo) per
// output file, and the option-text format of their ExtOptions fields.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SourceCut.h"

extern "C" {
#include <libavutil/avutil.h>
}

// The creation time and metadata texts of an output.
struct TStreamInfo {
    // Days since 1899-12-30, local time. Negative: not set; exactly 0: the
    // time of SetOutputFile.
    double Timestamp = -1.0;
    int Year = -1;
    int Track = -1;
    std::string Title;
    std::string Author;
    std::string CopyrightNotice;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TInputOptions {
    std::wstring FileName;
    std::string FileFormat;
    int64_t StartTime = AV_NOPTS_VALUE;
    int ProgramId = -1;
    std::string ExtOptions;
    // Only this stretch of the input is converted, cut at its sample
    // precision, and the outputs start at its beginning. The whole input by
    // default.
    TSourceCut Cut;
    // The probe that made this record searched the input's PCM for another
    // codec stored in it and found none (PcmSearchedPlain): its openings
    // look only at the first packet.
    bool PlainPcm = false;
};

struct TOutputOptions {
    std::wstring FileName;
    std::string FileFormat;
    int PacketSize = -1;
    int MuxRate = -1;
    float MuxDelay = -1.0f;
    float MuxPreload = -1.0f;
    std::string AudioCodec;
    std::string AudioPreset;
    bool DisableAudio = false;
    int AudioVolume = -1;
    int AudioChannels = -1;
    int AudioSampleRate = -1;
    int AudioBitrate = -1;
    int AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    int AudioSync = 0;
    std::string AudioTag;
    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int GopSize = -1;
    int VideoBitrate = -1;
    int VideoMaxRate = -1;
    int VideoMinRate = -1;
    int VideoBitrateTolerance = -1;
    int VideoBufSize = -1;
    int VideoSync = -1;
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamps = false;
    int64_t StartTime = AV_NOPTS_VALUE;
    int64_t RecordingTime = AV_NOPTS_VALUE;
    TStreamInfo Info;
    int TargetType = 0;          // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int TargetNorm = 0;          // 1 "pal", 2 "ntsc", else "auto"
    int TargetFallbackNorm = 1;  // 1 "pal", else "ntsc"
    bool AudioHook = false;
    bool VideoInputHook = false;
    bool VideoOutputHook = false;
    int HookBitsPerPixel = 24;
    bool Join = false;
    std::string ExtOptions;
    // When FileName turns out to be taken as the file is created (another
    // program made it meanwhile), the first free CounterName of this name is
    // used instead. Empty: a taken name fails the output.
    std::wstring UniqueBaseName;
    // The file is removed again unless the conversion completes: a stopped
    // run keeps no part of it either (a file written under a temporary name,
    // which only a finished conversion may replace the real one with).
    bool DiscardUnlessCompleted = false;
    // FileName exists already: the caller created it, empty, for this output
    // and holds it as its claim on the name, which other programs can see.
    // It is written in place instead of being created.
    bool WriteIntoClaimedFile = false;
    // The loudness of the encoded audio is measured (integrated loudness and
    // true peak) and reported when the task ends; with ReplayGainTags its
    // tags carry the track's ReplayGain. AudioGain, in dB, is given to the
    // samples before they are measured and encoded (normalising).
    bool MeasureLoudness = false;
    bool ReplayGainTags = false;
    double AudioGain = 0;
    // Tags given to the output in place of the source's tags of the same
    // common name (UserTags.h: "title", "artist", "track", "track_total",
    // "disc", "date", …); an empty value leaves the tag out. When the input is
    // cut (TInputOptions::Cut), the source's tags that belong to the whole
    // file and not to a stretch of it (its title, track number and total,
    // lyrics, cue sheet, ReplayGain and R128 gains, chapters) are left out;
    // its other tags and its cover stay.
    std::vector<std::pair<std::string, std::string>> Tags;
};

void ResetStreamInfo(TStreamInfo& info);
void ResetInputOptions(TInputOptions& options);
void ResetOutputOptions(TOutputOptions& options);

// The hook switches an output record gives its task; the encoder connects the
// task's relays from them, and the picture converters of the hooks and the
// preview take the pixel depth.
struct THookSwitches {
    bool AudioHook = false;
    bool VideoInputHook = false;
    bool VideoOutputHook = false;
    int HookBitsPerPixel = 24;
};

// One line of an option text.
struct TOptionLine {
    std::string Key;    // lower-cased, not trimmed
    std::string Value;  // untouched
};

// Splits an option text into its lines: the text is trimmed of blanks and
// control characters, CR LF and lone CR become LF, every "<CRLF>" becomes LF.
// The key is the lower-cased text before the first "="; a line without "="
// is a key with an empty value. An empty text has no lines.
std::vector<TOptionLine> ParseOptionText(const std::string& text);

// Seconds since 1970 of a local date/time in days since 1899-12-30, with the
// zone's standard offset (daylight saving is not applied).
int64_t ToUnixTime(double localDays);
