#pragma once
// Entry points of libswresample: sample-format conversion, channel remixing and
// resampling.
extern "C" {
#include <libswresample/swresample.h>
}
#include "StubMacros.h"

#define TEMBRIO_SWRESAMPLE_ENTRIES(X, O)                                                    \
    X(swr_alloc) X(swr_alloc_set_opts2) X(swr_init) X(swr_is_initialized) X(swr_free)       \
    X(swr_close) X(swr_convert) X(swr_set_compensation) X(swr_get_delay) X(swr_get_class)   \
    X(swr_get_out_samples) X(swr_inject_silence) X(swr_drop_output)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_SWRESAMPLE_ENTRIES, SwResample)
