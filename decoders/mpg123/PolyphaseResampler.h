// Resamples 48000 Hz stereo to 44100 Hz with a filter of our own: a
// Kaiser-windowed sinc of 72 taps at each of 147 phases, its passband flat to
// 0.03 dB up to 20 kHz, its stopband more than 105 dB down from 24.24 kHz
// (everything a 48 kHz stream holds up to 99 % of its band either stays
// above 20 kHz or is filtered out). One pass computes both channels of a
// frame (see PolyphaseKernels); the weights are worked out once per process
// in double precision with plain arithmetic only, so every build and
// processor has the same ones.
//
// Output frame j is centred on input frame j * 160 / 147, input before the
// first frame counting as silence, as libsoxr does; Finish yields frames up to
// the count libsoxr gives for the same input. The output depends only on the
// input, not on how it is cut into pushes.
#ifndef QUORVAN_DECODERS_POLYPHASERESAMPLER_H
#define QUORVAN_DECODERS_POLYPHASERESAMPLER_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "PolyphaseKernels.h"

namespace quorvan {

class PolyphaseResampler {
public:
    static constexpr long kInputRate = 48000;
    static constexpr long kOutputRate = 44100;
    // Output frames made in one go where that many are ready: kRuns frames of
    // each phase in turn, so that each phase's weights are read into the
    // cache once for kRuns frames rather than for each. Taking whole blocks
    // is cheapest.
    static constexpr size_t kRuns = 12;
    static constexpr size_t kBlockFrames = polyphase::kUp * kRuns;

    explicit PolyphaseResampler(polyphase::Kernel kernel = polyphase::Best());

    // Adds `frames` frames of `channels` (1 or 2) interleaved samples; a mono
    // sample goes to both channels.
    void Push(const int16_t* samples, size_t frames, int channels);
    // Ends the input: the last frames become ready, as many as libsoxr gives
    // for the input pushed since the start or the last Reset.
    void Finish();
    // Output frames ready to be taken.
    size_t Ready() const;
    // Writes `frames` (at most Ready()) stereo frames, rounded to 16 bits
    // (to nearest, ties to even, clipped), to `to`.
    void Take(int16_t* to, size_t frames);
    // Back to the start, nothing pushed.
    void Reset();
    // Whether anything was pushed since the start or the last Reset.
    bool Started() const { return m_pushed > 0; }

    // The output frames libsoxr yields for `frames` input frames: its rule,
    // in its own floating-point steps.
    static uint64_t OutputFrames(uint64_t frames);

private:
    polyphase::KernelFunctions m_kernel;
    const float* m_coeffs;
    // Input as floats, L R L R: m_history[2 * i] is input frame m_historyStart + i
    // (negative frames are the silence before the start).
    std::vector<float> m_history;
    size_t m_historyFrames = 0;
    int64_t m_historyStart = 0;
    uint64_t m_pushed = 0;   // input frames pushed
    uint64_t m_limit = 0;    // output frames that can be made (set by Push and Finish)
    uint64_t m_next = 0;     // the next output frame
    std::vector<float> m_out;
};

}  // namespace quorvan

#endif
