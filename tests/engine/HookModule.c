/* A frame hook module for the tests. It counts the calls it receives and
 * remembers the last picture geometry, so a test can see what the host did.
 * Built three times: complete, without "Process" (HOOK_NO_PROCESS) and
 * without "Configure" (HOOK_NO_CONFIGURE). A first argument "fail" makes
 * "Configure" refuse; "paint" makes "Process" paint 4:2:0 pictures white. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "HookCounters.h"

struct HookPicture {
    uint8_t* data[4];
    int linesize[4];
};

static struct HookCounters counters;

__attribute__((constructor)) static void HookLoaded(void) { counters.Loads++; }

struct HookCounters* HookModuleCounters(void) { return &counters; }

#ifndef HOOK_NO_CONFIGURE
int Configure(void** context, int argc, char* argv[]) {
    counters.Configures++;
    counters.LastArgc = argc;
    if (argc > 1 && strcmp(argv[1], "fail") == 0) return 1;
    *context = calloc(1, 16);
    if (argc > 1 && strcmp(argv[1], "paint") == 0) *(int*)*context = 1;
    return 0;
}
#endif

#ifndef HOOK_NO_PROCESS
void Process(void* context, struct HookPicture* picture, int pixelFormat, int width, int height, int64_t pts) {
    counters.Processes++;
    if (context && *(int*)context && pixelFormat == 0 /* yuv420p */) {
        for (int y = 0; y < height; ++y) memset(picture->data[0] + y * picture->linesize[0], 235, width);
        for (int y = 0; y < height / 2; ++y) {
            memset(picture->data[1] + y * picture->linesize[1], 128, width / 2);
            memset(picture->data[2] + y * picture->linesize[2], 128, width / 2);
        }
    }
    counters.LastContext = context;
    counters.LastPixelFormat = pixelFormat;
    counters.LastWidth = width;
    counters.LastHeight = height;
    counters.LastPts = pts;
}
#endif

void Release(void* context) {
    counters.Releases++;
    free(context);
}
