#pragma once
// Taking what an encoder has made: the loop both the audio and the video
// output paths run after each frame they send and when they drain.
#include <functional>

#include "AVCodecStubs.h"

// Hands every packet `enc` has ready to `take`, one at a time, in `pkt`,
// which is emptied after each. Ends when the encoder wants more input or has
// given everything; any other result raises FFmpegException(`failure`).
void TakeEncodedPackets(AVCodecContext* enc, AVPacket* pkt, const char* failure,
                        const std::function<void(AVPacket* pkt)>& take);
