// The resampler is transparent for 16-bit output: sine tones at -1 dBFS from
// 20 Hz to 20 kHz, at every MPEG rate other than 44.1 kHz, come out of
// StereoResampler with every alias, image or other spurious product below
// -98 dBFS, and at their own level within 0.1 dB across the band (20 kHz, or
// 90 % of the stream's own band when that is narrower). Each rate's worst
// figures are printed.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <complex>
#include <vector>

#include "StereoResampler.h"

namespace {

const double kPi = 3.14159265358979323846;
const long kOut = quorvan::StereoResampler::kOutputRate;
// The output is analysed in one block of kBins samples, after kSettle
// samples in which the filter meets the tone's abrupt start.
const size_t kBins = 32768;
const size_t kSettle = 4096;
const double kToneDbfs = -1.0;
const double kMaxSpurDbfs = -98.0;
const double kMaxPassbandDb = 0.1;

double Dbfs(double amplitude)
{
    return 20.0 * log10(std::max(amplitude, 1e-12) / 32768.0);
}

// In-place radix-2 FFT; x.size() is a power of two.
void Fft(std::vector<std::complex<double>>& x)
{
    size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> step = std::polar(1.0, -2 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                std::complex<double> a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
}

// The amplitude of every bin of `samples` (kBins of them), as the peak
// amplitude of a sine centred on that bin. The 7-term Blackman-Harris window
// keeps a tone's leakage below -180 dB beyond its main lobe (7 bins each way).
std::vector<double> Spectrum(const int16_t* samples, size_t stride)
{
    static const double a[] = {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                               0.01081174209837, 0.00077658482522, 0.00001388721735};
    std::vector<std::complex<double>> x(kBins);
    double gain = 0;
    for (size_t i = 0; i < kBins; ++i) {
        double w = 0;
        for (int k = 0; k < 7; ++k)
            w += (k % 2 ? -a[k] : a[k]) * cos(2 * kPi * k * static_cast<double>(i) / kBins);
        gain += w;
        x[i] = w * samples[i * stride];
    }
    Fft(x);
    std::vector<double> amplitude(kBins / 2);
    for (size_t i = 0; i < kBins / 2; ++i)
        amplitude[i] = 2 * std::abs(x[i]) / gain;
    return amplitude;
}

struct ToneResult {
    double levelDb = 0;    // the tone's level out against in
    double spurDbfs = 0;   // the strongest bin outside the tone's main lobe
};

// A tone of output bin `bin` (odd, so that the 16-bit rounding of input and
// output does not repeat in step with it) at `rate`, through the resampler.
ToneResult MeasureTone(long rate, size_t bin)
{
    double f = static_cast<double>(bin) * kOut / kBins;
    double amplitude = 32768.0 * pow(10.0, kToneDbfs / 20.0);
    size_t inFrames = static_cast<size_t>(static_cast<double>(kSettle + kBins + 1024) * rate / kOut);
    std::vector<int16_t> in(inFrames);
    for (size_t i = 0; i < inFrames; ++i)
        in[i] = static_cast<int16_t>(lrint(amplitude * sin(2 * kPi * f * static_cast<double>(i) / rate)));

    quorvan::StereoResampler r;
    for (size_t pos = 0; pos < inFrames; pos += 1152) {
        quorvan::PcmChunk chunk;
        chunk.format = {rate, 1};
        chunk.samples = in.data() + pos;
        chunk.frames = std::min<size_t>(1152, inFrames - pos);
        EXPECT_TRUE(r.Push(chunk));
    }
    EXPECT_TRUE(r.Finish());
    std::vector<int16_t> out(2 * r.Available());
    out.resize(2 * r.Take(out.data(), out.size() / 2));
    ToneResult result;
    EXPECT_GE(out.size(), 2 * (kSettle + kBins));
    if (out.size() < 2 * (kSettle + kBins))
        return result;

    std::vector<double> spectrum = Spectrum(out.data() + 2 * kSettle, 2);
    result.levelDb = Dbfs(spectrum[bin]) - kToneDbfs;
    double spur = 0;
    for (size_t i = 0; i < spectrum.size(); ++i)
        if (i + 8 < bin || i > bin + 8)
            spur = std::max(spur, spectrum[i]);
    result.spurDbfs = Dbfs(spur);
    return result;
}

TEST(ResamplerQuality, TonesComeOutCleanAndFlatAtEveryRate)
{
    const long kRates[] = {48000, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (long rate : kRates) {
        SCOPED_TRACE(rate);
        double band = std::min(20000.0, 0.9 * static_cast<double>(rate) / 2);
        double top = std::min(20000.0, 0.98 * static_cast<double>(std::min(rate, kOut)) / 2);
        double worstSpur = -300, worstLevel = 0, spurAt = 0;
        // Four tones an octave from 20 Hz up to just below the stream's own
        // top, and one at the top: spurious products are checked for each,
        // the level within the band.
        std::vector<double> tones;
        for (double f = 20; f < top; f *= pow(2.0, 0.25))
            tones.push_back(f);
        tones.push_back(top);
        for (double f : tones) {
            size_t bin = static_cast<size_t>(f * kBins / kOut) | 1;
            double exact = static_cast<double>(bin) * kOut / kBins;
            ToneResult t = MeasureTone(rate, bin);
            EXPECT_LT(t.spurDbfs, kMaxSpurDbfs) << exact << " Hz";
            if (t.spurDbfs > worstSpur) {
                worstSpur = t.spurDbfs;
                spurAt = exact;
            }
            if (exact <= band) {
                EXPECT_LE(fabs(t.levelDb), kMaxPassbandDb) << exact << " Hz";
                if (fabs(t.levelDb) > fabs(worstLevel))
                    worstLevel = t.levelDb;
            }
        }
        printf("[ quality ] %5ld Hz: strongest spurious product %.1f dBFS (tone at %.0f Hz); "
               "level within %+.3f dB up to %.0f Hz\n",
               rate, worstSpur, spurAt, worstLevel, band);
    }
}

}  // namespace
