#pragma once
// What a finished run knows of one encoded audio stream of an output, so the
// output can be checked against its source once its file is closed: a file
// cut short (a full disk, an encoder that stopped early) must never pass for
// a finished conversion.
#include <cstdint>
#include <string>

struct TOutputCheck {
    std::string Url;               // the output as the library opens it
    std::string Name;              // … and as the user knows it
    int AudioOrdinal = 0;          // which audio stream of the output: a demuxer may number its streams otherwise
    int SampleRate = 0;
    int64_t Tolerance = 0;         // samples the output may lack: one encoder frame, none when lossless
    int64_t SamplesDecoded = 0;    // samples of the source handed to the encoder, after resampling
    int64_t SamplesWritten = 0;    // samples in the packets the muxer took
    bool WrittenKnown = true;      // every packet told its duration
};

// The text of an output found `missing` seconds short; `figures` are both
// durations or counts, as the check compared them.
std::string ShorterOutputText(double missing, const std::string& figures);
