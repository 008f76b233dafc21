#pragma once
// Entry points of libavdevice. The library is known to the loader but nothing
// loads it; its one entry point has no installed header, so it is declared here.
#include "StubMacros.h"

extern "C" void avdevice_register_all(void);

#define TEMBRIO_AVDEVICE_ENTRIES(X, O) X(avdevice_register_all)

TEMBRIO_DECLARE_STUB_MODULE(TEMBRIO_AVDEVICE_ENTRIES, AVDevice)
