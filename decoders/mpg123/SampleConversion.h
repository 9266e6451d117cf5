// Conversions between 16-bit samples and the floats the resampler works in,
// which keep the 16-bit magnitude (a scale of 1). Where SSE2 is there (every
// x86-64 build, and the 32-bit Windows build), four samples are converted at
// a time; the results are the same either way.
#ifndef QUORVAN_DECODERS_SAMPLECONVERSION_H
#define QUORVAN_DECODERS_SAMPLECONVERSION_H

#include <stddef.h>
#include <stdint.h>

namespace quorvan {

// One channel of interleaved samples: to[i] = from[i * stride], where stride
// is 1 (mono) or 2 (one channel of stereo, `from` pointing at its first).
void SplitToFloat(const int16_t* from, size_t stride, float* to, size_t frames);

// Interleaves two channels as L R L R ..., each value rounded to the nearest
// 16-bit value (ties to even, as the C library's lrintf) and clipped.
void InterleaveToInt16(const float* left, const float* right, int16_t* to, size_t frames);

// The same rounding, of `count` values in place order.
void RoundToInt16(const float* from, int16_t* to, size_t count);

}  // namespace quorvan

#endif
