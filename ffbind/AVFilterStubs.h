#pragma once
// Entry points of libavfilter.
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}
#include "StubMacros.h"

#define TEMBRIO_AVFILTER_ENTRIES(X, O)                                                        \
    X(av_filter_iterate) X(avfilter_get_by_name) X(avfilter_graph_alloc) X(avfilter_graph_config) \
    X(avfilter_graph_create_filter) X(avfilter_graph_free) X(avfilter_graph_parse_ptr)        \
    X(avfilter_graph_request_oldest) X(avfilter_link) X(avfilter_inout_alloc)                 \
    X(avfilter_inout_free) X(av_buffersrc_add_frame_flags) X(av_buffersrc_write_frame)        \
    X(av_buffersink_get_frame) X(av_buffersink_get_frame_flags) X(av_buffersink_get_time_base) \
    X(av_buffersink_get_w) X(av_buffersink_get_h) X(av_buffersink_get_format)                 \
    X(av_buffersink_get_sample_aspect_ratio) X(av_buffersink_get_frame_rate) X(avfilter_free)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_AVFILTER_ENTRIES, AVFilter)
