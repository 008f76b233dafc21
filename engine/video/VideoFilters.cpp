// The video filter chain of an output stream: the decoded pictures enter a
// buffer source "src", pass a scaler when the sizes differ and the chain the
// "vf" option gives, and leave through the sink "out" in the encoder's pixel
// format. The encoder takes its picture size from the sink.
#include "Format.h"
#include "SourceDecoder.h"
#include "TaskTypes.h"
#include "VideoPath.h"
#include "VideoSink.h"

namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* p) const { ff::avfilter_inout_free(&p); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

// One open end of the parsed chain, named `name`, at pad 0 of `filter`.
InOutPtr OpenEnd(const char* name, AVFilterContext* filter) {
    InOutPtr end(ff::avfilter_inout_alloc());
    if (!end) return nullptr;
    end->name = ff::av_strdup(name);
    end->filter_ctx = filter;
    end->pad_idx = 0;
    end->next = nullptr;
    return end->name ? std::move(end) : nullptr;
}

} // namespace

FFmpegException TSourceDecoder::FilteringError(const TInputStream& ist, int ret) {
    return FFmpegException(LibraryErrorText(
        Format("Error while filtering the pictures of input stream #%d.%d", ist.FileIndex, ist.StreamIndex), ret));
}

int TSourceDecoder::ConfigureFilters(TInputStream& ist, AVCodecContext* enc, const std::string& chain, int scalerFlags,
                                     std::string& errorText) {
    const AVCodecContext* dec = ist.Decoder.get();
    FilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) return AVERROR(ENOMEM);
    auto failed = [&](int ret, const std::string& step) {
        errorText = LibraryErrorText(step, ret);
        return ret;
    };

    const AVRational sar = dec->sample_aspect_ratio.num > 0 ? dec->sample_aspect_ratio : AVRational{0, 1};
    AVFilterContext* source = nullptr;
    int ret = CreateVideoSource(graph.get(), dec->width, dec->height, dec->pix_fmt, sar, &source);
    if (ret < 0) return failed(ret, "buffer");
    AVFilterContext* sink = nullptr;
    ret = CreateVideoSink(graph.get(), enc->pix_fmt, &sink);
    if (ret < 0) return failed(ret, "buffersink");

    const int flags = scalerFlags;
    AVFilterContext* last = source;
    if (enc->width != dec->width || enc->height != dec->height) {
        const std::string scaleArgs = Format("%d:%d:flags=0x%X", enc->width, enc->height, flags);
        AVFilterContext* scale = nullptr;
        ret = ff::avfilter_graph_create_filter(&scale, ff::avfilter_get_by_name("scale"), "scale", scaleArgs.c_str(),
                                               nullptr, graph.get());
        if (ret < 0) return failed(ret, "scale");
        ret = ff::avfilter_link(last, 0, scale, 0);
        if (ret < 0) return failed(ret, "scale");
        last = scale;
    }
    graph->scale_sws_opts = ff::av_strdup(Format("flags=0x%X", flags).c_str());
    if (!graph->scale_sws_opts) return AVERROR(ENOMEM);

    if (!chain.empty()) {
        InOutPtr outputs = OpenEnd("in", last);
        InOutPtr inputs = OpenEnd("out", sink);
        if (!outputs || !inputs) return AVERROR(ENOMEM);
        AVFilterInOut* in = inputs.release();
        AVFilterInOut* out = outputs.release();
        ret = ff::avfilter_graph_parse_ptr(graph.get(), chain.c_str(), &in, &out, nullptr);
        inputs.reset(in);
        outputs.reset(out);
        if (ret < 0) return failed(ret, chain);
    } else {
        ret = ff::avfilter_link(last, 0, sink, 0);
        if (ret < 0) return failed(ret, "buffersink");
    }
    ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0) return failed(ret, chain.empty() ? "buffersink" : chain);

    enc->width = ff::av_buffersink_get_w(sink);
    enc->height = ff::av_buffersink_get_h(sink);
    ist.FilterInput = source;
    ist.FilterOutput = sink;
    ist.Video.FilterClosed = false;
    if (!ist.FilteredPicture) ist.FilteredPicture = MakeFrame();
    if (!ist.FilteredPicture) return AVERROR(ENOMEM);
    filterGraphs_.push_back(std::move(graph));
    return 0;
}

void TSourceDecoder::RouteFilteredPictures(TInputStream& ist, int index) {
    AVFrame* filtered = ist.FilteredPicture.get();
    for (;;) {
        int64_t pts = NoPts;
        const int ret = GetFilteredPicture(ist.FilterOutput, filtered, &pts);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
        if (ret < 0) throw FilteringError(ist, ret);
        if (pts != NoPts) ist.Pts = pts;
        TDecodedData decoded;
        decoded.Picture = filtered;
        route_.Route(ist, index, nullptr, decoded);
        ff::av_frame_unref(filtered);
    }
}

void TSourceDecoder::CloseFilters(TInputStream& ist, int index) {
    if (!ist.FilterInput || ist.Video.FilterClosed) return;
    ist.Video.FilterClosed = true;
    // The chain lets out what it still holds once it knows no picture follows.
    const int ret = ff::av_buffersrc_add_frame_flags(ist.FilterInput, nullptr, 0);
    if (ret < 0) throw FilteringError(ist, ret);
    RouteFilteredPictures(ist, index);
}
