// The resampler is transparent for 16-bit output, for everything a stream
// can hold: sine tones at -1 dBFS at every MPEG rate other than 44.1 kHz,
// from 20 Hz up to 99 % of the stream's own Nyquist frequency (at 48 kHz
// that is 23.76 kHz, above what the output can hold), come out of
// StereoResampler with no alias, image or other spurious product above
// -98 dBFS below 20 kHz, and tones up to 20 kHz with none anywhere. Their
// level stays within 0.1 dB, checked at 24 tones an octave up to 20 kHz, or
// 90 % of the stream's own Nyquist frequency when that is lower. Each rate's
// worst figures are printed.
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

// The window (7-term Blackman-Harris), and e^(-2 pi i k / kBins), made once.
struct Analysis {
    std::vector<double> window;
    double gain = 0;
    std::vector<std::complex<double>> turn;

    Analysis() : window(kBins), turn(kBins)
    {
        static const double a[] = {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                                   0.01081174209837, 0.00077658482522, 0.00001388721735};
        for (size_t i = 0; i < kBins; ++i) {
            double w = 0;
            for (int k = 0; k < 7; ++k)
                w += (k % 2 ? -a[k] : a[k]) * cos(2 * kPi * k * static_cast<double>(i) / kBins);
            window[i] = w;
            gain += w;
            turn[i] = std::polar(1.0, -2 * kPi * static_cast<double>(i) / kBins);
        }
    }
};

const Analysis& TheAnalysis()
{
    static const Analysis analysis;
    return analysis;
}

// The amplitude of every bin of `samples` (kBins of them, every `stride`th),
// as the peak amplitude of a sine centred on that bin. The window keeps a
// tone's leakage below -180 dB beyond its main lobe (7 bins each way).
std::vector<double> Spectrum(const int16_t* samples, size_t stride)
{
    const Analysis& an = TheAnalysis();
    std::vector<std::complex<double>> x(kBins);
    for (size_t i = 0; i < kBins; ++i)
        x[i] = an.window[i] * samples[i * stride];
    Fft(x);
    std::vector<double> amplitude(kBins / 2);
    for (size_t i = 0; i < kBins / 2; ++i)
        amplitude[i] = 2 * std::abs(x[i]) / an.gain;
    return amplitude;
}

// The amplitude of one bin alone, as Spectrum gives it.
double BinAmplitude(const int16_t* samples, size_t stride, size_t bin)
{
    const Analysis& an = TheAnalysis();
    std::complex<double> sum = 0;
    for (size_t i = 0; i < kBins; ++i)
        sum += an.window[i] * samples[i * stride] * an.turn[(bin * i) % kBins];
    return 2 * std::abs(sum) / an.gain;
}

const size_t kNoBin = static_cast<size_t>(-1);

struct ToneResult {
    double levelDb = 0;          // the tone's level out against in
    double spurDbfs = -300;      // the strongest bin outside the tone's main lobe
    double spurBelowDbfs = -300; // the same, below 20 kHz only
};

// A tone of output bin `bin` (odd, so that the 16-bit rounding of input and
// output does not repeat in step with it) at `rate`, through the resampler.
// A bin past the output's Nyquist frequency is a tone that the output cannot
// hold: it must be filtered out, or it folds back below it. With `spurs`
// the whole spectrum is analysed, else only the tone's level.
ToneResult MeasureTone(long rate, size_t bin, bool spurs)
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

    const int16_t* block = out.data() + 2 * kSettle;
    if (bin < kBins / 2)
        result.levelDb = Dbfs(BinAmplitude(block, 2, bin)) - kToneDbfs;
    if (!spurs)
        return result;
    std::vector<double> spectrum = Spectrum(block, 2);
    double spur = 0, below = 0;
    size_t band = static_cast<size_t>(20000.0 * kBins / kOut);
    for (size_t i = 0; i < spectrum.size(); ++i) {
        if (i + 8 >= bin && i <= bin + 8)
            continue;
        spur = std::max(spur, spectrum[i]);
        if (i < band)
            below = std::max(below, spectrum[i]);
    }
    result.spurDbfs = Dbfs(spur);
    result.spurBelowDbfs = Dbfs(below);
    return result;
}

// The odd output bin nearest to f from below.
size_t OddBinBelow(double f)
{
    size_t bin = static_cast<size_t>(f * kBins / kOut);
    return bin % 2 ? bin : bin - 1;
}

double BinHz(size_t bin)
{
    return static_cast<double>(bin) * kOut / kBins;
}

TEST(ResamplerQuality, TonesComeOutCleanAndFlatAtEveryRate)
{
    const long kRates[] = {48000, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (long rate : kRates) {
        SCOPED_TRACE(rate);
        double nyquist = static_cast<double>(rate) / 2;
        double band = std::min(20000.0, 0.9 * nyquist);
        double top = 0.99 * nyquist;
        // Spurious products: four tones an octave from 20 Hz, and 16 more
        // from the band's end (or 20 kHz) up to the top, where the filter's
        // transition lies and what it lets through would fold back; at 48 kHz
        // also what the output cannot hold. The level: 24 tones an octave up
        // to the band's end, and one at its end.
        std::vector<size_t> spurTones, levelTones;
        for (double f = 20; f < top; f *= pow(2.0, 0.25))
            spurTones.push_back(OddBinBelow(f));
        double from = std::min(20000.0, band);
        for (int i = 1; i <= 16; ++i)
            spurTones.push_back(OddBinBelow(from + (top - from) * i / 16));
        for (double f = 20; f < band; f *= pow(2.0, 1.0 / 24))
            levelTones.push_back(OddBinBelow(f));
        levelTones.push_back(OddBinBelow(band));

        double worstSpur = -300, spurAt = 0, worstBelow = -300, belowAt = 0;
        for (size_t bin : spurTones) {
            ToneResult t = MeasureTone(rate, bin, true);
            double hz = BinHz(bin);
            EXPECT_LT(t.spurBelowDbfs, kMaxSpurDbfs) << hz << " Hz: below 20 kHz";
            if (t.spurBelowDbfs > worstBelow) {
                worstBelow = t.spurBelowDbfs;
                belowAt = hz;
            }
            if (hz <= 20000) {
                EXPECT_LT(t.spurDbfs, kMaxSpurDbfs) << hz << " Hz";
                if (t.spurDbfs > worstSpur) {
                    worstSpur = t.spurDbfs;
                    spurAt = hz;
                }
            }
        }
        double worstLevel = 0, levelAt = 0;
        for (size_t bin : levelTones) {
            ToneResult t = MeasureTone(rate, bin, false);
            EXPECT_LE(fabs(t.levelDb), kMaxPassbandDb) << BinHz(bin) << " Hz";
            if (fabs(t.levelDb) >= fabs(worstLevel)) {
                worstLevel = t.levelDb;
                levelAt = BinHz(bin);
            }
        }
        printf("[ quality ] %5ld Hz: strongest product %.1f dBFS (tone at %.0f Hz), below 20 kHz for tones "
               "up to %.0f Hz %.1f dBFS (tone at %.0f Hz); level within %+.3f dB (at %.0f Hz) up to %.0f Hz "
               "(%zu tones)\n",
               rate, worstSpur, spurAt, BinHz(spurTones.back()), worstBelow, belowAt, worstLevel, levelAt,
               BinHz(levelTones.back()), levelTones.size());
    }
}

}  // namespace
