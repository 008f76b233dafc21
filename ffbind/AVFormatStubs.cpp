#include "AVFormatStubs.h"

// Formats and protocols are registered when the library is built; there is no
// registration call.
TEMBRIO_DEFINE_STUB_MODULE(TEMBRIO_AVFORMAT_ENTRIES, AVFormat)
