// The inner loop of PolyphaseResampler: output frames of interleaved stereo
// floats, each the sum of kTaps input frames weighted by one phase of the
// filter. Three versions: plain C++, SSE2 and AVX2. All three add the
// products in one fixed order (the AVX2 one's: two accumulators of eight
// floats, four taps of both channels, one for the even and one for the odd
// runs of four taps; then the two added, their halves, and the pairs) and
// multiply and add apart (no fused multiply-add), so they give the same bits
// on every processor; which runs is chosen once, at run time.
#ifndef QUORVAN_DECODERS_POLYPHASEKERNELS_H
#define QUORVAN_DECODERS_POLYPHASEKERNELS_H

#include <stddef.h>

namespace quorvan {

namespace polyphase {

// 48000 -> 44100 is 147 up, 160 down: output frame j lies at input frame
// j * 160 / 147, between frames n = floor(j * 160 / 147) and n + 1, at
// phase p = (j * 160) mod 147.
constexpr unsigned kUp = 147;
constexpr unsigned kDown = 160;
// Taps per phase (a multiple of 8): input frames n - kBefore ... n + kTaps - kBefore - 1.
constexpr unsigned kTaps = 72;
constexpr unsigned kBefore = kTaps / 2 - 1;
// One phase's weights, each twice (for the left and the right sample).
constexpr unsigned kPhaseFloats = 2 * kTaps;

enum class Kernel { Plain, Sse2, Avx2 };

// Computes `count` output frames into out (L R L R ...). The first uses the
// weights coeffs + phase * kPhaseFloats on the frames from `frames` on; each
// next one moves on by kDown / kUp frames, as above.
using KernelFunction = void (*)(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out);
// The same for every kUp-th output frame from the first: they all have its
// phase, each kDown input frames after the one before, and go to every kUp-th
// frame of out. Each frame comes out as the kernel above makes it; only the
// weights are read once for several frames, and stay in the cache.
using PhaseFunction = void (*)(const float* coeffs, const float* frames, unsigned phase, size_t count, float* out);

struct KernelFunctions {
    KernelFunction run;
    PhaseFunction runPhase;
};

// Whether this build and this processor can run `kernel`.
bool Runs(Kernel kernel);
// The kernel's functions (Runs(kernel) must hold).
KernelFunctions Functions(Kernel kernel);
// The fastest kernel that runs here.
Kernel Best();

}  // namespace polyphase

}  // namespace quorvan

#endif
