// What resampling 48 kHz stereo to 44.1 kHz costs: the polyphase filter with
// each kernel this machine runs, and StereoResampler as the decoder uses it,
// as a ratio to libsoxr used as StereoResampler used it before (one instance
// a channel, its 16-bit recipe, floats in and out, split and rounded by our
// conversions).
//   resampler_bench [SECONDS] [ROUNDS]
// Rounds alternate between the variants so that machine noise spreads
// evenly; the median round of each counts.
#include <soxr.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "PolyphaseResampler.h"
#include "SampleConversion.h"
#include "StereoResampler.h"

namespace {

const size_t kChunk = 1152;  // one Layer III frame

double Seconds(const std::function<void()>& f)
{
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<int16_t> Music(size_t frames)
{
    std::vector<int16_t> s(2 * frames);
    uint32_t state = 1;
    for (size_t i = 0; i < s.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        s[i] = static_cast<int16_t>(static_cast<int32_t>(state >> 16) / 4);
    }
    return s;
}

size_t Soxr(const std::vector<int16_t>& in)
{
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t channel[2];
    for (soxr_t& c : channel)
        c = soxr_create(48000, 44100, 1, nullptr, &io, &quality, &runtime);
    std::vector<float> split(kChunk), out[2];
    std::vector<int16_t> pcm(2 * 4096 * 2);
    size_t total = 0;
    for (size_t pos = 0, frames = in.size() / 2; pos <= frames; pos += kChunk) {
        size_t n = std::min(kChunk, frames - pos), made[2] = {0, 0};
        for (int c = 0; c < 2; ++c) {
            out[c].resize(4096);
            const float* from = nullptr;
            if (n) {
                quorvan::SplitToFloat(in.data() + 2 * pos + c, 2, split.data(), n);
                from = split.data();
            }
            size_t done = 0;
            soxr_process(channel[c], from, n, &done, out[c].data(), out[c].size(), &made[c]);
        }
        size_t m = std::min(made[0], made[1]);
        quorvan::InterleaveToInt16(out[0].data(), out[1].data(), pcm.data(), m);
        total += m;
        if (n == 0)
            break;
    }
    for (soxr_t c : channel)
        soxr_delete(c);
    return total;
}

size_t Polyphase(quorvan::polyphase::Kernel kernel, const std::vector<int16_t>& in)
{
    // Taken in whole blocks, as StereoResampler does.
    const size_t block = quorvan::PolyphaseResampler::kBlockFrames;
    quorvan::PolyphaseResampler r(kernel);
    std::vector<int16_t> out(2 * block);
    size_t total = 0;
    auto take = [&](size_t least) {
        while (r.Ready() >= least && r.Ready() > 0) {
            size_t n = std::min(r.Ready(), block);
            r.Take(out.data(), n);
            total += n;
        }
    };
    for (size_t pos = 0, frames = in.size() / 2; pos < frames; pos += kChunk) {
        r.Push(in.data() + 2 * pos, std::min(kChunk, frames - pos), 2);
        take(block);
    }
    r.Finish();
    take(0);
    return total;
}

size_t Stereo(const std::vector<int16_t>& in)
{
    quorvan::StereoResampler r;
    std::vector<int16_t> out(2 * 2048);
    size_t total = 0;
    for (size_t pos = 0, frames = in.size() / 2; pos < frames; pos += kChunk) {
        quorvan::PcmChunk chunk;
        chunk.format = {48000, 2};
        chunk.samples = in.data() + 2 * pos;
        chunk.frames = std::min(kChunk, frames - pos);
        r.Push(chunk);
        while (size_t n = r.Take(out.data(), 2048))
            total += n;
    }
    r.Finish();
    while (size_t n = r.Take(out.data(), 2048))
        total += n;
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 60;
    int rounds = argc > 2 ? atoi(argv[2]) : 7;
    std::vector<int16_t> in = Music(static_cast<size_t>(seconds * 48000));
    using quorvan::polyphase::Kernel;
    struct Variant {
        std::string name;
        std::function<size_t()> run;
        std::vector<double> times;
    };
    std::vector<Variant> variants;
    variants.push_back({"libsoxr (before)", [&] { return Soxr(in); }, {}});
    const char* names[] = {"polyphase, plain C++", "polyphase, SSE2", "polyphase, AVX2"};
    for (Kernel k : {Kernel::Plain, Kernel::Sse2, Kernel::Avx2})
        if (quorvan::polyphase::Runs(k))
            variants.push_back({names[static_cast<int>(k)], [&in, k] { return Polyphase(k, in); }, {}});
    variants.push_back({"StereoResampler (now)", [&] { return Stereo(in); }, {}});
    for (int round = 0; round < rounds; ++round)
        for (Variant& v : variants) {
            size_t frames = 0;
            v.times.push_back(Seconds([&] { frames = v.run(); }));
            if (frames + 2 < in.size() / 2 * 147 / 160) {
                fprintf(stderr, "%s: %zu frames out\n", v.name.c_str(), frames);
                return 1;
            }
        }
    printf("%.0f s of 48 kHz stereo to 44.1 kHz; median of %d rounds (indicative on a shared machine)\n", seconds,
           rounds);
    printf("  %-24s %9s %12s %10s\n", "resampler", "wall s", "audio s/s", "x libsoxr");
    double base = 0;
    for (Variant& v : variants) {
        std::sort(v.times.begin(), v.times.end());
        double median = v.times[v.times.size() / 2];
        if (base == 0)
            base = median;
        printf("  %-24s %9.3f %12.0f %10.2f\n", v.name.c_str(), median, seconds / median, median / base);
    }
    return 0;
}
