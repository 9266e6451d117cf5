// Built with -ffp-contract=off: a multiply and an add must stay two
// roundings in every version, or the output would depend on the processor.
#include "PolyphaseKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <immintrin.h>
#define QUORVAN_POLYPHASE_AVX2 1
#endif

namespace quorvan {

namespace polyphase {

namespace {

static_assert(kTaps % 8 == 0, "the kernels work in runs of eight taps");

// The position of the next output frame: the phase moves on by kDown mod kUp,
// the frames by kDown / kUp and one more when the phase wraps.
inline void Step(unsigned& phase, const float*& frames)
{
    phase += kDown - kUp;
    frames += 2;
    if (phase >= kUp) {
        phase -= kUp;
        frames += 2;
    }
}

// One output frame: the canonical order of the sums, which the vector
// kernels keep.
inline void PlainOne(const float* c, const float* x, float* out)
{
    // acc[r][lane]: r = 0 the even runs of four taps, 1 the odd ones; a
    // lane is one of the run's eight floats.
    float acc[2][8] = {};
    for (unsigned b = 0; b < kPhaseFloats / 8; ++b)
        for (unsigned lane = 0; lane < 8; ++lane) {
            float product = x[8 * b + lane] * c[8 * b + lane];
            acc[b % 2][lane] = acc[b % 2][lane] + product;
        }
    float s[8], t[4];
    for (unsigned lane = 0; lane < 8; ++lane)
        s[lane] = acc[0][lane] + acc[1][lane];
    for (unsigned lane = 0; lane < 4; ++lane)
        t[lane] = s[lane] + s[lane + 4];
    out[0] = t[0] + t[2];
    out[1] = t[1] + t[3];
}

void Plain(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out)
{
    for (size_t j = 0; j < count; ++j, Step(phase, frames))
        PlainOne(coeffs + phase * kPhaseFloats, frames, out + 2 * j);
}

void PlainPhase(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out)
{
    for (size_t j = 0; j < count; ++j)
        PlainOne(coeffs + phase * kPhaseFloats, frames + 2 * kDown * j, out + 2 * kUp * j);
}

#if defined(__SSE2__)
// Four accumulators of four floats stand for the two of eight: a0 a1 the
// even runs' halves, b0 b1 the odd ones'.
inline void Sse2Store(__m128 a0, __m128 a1, __m128 b0, __m128 b1, float* out)
{
    __m128 t = _mm_add_ps(_mm_add_ps(a0, b0), _mm_add_ps(a1, b1));
    // t = L R L R: the two pairs added.
    __m128 lr = _mm_add_ps(t, _mm_movehl_ps(t, t));
    _mm_storel_pi(reinterpret_cast<__m64*>(out), lr);
}

inline void Sse2One(const float* c, const float* x, float* out)
{
    __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), b0 = _mm_setzero_ps(), b1 = _mm_setzero_ps();
    for (unsigned i = 0; i < kPhaseFloats; i += 16) {
        a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_loadu_ps(x + i), _mm_load_ps(c + i)));
        a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_loadu_ps(x + i + 4), _mm_load_ps(c + i + 4)));
        b0 = _mm_add_ps(b0, _mm_mul_ps(_mm_loadu_ps(x + i + 8), _mm_load_ps(c + i + 8)));
        b1 = _mm_add_ps(b1, _mm_mul_ps(_mm_loadu_ps(x + i + 12), _mm_load_ps(c + i + 12)));
    }
    Sse2Store(a0, a1, b0, b1, out);
}

void Sse2(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out)
{
    for (size_t j = 0; j < count; ++j, Step(phase, frames))
        Sse2One(coeffs + phase * kPhaseFloats, frames, out + 2 * j);
}

void Sse2Phase(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out)
{
    const float* c = coeffs + phase * kPhaseFloats;
    size_t j = 0;
#if defined(__x86_64__)
    // Two frames: eight accumulators and four runs of weights fit the sixteen registers.
    for (; j + 2 <= count; j += 2) {
        const float* x = frames + 2 * kDown * j;
        const float* y = x + 2 * kDown;
        __m128 xa0 = _mm_setzero_ps(), xa1 = _mm_setzero_ps(), xb0 = _mm_setzero_ps(), xb1 = _mm_setzero_ps();
        __m128 ya0 = _mm_setzero_ps(), ya1 = _mm_setzero_ps(), yb0 = _mm_setzero_ps(), yb1 = _mm_setzero_ps();
        for (unsigned i = 0; i < kPhaseFloats; i += 16) {
            __m128 c0 = _mm_load_ps(c + i), c1 = _mm_load_ps(c + i + 4);
            __m128 c2 = _mm_load_ps(c + i + 8), c3 = _mm_load_ps(c + i + 12);
            xa0 = _mm_add_ps(xa0, _mm_mul_ps(_mm_loadu_ps(x + i), c0));
            ya0 = _mm_add_ps(ya0, _mm_mul_ps(_mm_loadu_ps(y + i), c0));
            xa1 = _mm_add_ps(xa1, _mm_mul_ps(_mm_loadu_ps(x + i + 4), c1));
            ya1 = _mm_add_ps(ya1, _mm_mul_ps(_mm_loadu_ps(y + i + 4), c1));
            xb0 = _mm_add_ps(xb0, _mm_mul_ps(_mm_loadu_ps(x + i + 8), c2));
            yb0 = _mm_add_ps(yb0, _mm_mul_ps(_mm_loadu_ps(y + i + 8), c2));
            xb1 = _mm_add_ps(xb1, _mm_mul_ps(_mm_loadu_ps(x + i + 12), c3));
            yb1 = _mm_add_ps(yb1, _mm_mul_ps(_mm_loadu_ps(y + i + 12), c3));
        }
        Sse2Store(xa0, xa1, xb0, xb1, out + 2 * kUp * j);
        Sse2Store(ya0, ya1, yb0, yb1, out + 2 * kUp * (j + 1));
    }
#endif
    for (; j < count; ++j)
        Sse2One(c, frames + 2 * kDown * j, out + 2 * kUp * j);
}
#endif

#if defined(QUORVAN_POLYPHASE_AVX2)
__attribute__((target("avx2"))) inline void Avx2One(const float* c, const float* x, float* out)
{
    __m256 a = _mm256_setzero_ps(), b = _mm256_setzero_ps();
    for (unsigned i = 0; i < kPhaseFloats; i += 16) {
        a = _mm256_add_ps(a, _mm256_mul_ps(_mm256_loadu_ps(x + i), _mm256_load_ps(c + i)));
        b = _mm256_add_ps(b, _mm256_mul_ps(_mm256_loadu_ps(x + i + 8), _mm256_load_ps(c + i + 8)));
    }
    __m256 s = _mm256_add_ps(a, b);
    __m128 t = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
    _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_add_ps(t, _mm_movehl_ps(t, t)));
}

// Two output frames at a time, for four chains of additions in flight.
__attribute__((target("avx2"))) void Avx2(const float* coeffs, const float* frames, unsigned phase, size_t count,
                                          float* out)
{
    size_t j = 0;
    for (; j + 2 <= count; j += 2) {
        const float* c0 = coeffs + phase * kPhaseFloats;
        const float* x0 = frames;
        Step(phase, frames);
        const float* c1 = coeffs + phase * kPhaseFloats;
        const float* x1 = frames;
        Step(phase, frames);
        __m256 a0 = _mm256_setzero_ps(), b0 = _mm256_setzero_ps();
        __m256 a1 = _mm256_setzero_ps(), b1 = _mm256_setzero_ps();
        for (unsigned i = 0; i < kPhaseFloats; i += 16) {
            a0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i), _mm256_load_ps(c0 + i)));
            a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i), _mm256_load_ps(c1 + i)));
            b0 = _mm256_add_ps(b0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i + 8), _mm256_load_ps(c0 + i + 8)));
            b1 = _mm256_add_ps(b1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i + 8), _mm256_load_ps(c1 + i + 8)));
        }
        __m256 s0 = _mm256_add_ps(a0, b0), s1 = _mm256_add_ps(a1, b1);
        __m128 t0 = _mm_add_ps(_mm256_castps256_ps128(s0), _mm256_extractf128_ps(s0, 1));
        __m128 t1 = _mm_add_ps(_mm256_castps256_ps128(s1), _mm256_extractf128_ps(s1, 1));
        // L R of frame 0 in the low pair, of frame 1 in the high one.
        __m128 lo = _mm_movelh_ps(t0, t1), hi = _mm_movehl_ps(t1, t0);
        _mm_storeu_ps(out + 2 * j, _mm_add_ps(lo, hi));
    }
    for (; j < count; ++j, Step(phase, frames))
        Avx2One(coeffs + phase * kPhaseFloats, frames, out + 2 * j);
}

// The end of one frame's sums: the two accumulators, then the halves, then
// the pairs.
__attribute__((target("avx2"))) inline void Avx2Store(__m256 a, __m256 b, float* out)
{
    __m256 s = _mm256_add_ps(a, b);
    __m128 t = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
    _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_add_ps(t, _mm_movehl_ps(t, t)));
}

// Frames of one phase, several at a time: each run of weights is loaded once
// for all of them, and their chains of additions run side by side.
__attribute__((target("avx2"))) void Avx2Phase(const float* coeffs, const float* frames, unsigned phase,
                                               size_t count, float* out)
{
    const float* c = coeffs + phase * kPhaseFloats;
    size_t j = 0;
#if defined(__x86_64__)
    // Four frames: eight accumulators and two runs of weights fit the sixteen registers.
    for (; j + 4 <= count; j += 4) {
        const float* x0 = frames + 2 * kDown * j;
        const float* x1 = x0 + 2 * kDown;
        const float* x2 = x1 + 2 * kDown;
        const float* x3 = x2 + 2 * kDown;
        __m256 a0 = _mm256_setzero_ps(), b0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), b1 = _mm256_setzero_ps();
        __m256 a2 = _mm256_setzero_ps(), b2 = _mm256_setzero_ps(), a3 = _mm256_setzero_ps(), b3 = _mm256_setzero_ps();
        for (unsigned i = 0; i < kPhaseFloats; i += 16) {
            __m256 ca = _mm256_load_ps(c + i), cb = _mm256_load_ps(c + i + 8);
            a0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i), ca));
            a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i), ca));
            a2 = _mm256_add_ps(a2, _mm256_mul_ps(_mm256_loadu_ps(x2 + i), ca));
            a3 = _mm256_add_ps(a3, _mm256_mul_ps(_mm256_loadu_ps(x3 + i), ca));
            b0 = _mm256_add_ps(b0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i + 8), cb));
            b1 = _mm256_add_ps(b1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i + 8), cb));
            b2 = _mm256_add_ps(b2, _mm256_mul_ps(_mm256_loadu_ps(x2 + i + 8), cb));
            b3 = _mm256_add_ps(b3, _mm256_mul_ps(_mm256_loadu_ps(x3 + i + 8), cb));
        }
        Avx2Store(a0, b0, out + 2 * kUp * j);
        Avx2Store(a1, b1, out + 2 * kUp * (j + 1));
        Avx2Store(a2, b2, out + 2 * kUp * (j + 2));
        Avx2Store(a3, b3, out + 2 * kUp * (j + 3));
    }
#endif
    for (; j + 2 <= count; j += 2) {
        const float* x0 = frames + 2 * kDown * j;
        const float* x1 = x0 + 2 * kDown;
        __m256 a0 = _mm256_setzero_ps(), b0 = _mm256_setzero_ps();
        __m256 a1 = _mm256_setzero_ps(), b1 = _mm256_setzero_ps();
        for (unsigned i = 0; i < kPhaseFloats; i += 16) {
            __m256 ca = _mm256_load_ps(c + i), cb = _mm256_load_ps(c + i + 8);
            a0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i), ca));
            a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i), ca));
            b0 = _mm256_add_ps(b0, _mm256_mul_ps(_mm256_loadu_ps(x0 + i + 8), cb));
            b1 = _mm256_add_ps(b1, _mm256_mul_ps(_mm256_loadu_ps(x1 + i + 8), cb));
        }
        Avx2Store(a0, b0, out + 2 * kUp * j);
        Avx2Store(a1, b1, out + 2 * kUp * (j + 1));
    }
    for (; j < count; ++j)
        Avx2One(c, frames + 2 * kDown * j, out + 2 * kUp * j);
}
#endif

}  // namespace

bool Runs(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Plain:
        return true;
    case Kernel::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    case Kernel::Avx2:
#if defined(QUORVAN_POLYPHASE_AVX2) && defined(__SSE2__)
        // libgcc's check includes the system's saving of the AVX registers.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

KernelFunctions Functions(Kernel kernel)
{
    switch (kernel) {
#if defined(QUORVAN_POLYPHASE_AVX2) && defined(__SSE2__)
    case Kernel::Avx2:
        return {Avx2, Avx2Phase};
#endif
#if defined(__SSE2__)
    case Kernel::Sse2:
        return {Sse2, Sse2Phase};
#endif
    default:
        return {Plain, PlainPhase};
    }
}

Kernel Best()
{
    static const Kernel best = Runs(Kernel::Avx2) ? Kernel::Avx2 : Runs(Kernel::Sse2) ? Kernel::Sse2 : Kernel::Plain;
    return best;
}

}  // namespace polyphase

}  // namespace quorvan
