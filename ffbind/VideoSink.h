#pragma once
// The output end of a video filter graph: the library's buffer sink, named
// "out", that accepts one pixel format (the encoder's), and the call that takes
// the next filtered picture from it.
#include <cstdint>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Creates the sink in `graph`, restricted to `pixelFormat`, before the graph is
// configured. Returns 0 with *sink set, or a negative library error code with
// *sink nullptr and the graph as it was.
int CreateVideoSink(AVFilterGraph* graph, AVPixelFormat pixelFormat, AVFilterContext** sink);

// Creates the graph's input end: the library's buffer source, named "src",
// taking pictures of the given geometry and aspect ratio with time stamps in
// microseconds. Returns 0 or a negative library error code.
int CreateVideoSource(AVFilterGraph* graph, int width, int height, int pixelFormat, AVRational aspect,
                      AVFilterContext** source);

// Takes the next filtered picture into `out` (whatever `out` held is released
// first). Returns 1 with a picture and its time stamp in microseconds (the
// no-value time stamp when the picture has none); AVERROR(EAGAIN) when the
// graph needs more input; AVERROR_EOF after the last picture; another negative
// library error code on failure.
int GetFilteredPicture(AVFilterContext* sink, AVFrame* out, int64_t* pts);
