#pragma once
// Entry points of libavformat.
extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}
#include "StubMacros.h"

#define TEMBRIO_AVFORMAT_ENTRIES(X, O)                                                          \
    X(av_codec_get_id) X(av_codec_get_tag) X(av_codec_get_tag2) X(av_filename_number_test)      \
    X(av_find_best_stream) X(av_find_input_format) X(avformat_find_stream_info) X(av_guess_codec) \
    X(av_guess_format) X(av_guess_frame_rate) X(av_demuxer_iterate) X(av_muxer_iterate)          \
    X(av_interleaved_write_frame) X(av_write_frame) X(avformat_new_stream) X(av_new_program)    \
    X(avformat_open_input) X(avformat_close_input) X(av_pkt_dump_log2) X(avio_enum_protocols)   \
    X(av_read_frame) X(av_read_pause) X(av_read_play) X(av_seek_frame) X(avformat_seek_file)    \
    X(avformat_write_header) X(avformat_init_output) X(av_write_trailer) X(av_sdp_create) X(avformat_alloc_context)     \
    X(avformat_alloc_output_context2) X(avformat_free_context) X(av_dump_format)                \
    X(avformat_get_class) X(avformat_query_codec) X(av_stream_get_end_pts)                      \
    X(avformat_match_stream_specifier) X(avio_open2) X(avio_closep) X(avio_alloc_context)       \
    X(avio_context_free) X(avio_feof) X(avio_size) X(avio_seek) X(avio_flush) X(avio_write)     \
    X(avio_read)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_AVFORMAT_ENTRIES, AVFormat)
