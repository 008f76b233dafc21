// PLACEHOLDER: replaced by the full lock manager.
#include "LockManager.h"
#include "AVCodecStubs.h"
void RegisterLockManager() {}
void UnregisterLockManager() {}
int LockManagerCallback(void**, int) { return 0; }
int CodecOpen(AVCodecContext* ctx, const AVCodec* codec, AVDictionary** options) { return ff::avcodec_open2(ctx, codec, options); }
void CodecFree(AVCodecContext** ctx) { ff::avcodec_free_context(ctx); }
