#pragma once
// What the video tests look at in an output: the stream ffprobe describes and
// every picture decoded.
#include <string>
#include <vector>

#include "TranscodeTestSupport.h"

// ffprobe's view of the first video stream: "codec_name", "width", "height",
// "r_frame_rate", "pix_fmt".
TProbed ProbeVideo(const std::string& path);

struct TVideoDecoded {
    int Frames = 0;              // pictures decoded to the end of the file
    int Errors = 0;              // packets or pictures the decoder refused
    std::vector<double> Times;   // each picture's time, seconds
    int Width = 0;               // of the first picture
    int Height = 0;
    std::vector<uint8_t> Rgb;    // the first picture, RGB24, rows of 3 × Width bytes
    struct TRgb {
        int R, G, B;
    };
    TRgb Pixel(int x, int y) const;
    // The mean of the first picture's row `y` (all colours).
    double RowMean(int y) const;
};
TVideoDecoded DecodeVideoFile(const std::string& path);

// Output records of a video conversion: video with `codec`, no audio.
TOutputOptions VideoOutput(const std::string& codec);
