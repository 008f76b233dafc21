#pragma once
// The small types every part of the task shares.
#include <cstdint>
#include <functional>
#include <string>

#include "Exception.h"
#include "NoOutputTime.h"

class TCustomFFmpeg;
struct TBitmap;

class FFmpegException : public Exception {
public:
    using Exception::Exception;
};

// Media kinds of the per-kind option values.
enum TMediaKind { mkVideo = 0, mkAudio = 1, mkData = 2, mkSubtitle = 3 };

// The number of streams per input that a per-stream option can address.
constexpr int MAX_STREAMS = 20;

// Report values of one progress report (the relay fills TProgressInfo).
using TProgressRelay = std::function<void(TCustomFFmpeg* Sender, int FileIndex, int FrameNumber, int FPS,
                                          float Quality, float BitRate, int64_t TotalSize, int64_t CurrentDuration,
                                          int64_t TotalDuration)>;
// Decoded interleaved samples, changeable in place, before they are encoded.
using TAudioHookRelay = std::function<void(TCustomFFmpeg* Sender, int64_t Pts, uint8_t* Samples, int Size,
                                           int SampleRate, int Channels, int SampleFormat)>;

// A picture as a bitmap, before it is encoded (output hook) or right after it
// was decoded (input hook). The handler may change the bitmap; Update (in:
// true) writes it back into the picture, StopHook (in: false) ends the hook
// for the rest of the task.
using TVideoHookRelay = std::function<void(TCustomFFmpeg* Sender, TBitmap* Bitmap, bool& Update, bool& StopHook,
                                           int64_t Pts, int FrameNumber)>;
// A picture being encoded, for the preview bitmap event.
using TPreviewBitmapRelay =
    std::function<void(TCustomFFmpeg* Sender, const TBitmap* Bitmap, int64_t Pts, int FrameNumber)>;

// An input or output given to a task, kept so that it can be opened again.
struct TOpenStep {
    bool Output = false;
    std::wstring FileName;
    bool WithRecord = false;  // its record is the kept copy of its slot
};
