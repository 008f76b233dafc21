#pragma once
// Shared by the files that open a task's inputs and outputs.
#include <string>

#include "CustomFFmpeg.h"
#include "DiskName.h"
#include "InterruptCB.h"
#include "ThreadId.h"

// Reads what the streams of a freshly analysed input tell into the task's
// option values, sets their discard levels and appends their decoders to
// InputCodecs. A stream of a kind the converter does not know is discarded.
void ReadInputStreams(TCustomFFmpeg& task, AVFormatContext* ic);

// The steps every new output stream shares: the library stream with its id,
// the stream record with an encoder context holding the encoder's defaults
// (none for stream copy), the kind's bit-stream filters, threads, codec tag
// and global-header flag. Raises the texts the user sees.
TOutputStream& AddOutputStream(TCustomFFmpeg& task, AVFormatContext* oc, int slot, TMediaKind kind);

// Puts the engine's channel mask and count into a codec context's layout: the
// mask when it is set, else the default layout of the count.
void SetChannelLayout(AVCodecContext* ctx, int64_t mask, int channels);

// Sets the stream's "language" metadata when the text is not empty, then
// clears the text: a language belongs to the next stream only.
void TakeLanguage(AVStream* st, std::string& language);

// Guards one blocking open of the task's files: the task's time-out check is
// registered for the calling thread and the clock of the guarded call runs
// while the guard lives; both are undone on every path out.
class TTaskIOGuard {
public:
    explicit TTaskIOGuard(TCustomFFmpeg& task) : task_(task), thread_(CurrentThreadId()) {
        InterruptRegistry()->Add(thread_, &task_, TCustomFFmpeg::TimeoutCheck);
        Restart();
    }
    ~TTaskIOGuard() {
        task_.IoStartTime = INT64_MAX;
        InterruptRegistry()->Remove(thread_, &task_, TCustomFFmpeg::TimeoutCheck);
    }
    TTaskIOGuard(const TTaskIOGuard&) = delete;
    TTaskIOGuard& operator=(const TTaskIOGuard&) = delete;

    // A new guarded call starts now.
    void Restart() { task_.IoStartTime = ff::av_gettime(); }

private:
    TCustomFFmpeg& task_;
    uint32_t thread_;
};
