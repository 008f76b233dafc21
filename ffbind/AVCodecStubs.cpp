#include "AVCodecStubs.h"

// Codecs are registered when the library is built; there is no registration call.
TEMBRIO_DEFINE_STUB_MODULE(TEMBRIO_AVCODEC_ENTRIES, AVCodec)
