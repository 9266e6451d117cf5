// Built with -ffp-contract=off, as the kernels: the weights must come out the
// same in every build.
#include "PolyphaseResampler.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "SampleConversion.h"

namespace quorvan {

using namespace polyphase;

namespace {

const double kPi = 3.14159265358979323846;
// The filter: the sinc's cutoff and the Kaiser window's beta. Its taps reach
// kTaps / 2 input frames each way.
const long kCutoffHz = 21800;
const double kBeta = 11.25;
const int kHalf = static_cast<int>(kTaps / 2);


// sin(pi * num / den) for den > 0, by its Taylor series after an exact
// reduction to |num / den| <= 1/2: plain IEEE arithmetic, the same result in
// every build (a C library's sin need not be).
double SinPi(int64_t num, int64_t den)
{
    num %= 2 * den;
    if (num > den)
        num -= 2 * den;
    else if (num <= -den)
        num += 2 * den;
    if (2 * num > den)
        num = den - num;
    else if (2 * num < -den)
        num = -den - num;
    double y = kPi * static_cast<double>(num) / static_cast<double>(den);
    double y2 = y * y, term = y, sum = y;
    for (int k = 1; k <= 14; ++k) {
        term = -term * y2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum = sum + term;
    }
    return sum;
}

// The modified Bessel function I0, by its series (terms past the 40th are
// far below a double's precision for the arguments here).
double BesselI0(double x)
{
    double half = x / 2, term = 1, sum = 1;
    for (int k = 1; k <= 40; ++k) {
        term = term * half / static_cast<double>(k);
        sum = sum + term * term;
    }
    return sum;
}

// The prototype filter at u = m / kUp input frames from the output's
// position (m >= 0; it is even): the sinc of the cutoff, under the Kaiser
// window of kHalf frames, whose scale is i0Beta = I0(beta).
double Prototype(int m, double i0Beta)
{
    // x = 2 * cutoff * u / 48000 = (2 * cutoff * m) / (48000 * kUp)
    int64_t num = 2 * kCutoffHz * static_cast<int64_t>(m);
    int64_t den = PolyphaseResampler::kInputRate * static_cast<int64_t>(kUp);
    double sinc = m == 0 ? 1.0 : SinPi(num, den) / (kPi * static_cast<double>(num) / static_cast<double>(den));
    double q = static_cast<double>(m) / static_cast<double>(kHalf * static_cast<int>(kUp));
    double inside = 1 - q * q;
    double window = inside <= 0 ? 0.0 : BesselI0(kBeta * sqrt(inside)) / i0Beta;
    return sinc * window;
}

// kUp phases of kTaps weights, each twice; every phase sums to 1, so that a
// constant comes out unchanged whatever the phase.
struct Coefficients {
    alignas(32) float values[kUp * kPhaseFloats];

    Coefficients()
    {
        // The prototype at every |m| the phases use, each worked out once
        // (this runs at each load of the module).
        const int reach = kHalf * static_cast<int>(kUp);
        std::vector<double> prototype(static_cast<size_t>(reach) + 1);
        double i0Beta = BesselI0(kBeta);
        for (int m = 0; m <= reach; ++m)
            prototype[static_cast<size_t>(m)] = Prototype(m, i0Beta);
        for (unsigned p = 0; p < kUp; ++p) {
            double taps[kTaps], sum = 0;
            for (unsigned k = 0; k < kTaps; ++k) {
                // Tap k weighs input frame n - kBefore + k; the output lies at n + p / kUp.
                int m = static_cast<int>(p) + static_cast<int>(kUp) * (static_cast<int>(kBefore) - static_cast<int>(k));
                taps[k] = prototype[static_cast<size_t>(m < 0 ? -m : m)];
                sum = sum + taps[k];
            }
            float* to = values + p * kPhaseFloats;
            for (unsigned k = 0; k < kTaps; ++k)
                to[2 * k] = to[2 * k + 1] = static_cast<float>(taps[k] / sum);
        }
    }
};

const float* TheCoefficients()
{
    static const Coefficients coefficients;
    return coefficients.values;
}

}  // namespace

PolyphaseResampler::PolyphaseResampler(Kernel kernel)
    : m_kernel(Functions(kernel)), m_coeffs(TheCoefficients())
{
    Reset();
}

uint64_t PolyphaseResampler::OutputFrames(uint64_t frames)
{
    double factor = static_cast<double>(kInputRate) / static_cast<double>(kOutputRate);
    return static_cast<uint64_t>(static_cast<double>(frames) / factor + .5);
}

void PolyphaseResampler::Reset()
{
    // The silence before the first frame, as far as the first output's taps reach.
    m_history.assign(std::max<size_t>(m_history.size(), 2 * kBefore), 0.0f);
    m_historyFrames = kBefore;
    m_historyStart = -static_cast<int64_t>(kBefore);
    m_pushed = m_limit = m_next = 0;
}

void PolyphaseResampler::Push(const int16_t* samples, size_t frames, int channels)
{
    if (frames == 0)
        return;
    // Frames before the first tap of the next output are no longer needed.
    int64_t first = static_cast<int64_t>(m_next * kDown / kUp) - static_cast<int64_t>(kBefore);
    size_t drop = static_cast<size_t>(first - m_historyStart);
    if (drop > 4096 && drop * 2 > m_historyFrames) {
        memmove(m_history.data(), m_history.data() + 2 * drop, 2 * (m_historyFrames - drop) * sizeof(float));
        m_historyFrames -= drop;
        m_historyStart += static_cast<int64_t>(drop);
    }
    size_t need = 2 * (m_historyFrames + frames);
    if (m_history.size() < need)
        m_history.resize(std::max(need, 2 * m_history.size()));
    float* to = m_history.data() + 2 * m_historyFrames;
    if (channels == 1) {
        for (size_t i = 0; i < frames; ++i)
            to[2 * i] = to[2 * i + 1] = samples[i];
    } else {
        SplitToFloat(samples, 1, to, 2 * frames);
    }
    m_historyFrames += frames;
    m_pushed += frames;
    // Output j is ready once input frame floor(j * kDown / kUp) + kTaps - kBefore - 1 is.
    const uint64_t after = kTaps - kBefore;
    m_limit = m_pushed > after ? (kUp * (m_pushed - after) + kDown - 1) / kDown : 0;
}

void PolyphaseResampler::Finish()
{
    uint64_t total = OutputFrames(m_pushed);
    if (total <= m_limit)
        return;
    // Silence after the last frame, as far as the last output's taps reach.
    int64_t end = static_cast<int64_t>((total - 1) * kDown / kUp) + (kTaps - kBefore);
    size_t frames = static_cast<size_t>(end - m_historyStart);
    if (frames > m_historyFrames) {
        if (m_history.size() < 2 * frames)
            m_history.resize(2 * frames);
        std::fill(m_history.begin() + 2 * m_historyFrames, m_history.begin() + 2 * frames, 0.0f);
        m_historyFrames = frames;
    }
    m_limit = total;
}

size_t PolyphaseResampler::Ready() const
{
    return static_cast<size_t>(m_limit - m_next);
}

void PolyphaseResampler::Take(int16_t* to, size_t frames)
{
    frames = std::min(frames, Ready());
    if (m_out.size() < 2 * std::min(frames, kBlockFrames))
        m_out.resize(2 * kBlockFrames);
    while (frames > 0) {
        size_t n = std::min(frames, kBlockFrames);
        uint64_t position = m_next * kDown;
        if (n == kBlockFrames) {
            for (unsigned r = 0; r < kUp; ++r, position += kDown) {
                int64_t first = static_cast<int64_t>(position / kUp) - static_cast<int64_t>(kBefore);
                m_kernel.runPhase(m_coeffs, m_history.data() + 2 * static_cast<size_t>(first - m_historyStart),
                                  static_cast<unsigned>(position % kUp), kRuns, m_out.data() + 2 * r);
            }
        } else {
            int64_t first = static_cast<int64_t>(position / kUp) - static_cast<int64_t>(kBefore);
            m_kernel.run(m_coeffs, m_history.data() + 2 * static_cast<size_t>(first - m_historyStart),
                         static_cast<unsigned>(position % kUp), n, m_out.data());
        }
        RoundToInt16(m_out.data(), to, 2 * n);
        to += 2 * n;
        m_next += n;
        frames -= n;
    }
}

}  // namespace quorvan
