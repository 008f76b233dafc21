/* What the test frame hook module counts; shared by the module (C) and the
 * test that reads it through the module's "HookModuleCounters" export. */
#ifndef TEMBRIO_HOOK_COUNTERS_H
#define TEMBRIO_HOOK_COUNTERS_H
#include <stdint.h>

struct HookCounters {
    int Loads;
    int Configures;
    int LastArgc;
    int Processes;
    int Releases;
    int LastWidth;
    int LastHeight;
    int LastPixelFormat;
    int64_t LastPts;
    void* LastContext;
};

#endif
