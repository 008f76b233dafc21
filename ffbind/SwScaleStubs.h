#pragma once
// Entry points of libswscale.
extern "C" {
#include <libswscale/swscale.h>
}
#include "StubMacros.h"

#define TEMBRIO_SWSCALE_ENTRIES(X, O) \
    X(sws_freeContext) X(sws_getContext) X(sws_getCachedContext) X(sws_scale) X(sws_get_class) \
        X(sws_isSupportedInput) X(sws_isSupportedOutput)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_SWSCALE_ENTRIES, SwScale)
