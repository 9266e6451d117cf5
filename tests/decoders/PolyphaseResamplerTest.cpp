// The 48 kHz filter's bytes depend on its input alone: every kernel this
// machine runs gives the same ones, however the input is cut into pushes, and
// this build gives the ones every other build gives (the checksum below). Its
// length follows libsoxr's rule, which the other rates still use.
#include <gtest/gtest.h>

#include <soxr.h>

#include <vector>

#include "PolyphaseResampler.h"

namespace {

using quorvan::PolyphaseResampler;
using quorvan::polyphase::Kernel;

// Stereo frames of noise, with stretches of full-scale square waves whose
// filtered overshoot is clipped, and silence.
std::vector<int16_t> Signal(size_t frames)
{
    std::vector<int16_t> s(2 * frames);
    uint32_t state = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        size_t frame = i / 2;
        if (frame % 20000 < 3000)
            s[i] = (frame / 7 + i) % 2 ? 32767 : -32768;
        else if (frame % 20000 < 3500)
            s[i] = 0;
        else
            s[i] = static_cast<int16_t>(state >> 16);
    }
    return s;
}

// Pushes `in` in pieces of the given lengths (cycled), taking what is ready
// after each push in pieces of `take` frames.
std::vector<int16_t> Resample(Kernel kernel, const std::vector<int16_t>& in, int channels,
                              const std::vector<size_t>& pieces, size_t take)
{
    PolyphaseResampler r(kernel);
    std::vector<int16_t> out;
    auto takeReady = [&] {
        while (size_t n = std::min(r.Ready(), take)) {
            size_t at = out.size();
            out.resize(at + 2 * n);
            r.Take(out.data() + at, n);
        }
    };
    size_t frames = in.size() / static_cast<size_t>(channels);
    for (size_t pos = 0, i = 0; pos < frames; ++i) {
        size_t n = std::min(pieces[i % pieces.size()], frames - pos);
        r.Push(in.data() + pos * static_cast<size_t>(channels), n, channels);
        pos += n;
        takeReady();
    }
    r.Finish();
    takeReady();
    return out;
}

uint64_t Fnv1a(const std::vector<int16_t>& v)
{
    uint64_t h = 14695981039346656037ull;
    for (int16_t s : v)
        for (int b = 0; b < 2; ++b) {
            h ^= static_cast<uint16_t>(s) >> (8 * b) & 0xFF;
            h *= 1099511628211ull;
        }
    return h;
}

TEST(PolyphaseResampler, EveryKernelAndEveryCutGiveTheSameBytes)
{
    std::vector<int16_t> in = Signal(60000);
    std::vector<int16_t> expected = Resample(Kernel::Plain, in, 2, {60000}, 1 << 20);
    ASSERT_EQ(expected.size() / 2, PolyphaseResampler::OutputFrames(60000));
    // The filter reaches full scale and clips there.
    EXPECT_NE(std::count(expected.begin(), expected.end(), 32767), 0);
    EXPECT_NE(std::count(expected.begin(), expected.end(), -32768), 0);
    int ran = 0;
    for (Kernel kernel : {Kernel::Plain, Kernel::Sse2, Kernel::Avx2}) {
        if (!quorvan::polyphase::Runs(kernel))
            continue;
        ++ran;
        SCOPED_TRACE(static_cast<int>(kernel));
        EXPECT_TRUE(Resample(kernel, in, 2, {60000}, 1 << 20) == expected);
        EXPECT_TRUE(Resample(kernel, in, 2, {1152}, 4096) == expected);
        EXPECT_TRUE(Resample(kernel, in, 2, {1, 7, 576, 3, 1152, 2000}, 3) == expected);
    }
    printf("[ kernels ] %d of 3 kernels ran here (best: %d), bit for bit the same\n", ran,
           static_cast<int>(quorvan::polyphase::Best()));
    // What every build gives.
    EXPECT_EQ(Fnv1a(expected), 0x9ec2889f9a2e6f61ull);

    // Mono goes to both channels as that stereo would.
    std::vector<int16_t> mono(in.size() / 2), stereo(in.size());
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = stereo[2 * i] = stereo[2 * i + 1] = in[2 * i];
    EXPECT_TRUE(Resample(quorvan::polyphase::Best(), mono, 1, {1152}, 4096) ==
                Resample(quorvan::polyphase::Best(), stereo, 2, {1152}, 4096));
}

// libsoxr's count for `frames` frames at 48 kHz, with the recipe the other
// rates use.
size_t SoxrFrames(size_t frames)
{
    static std::vector<float> in(300000, 0.25f), out(300000);
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t s = soxr_create(48000, 44100, 1, nullptr, &io, &quality, &runtime);
    size_t total = 0, done = 0, made = 0;
    for (size_t pos = 0; pos < frames; pos += done) {
        soxr_process(s, in.data() + pos, frames - pos, &done, out.data(), out.size(), &made);
        total += made;
    }
    do {
        soxr_process(s, nullptr, 0, &done, out.data(), out.size(), &made);
        total += made;
    } while (made);
    soxr_delete(s);
    return total;
}

TEST(PolyphaseResampler, YieldsAsManyFramesAsLibsoxr)
{
    // Short inputs, and those whose exact length ends in half a frame (a
    // tie that libsoxr's floating-point rule rounds either way).
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 200; ++n)
        lengths.push_back(n);
    for (size_t n = 80; n < 300000; n += 160)
        if (n * 147 % 160 == 80 && lengths.size() < 260)
            lengths.push_back(n);
    for (size_t n = 0; n < 300000; ++n)
        if (n * 147 % 160 == 80 && n > 100000 && lengths.size() < 280)
            lengths.push_back(n);
    std::vector<int16_t> in(2 * 300000, 1000);
    for (size_t n : lengths) {
        PolyphaseResampler r;
        r.Push(in.data(), n, 2);
        r.Finish();
        EXPECT_EQ(r.Ready(), SoxrFrames(n)) << n << " frames";
    }
}

}  // namespace
