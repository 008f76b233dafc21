#include "AVFilterStubs.h"

// Filters are registered when the library is built; there is no registration call.
TEMBRIO_DEFINE_STUB_MODULE(TEMBRIO_AVFILTER_ENTRIES, AVFilter)
