#pragma once
// Conversions through the task API on generated media, and what a user would
// check on the result: the stream ffprobe sees and the decoded samples.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CustomFFmpeg.h"
#include "Fixtures.h"
#include "TaskRecordApply.h"
#include "TestSupport.h"

// What ffprobe reports of the first audio stream and of the container.
struct TProbed {
    std::map<std::string, std::string> Values;  // "codec_name", "sample_rate", "channels", "duration", ...
    std::string Get(const std::string& key) const {
        auto it = Values.find(key);
        return it == Values.end() ? "" : it->second;
    }
    int Int(const std::string& key) const { return std::atoi(Get(key).c_str()); }
    double Number(const std::string& key) const { return std::atof(Get(key).c_str()); }
};
TProbed Probe(const std::string& path);
// ffprobe's entries for `selection` (its -select_streams and -show_entries
// arguments), by name; a second "duration" is kept as "format_duration".
TProbed ProbeEntries(const std::string& path, const std::string& selection);
// ffprobe's count of streams of `type` ("audio", "video").
int ProbeStreamCount(const std::string& path, const std::string& type);
// ffprobe's count of packets of the first audio stream.
int ProbePacketCount(const std::string& path);

// The first audio stream decoded into interleaved samples of `format`
// (packed), at the stream's own rate and channel count.
struct TDecoded {
    int SampleRate = 0;
    int Channels = 0;
    std::vector<uint8_t> Bytes;
    int64_t Samples() const;  // per channel
    std::vector<int16_t> S16() const;
    std::vector<float> Float() const;
    AVSampleFormat Format = AV_SAMPLE_FMT_S16;
};
TDecoded DecodeFile(const std::string& path, AVSampleFormat format);

// Matroska with 16-bit mono PCM at 44.1 kHz, in blocks of 1024 samples: block
// i is stamped `ptsOf(i)` samples, and sample n of the file has the value
// `sampleAt(n)`. For sources whose clock jumps or drifts.
void WritePcmMatroska(const std::string& path, int blocks, const std::function<int64_t(int)>& ptsOf,
                      const std::function<int16_t(int64_t)>& sampleAt);

// A file opened for reading back, with the decoder of its best stream of a
// type open; Input is null when any step failed.
struct TReadBack {
    InputContextPtr Input;
    int Index = -1;
    const AVStream* Stream = nullptr;
    CodecContextPtr Decoder;
};
TReadBack OpenReadBack(const std::string& path, AVMediaType type);

// The record of a stereo audio-only output coded with `codec` at `rate`.
TOutputOptions AudioRecord(const char* codec, int rate);

class TranscodeTest : public LibrariesTest {
protected:
    void TearDown() override { task.reset(); }

    // A task with the inputs opened (each with `inputOptions` as its extra
    // option text) and the output opened with `output`'s record.
    void Open(const std::vector<std::string>& inputs, TOutputOptions output, const std::string& outputName,
              const std::string& inputOptions = "");
    // Runs the transcode; the text it raised, or "".
    std::string Run();
    // Runs the task as the encoder component does: the transcode, then its
    // outputs closed, tagged and checked. The error it ended with, or "".
    std::string RunTask();
    std::string Out(const std::string& name) const { return dir.File(name); }
    std::string ToneWav(const std::string& name, double seconds, int rate = 44100, int channels = 2,
                        AVSampleFormat format = AV_SAMPLE_FMT_S16);

    TempDir dir;
    std::unique_ptr<TCustomFFmpeg> task;
};
