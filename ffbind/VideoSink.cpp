// The video sink over the library's buffer sink. The library no longer lets a
// program define a filter of its own, so the one pixel format the encoder takes
// is imposed through the sink's "pix_fmts" option.
#include "VideoSink.h"

#include "AVFilterStubs.h"
#include "AVUtilStubs.h"
#include "Format.h"

int CreateVideoSink(AVFilterGraph* graph, AVPixelFormat pixelFormat, AVFilterContext** sink) {
    *sink = nullptr;
    if (!graph || pixelFormat == AV_PIX_FMT_NONE) return AVERROR(EINVAL);
    const AVFilter* filter = ff::avfilter_get_by_name("buffersink");
    if (!filter) return AVERROR_FILTER_NOT_FOUND;
    AVFilterContext* ctx = nullptr;
    int ret = ff::avfilter_graph_create_filter(&ctx, filter, "out", nullptr, nullptr, graph);
    if (ret < 0) return ret;
    // "pix_fmts" is a list without its terminator: one format here.
    ret = ff::av_opt_set_bin(ctx, "pix_fmts", reinterpret_cast<const uint8_t*>(&pixelFormat), sizeof(pixelFormat),
                             AV_OPT_SEARCH_CHILDREN);
    if (ret < 0) {
        ff::avfilter_free(ctx);
        return ret;
    }
    *sink = ctx;
    return 0;
}

int CreateVideoSource(AVFilterGraph* graph, int width, int height, int pixelFormat, AVRational aspect,
                      AVFilterContext** source) {
    *source = nullptr;
    const AVFilter* filter = ff::avfilter_get_by_name("buffer");
    if (!graph || !filter) return AVERROR_FILTER_NOT_FOUND;
    // The named form: the positional one now reads its last numbers as other fields.
    const std::string args = Format("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d", width,
                                    height, pixelFormat, aspect.num, aspect.den);
    return ff::avfilter_graph_create_filter(source, filter, "src", args.c_str(), nullptr, graph);
}

int GetFilteredPicture(AVFilterContext* sink, AVFrame* out, int64_t* pts) {
    ff::av_frame_unref(out);
    int ret = ff::av_buffersink_get_frame(sink, out);
    if (ret < 0) return ret;
    *pts = out->pts == AV_NOPTS_VALUE
             ? AV_NOPTS_VALUE
             : ff::av_rescale_q(out->pts, ff::av_buffersink_get_time_base(sink), AVRational{1, 1000000});
    return 1;
}
