#pragma once
// What a finished run knows of one encoded audio stream of an output, so the
// output can be checked against its source once its file is closed: a file
// cut short (a full disk, an encoder that stopped early), one that cannot be
// read back or one that holds no audio must never pass for a finished
// conversion.
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct TOutputCheck {
    std::string Url;                          // the output as the library opens it
    std::string Name;                         // … and as the user knows it
    std::vector<std::string> OwnDemuxers;     // those that read what its muxer writes, tried before probing
    std::vector<std::string> LikelyDemuxers;  // … and those tried when probing fails
    AVCodecID Codec = AV_CODEC_ID_NONE;       // what its encoder made, as the right demuxer finds it again
    int AudioOrdinal = 0;                     // which audio stream of the output: a demuxer may number its streams otherwise
    int SampleRate = 0;
    int Channels = 0;
    int64_t Tolerance = 0;                    // samples the output may lack: one encoder frame, none when lossless
    int64_t SamplesDecoded = 0;               // samples of the source handed to the encoder, after resampling
    int64_t SamplesWritten = 0;               // samples in the packets the muxer took
    bool WrittenKnown = true;                 // every packet told its duration
};

// The text of an output found `missing` seconds short; `figures` are both
// durations or counts, as the check compared them.
std::string ShorterOutputText(double missing, const std::string& figures);
// The texts of an output that does not open as media again (`reason`: why
// not), and of one without a single sample of audio.
std::string UnreadableOutputText(const std::string& name, const std::string& reason);
std::string SilentOutputText(const std::string& name);
