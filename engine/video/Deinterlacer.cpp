// Deinterlacing through the post-processing filter's deinterlacer ("fd": a
// five-tap vertical filter over the lines of one picture), which needs no
// neighbouring pictures and so gives each picture back at once.
#include <algorithm>

#include "VideoSink.h"
#include "VideoRecords.h"

namespace {

// The planar formats the post-processing filter works on.
constexpr AVPixelFormat DeinterlacedFormats[] = {
    AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV444P,
    AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV440P,  AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV411P, AV_PIX_FMT_GRAY8};

bool Deinterlaceable(int format) {
    return std::find(std::begin(DeinterlacedFormats), std::end(DeinterlacedFormats), format) !=
           std::end(DeinterlacedFormats);
}

} // namespace

void TDeinterlacer::Configure(const AVFrame* in) {
    graph_.reset();
    source_ = sink_ = nullptr;
    width_ = in->width;
    height_ = in->height;
    format_ = in->format;
    configured_ = true;
    if (!Deinterlaceable(in->format) || in->width < 1 || in->height < 1) return;
    const AVFilter* pp = ff::avfilter_get_by_name("pp");
    if (!pp) return;
    FilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!result_) result_ = MakeFrame();
    if (!graph || !result_) return;
    AVFilterContext* source = nullptr;
    AVFilterContext* filter = nullptr;
    AVFilterContext* sink = nullptr;
    if (CreateVideoSource(graph.get(), in->width, in->height, in->format, AVRational{1, 1}, &source) < 0 ||
        ff::avfilter_graph_create_filter(&filter, pp, "deinterlace", "fd", nullptr, graph.get()) < 0 ||
        CreateVideoSink(graph.get(), static_cast<AVPixelFormat>(in->format), &sink) < 0 ||
        ff::avfilter_link(source, 0, filter, 0) < 0 || ff::avfilter_link(filter, 0, sink, 0) < 0 ||
        ff::avfilter_graph_config(graph.get(), nullptr) < 0)
        return;
    graph_ = std::move(graph);
    source_ = source;
    sink_ = sink;
}

bool TDeinterlacer::Deinterlace(const AVFrame* in, AVFrame* out) {
    // A geometry that could not be handled is not tried again until it changes.
    if (!configured_ || width_ != in->width || height_ != in->height || format_ != in->format) Configure(in);
    if (!graph_) return false;
    if (ff::av_buffersrc_add_frame_flags(source_, const_cast<AVFrame*>(in), AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
        ff::av_buffersink_get_frame(sink_, result_.get()) < 0) {
        // A graph that failed once is not trusted with later pictures.
        graph_.reset();
        return false;
    }
    const AVFrame* done = result_.get();
    const bool fits = done->width == out->width && done->height == out->height && done->format == out->format;
    if (fits)
        ff::av_image_copy(out->data, out->linesize, const_cast<const uint8_t**>(done->data), done->linesize,
                          static_cast<AVPixelFormat>(out->format), out->width, out->height);
    ff::av_frame_unref(result_.get());
    return fits;
}
