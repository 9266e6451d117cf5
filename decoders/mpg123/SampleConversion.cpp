#include "SampleConversion.h"

#include <math.h>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvan {

namespace {

inline int16_t ToInt16(float v)
{
    return static_cast<int16_t>(lrintf(std::min(std::max(v, -32768.0f), 32767.0f)));
}

}  // namespace

void SplitToFloat(const int16_t* __restrict from, size_t stride, float* __restrict to, size_t frames)
{
    size_t i = 0;
#if defined(__SSE2__)
    if (stride == 2) {
        // Four frames: the channel is the low half of each 32-bit lane.
        for (; i + 4 <= frames; i += 4) {
            __m128i v;
            if (i + 4 < frames) {
                v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * i));
            } else {
                // The last frame's other channel may lie past the chunk.
                v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + 2 * i));
                v = _mm_insert_epi16(v, from[2 * i + 4], 4);
                v = _mm_insert_epi16(v, from[2 * i + 6], 6);
            }
            _mm_storeu_ps(to + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16)));
        }
    } else {
        for (; i + 8 <= frames; i += 8) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            _mm_storeu_ps(to + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
            _mm_storeu_ps(to + i + 4, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)));
        }
    }
#endif
    for (; i < frames; ++i)
        to[i] = from[stride * i];
}

void InterleaveToInt16(const float* __restrict left, const float* __restrict right, int16_t* __restrict to,
                       size_t frames)
{
    size_t i = 0;
#if defined(__SSE2__)
    // Clipped first: what is out of the 32-bit range would come out of the
    // conversion as its one "invalid" value. The conversion rounds as the
    // rounding mode says, to nearest unless changed, as lrintf does.
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 4 <= frames; i += 4) {
        __m128i l = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(left + i), low), high));
        __m128i r = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(right + i), low), high));
        __m128i lr = _mm_unpacklo_epi16(_mm_packs_epi32(l, l), _mm_packs_epi32(r, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * i), lr);
    }
#endif
    for (; i < frames; ++i) {
        to[2 * i] = ToInt16(left[i]);
        to[2 * i + 1] = ToInt16(right[i]);
    }
}

void RoundToInt16(const float* __restrict from, int16_t* __restrict to, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        __m128i a = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(from + i), low), high));
        __m128i b = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(from + i + 4), low), high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < count; ++i)
        to[i] = ToInt16(from[i]);
}

}  // namespace quorvan
