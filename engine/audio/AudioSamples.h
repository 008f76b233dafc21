#pragma once
#include <cstddef>
// Sample-level helpers of the audio path: packing decoded frames into
// interleaved samples, the volume change, and unpacking interleaved samples
// into an encoder's (possibly planar) frame.
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

// Writes the frame's samples interleaved into `out` (nb_samples × channels ×
// bytes), whether the frame is planar or packed.
void InterleaveSamples(const AVFrame* frame, uint8_t* out, int bytesPerSample, int channels);

// Fills `frame` (format, channels and nb_samples already set, buffers
// allocated) from `samples` interleaved samples at `in`.
// Float samples an encoder may choke on: NaN and infinities become silence,
// and every one of the `count` samples is kept within -`limit` to `limit`.
void TameFloatSamples(float* samples, size_t count, float limit);
// Whether TameFloatSamples would leave all `count` samples as they are.
bool FloatSamplesTame(const float* samples, size_t count, float limit);
// The widest float samples `codec` takes: full scale for the MP3 encoder,
// whose float path asserts on louder samples; far above any real sound for
// the others, whose quantisers can loop for ever on samples near 1e10.
float FloatSampleLimit(const char* codec);

void DeinterleaveSamples(const uint8_t* in, AVFrame* frame, int bytesPerSample, int channels);

// Multiplies every sample by volume / 256 in the samples' own packed format:
// integers are rounded to nearest (halves up) and clipped to their range,
// floating-point samples are clipped to -1..1.
void ApplySampleVolume(uint8_t* data, int size, AVSampleFormat packedFormat, int volume);

// Multiplies every sample by `gain` in the samples' own packed format:
// integers are rounded to nearest and clipped to their range; floating-point
// samples keep what goes beyond -1..1 for the encoder's format to settle.
void ApplySampleGain(uint8_t* data, int size, AVSampleFormat packedFormat, double gain);
