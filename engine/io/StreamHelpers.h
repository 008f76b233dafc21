#pragma once
// Stream-creation helpers that need no open output.
#include <climits>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "Exception.h"
#include "StreamRecords.h"

// Grows `list` to `wanted` entries (new ones value-initialised); never shrinks.
// Raises Exception "Array too big." when the wanted size cannot be addressed
// and "Could not alloc buffer." when memory runs out.
template <typename T>
void GrowList(std::vector<T>& list, int64_t wanted) {
    if (wanted >= static_cast<int64_t>(INT_MAX / sizeof(T))) throw Exception("Array too big.");
    if (static_cast<int64_t>(list.size()) >= wanted) return;
    try {
        list.resize(static_cast<size_t>(wanted));
    } catch (const std::bad_alloc&) {
        throw Exception("Could not alloc buffer.");
    }
}

// Keeps the encoder context's sample format when the encoder takes it, also
// when the encoder lists only its planar (or packed) twin, which is then used;
// otherwise the encoder's first format.
void ChooseSampleFormat(AVCodecContext* encoder, const AVCodec* codec);
// The supported rate nearest to the requested one (the earlier on a tie).
void ChooseSampleRate(AVCodecContext* encoder, const AVCodec* codec);
// Keeps the encoder context's channel layout when the encoder takes it;
// otherwise the one it takes with as many channels (the audio path moves the
// source's channels into it), or the layout unchanged when it takes none.
void ChooseChannelLayout(AVCodecContext* encoder, const AVCodec* codec);
void ChoosePixelFormat(AVCodecContext* encoder, const AVCodec* codec);
// Microseconds; raises "Invalid %s specification for %s: %s".
int64_t ParseTimeOrRaise(const std::string& optionName, const std::string& text, bool isDuration);
// Comma-separated times, in the encoder's time base.
std::vector<int64_t> ParseForcedKeyFrames(const std::string& text, const AVCodecContext* encoder);
