#include "AVDeviceStubs.h"

// Devices are registered when the library is built, so binding makes no call.
TEMBRIO_DEFINE_STUB_MODULE(TEMBRIO_AVDEVICE_ENTRIES, AVDevice)
