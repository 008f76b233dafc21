#pragma once
// What the video path keeps between the pictures of a run: per input stream
// the processed copy of its pictures and its deinterlacer, and the filter
// graphs the run owns.
#include <memory>

#include "AVFilterStubs.h"
#include "FFPtr.h"

struct FilterGraphDeleter {
    void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// Deinterlaces pictures through a graph of one filter that gives one picture
// out for every picture in. The graph is made for the geometry of the first
// picture and again whenever the geometry changes.
class TDeinterlacer {
public:
    // Writes the deinterlaced `in` into `out`, a writable picture of the same
    // format and size. False when this format or size cannot be deinterlaced.
    bool Deinterlace(const AVFrame* in, AVFrame* out);

private:
    void Configure(const AVFrame* in);

    FilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;  // owned by graph_
    AVFilterContext* sink_ = nullptr;    // owned by graph_
    FramePtr result_;
    int width_ = 0;
    int height_ = 0;
    int format_ = -1;
    bool configured_ = false;  // a graph was tried for this geometry; graph_ is empty when it failed
};

// The video run state of one input stream.
struct TVideoInputRun {
    int PictureCount = 0;      // pictures decoded so far: the input hook's picture number
    int Width = 0;             // geometry of the last decoded picture
    int Height = 0;
    int PixelFormat = -1;
    FramePtr HookPicture;      // the processed copy of a picture: deinterlaced, hooked
    TDeinterlacer Deinterlacer;
    bool FilterClosed = false; // the filter graph's source was told that no picture follows
};

// A writable picture of the given geometry in `slot`: the one there when it
// fits (copied first when another holder still refers to its planes),
// otherwise a new one. nullptr when memory runs out.
AVFrame* WritablePicture(FramePtr& slot, int format, int width, int height);

