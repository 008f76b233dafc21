#pragma once
// Small helpers over library structures shared by the transcoder and the probe:
// the generic option mechanism, error and time texts, media type names,
// metadata look-up, whole-file reading and the time stamp correction heuristic.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

// ---------------------------------------------------------------------------
// Generic options
//
// Options given by name are first set on contexts that hold library defaults
// (one codec context per media type, a container context and a scaler
// context) and copied later into the real contexts a task creates. Options
// that only some codec or muxer knows are remembered with their value text and
// applied to a context of that codec or muxer alone.

struct DefaultsCodecContextDeleter {
    void operator()(AVCodecContext* c) const;
};
struct DefaultsFormatContextDeleter {
    void operator()(AVFormatContext* c) const;
};
struct DefaultsScalerContextDeleter {
    void operator()(SwsContext* c) const;
};

// One option set by name, in the order they were given.
struct TGenericOption {
    std::string Name;                  // the library's own name of the option
    std::optional<std::string> Value;  // only for codec- or muxer-private options
};

constexpr int OptionMediaTypes = 5;  // video, audio, data, subtitle, attachment

// One per task; it belongs to the thread that configures the task.
struct OptionContexts {
    std::vector<TGenericOption> Options;
    std::unique_ptr<AVCodecContext, DefaultsCodecContextDeleter> CodecDefaults[OptionMediaTypes];
    std::unique_ptr<AVFormatContext, DefaultsFormatContextDeleter> ContainerDefaults;
    std::unique_ptr<SwsContext, DefaultsScalerContextDeleter> ScalerDefaults;

    int Count() const { return static_cast<int>(Options.size()); }
};

// Frees what the record holds, then creates the seven defaults contexts; the
// scaler defaults carry `scalerFlags` as their "sws_flags". Raises
// std::bad_alloc when the library cannot allocate a context.
void InitOptionContexts(OptionContexts& record, int scalerFlags);
// Frees every context and empties the list.
void FreeOptionContexts(OptionContexts& record);
// Sets a named option on the defaults it belongs to and remembers it. False
// (with LastOptionMessage and a library log line) for an unknown name or a
// rejected value; false without a message for a blank name.
bool SetGenericOption(OptionContexts& record, const std::string& name, const std::string& value);
// Copies the remembered options into `target` (an AVCodecContext or an
// AVFormatContext): generic ones from `defaults` when their flags contain all
// of `flags`, private ones into the target's private options when its codec
// (`codec`) or output format knows them. False when a private value was
// rejected (logged with the invalid-value text); the others are still applied.
bool ApplyGenericOptions(OptionContexts& record, void* target, void* defaults, const AVCodec* codec, int flags);

// The text of the last failed SetGenericOption, for the whole process.
std::string LastOptionMessage();
// Process shutdown: forgets the last text.
void ClearLastOptionMessage();

// ---------------------------------------------------------------------------
// Texts

// "<name>: <text for code>"; an unknown code gives "Error number %d occurred".
std::string LibraryErrorText(const std::string& name, int code);
// The text of a library error code alone, as LibraryErrorText gives it.
std::string ErrorCodeText(int code);
// "HH:MM:SS.mmm" for microseconds (hours not reduced modulo 24); "N/A" for the
// no-value time stamp.
std::string TimeText(int64_t microseconds);
// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int type);
// The dictionary's value for key, or def.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key, const std::string& def);

// ---------------------------------------------------------------------------
// Files

// Reads a whole file into a buffer from av_malloc, followed by a zero byte;
// `size` counts that zero byte. Returns 0, -1 when the file cannot be opened
// or measured, -12 when the buffer cannot be allocated. The caller frees the
// buffer with av_free.
int ReadWholeFile(const std::string& fileName, char** buffer, size_t* size);

// ---------------------------------------------------------------------------
// Time stamp correction: prefers the decoder's reordered time stamps while they
// have gone backwards no more often than the decoding time stamps.

struct TPtsCorrection {
    int64_t FaultyPtsCount = 0;
    int64_t FaultyDtsCount = 0;
    int64_t LastPts = INT64_MIN;
    int64_t LastDts = INT64_MIN;
};

void ResetPtsCorrection(TPtsCorrection& record);
int64_t GuessCorrectPts(TPtsCorrection& record, int64_t dts, int64_t reorderedPts);
