#include "DecoderThreads.h"

#include <sched.h>
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "Pcm.h"

namespace quorvan {

namespace {

int AvailableCores()
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
#endif
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

long EnvNumber(const char* name, long fallback, long low, long high)
{
#ifdef _WIN32
    // The process's environment, which a host changes with
    // SetEnvironmentVariableA; the C runtime's copy (getenv) would not see
    // that.
    char value[32];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return fallback;
#else
    const char* value = getenv(name);
    if (!value)
        return fallback;
#endif
    char* end = nullptr;
    long n = strtol(value, &end, 10);
    return end != value && *end == '\0' && n >= low && n <= high ? n : fallback;
}

int DecoderThreads()
{
    long cores = std::min(AvailableCores(), kMaxDecoderThreads);
    return static_cast<int>(EnvNumber(kDecoderThreadsVariable, cores, 1, kMaxDecoderThreads));
}

SegmentSettings SegmentSettings::ForThreads(int threads)
{
    SegmentSettings s;
    // One more than the workers and one for the decoder, so that a worker
    // finds one to decode while the decoder takes the frames of another and
    // the other workers are ahead of it; more than six at a time would not
    // fit the memory a conversion may take.
    s.inFlight = static_cast<size_t>(std::min(threads + 2, 6));
    // Each segment holds its decoded samples until the decoder has taken
    // them: the segments in flight share a budget. Longer segments spend
    // fewer frames on warm-ups and checks (about 7 a segment) and keep the
    // workers from waiting on one another. More workers hold more of their
    // own (stacks, handles, the allocator's arenas), so they get less.
    const size_t kStereoFrameBytes = kMaxFrameSamples * sizeof(int16_t);
    const size_t samplesBudget = s.inFlight <= 4 ? 5u << 20 : 4u << 20;
    size_t frames = std::max<size_t>(128, samplesBudget / (s.inFlight * kStereoFrameBytes));
    s.ownFrames = static_cast<size_t>(EnvNumber("QUORVAN_DECODER_SEGMENT_FRAMES", static_cast<long>(frames), 0, 100000));
    if (s.ownFrames > 0 && s.ownFrames < 2 * s.checkFrames)
        s.ownFrames = 2 * s.checkFrames;
    // Their input: up to 1 KiB a frame (320 kbit/s at 44.1 kHz).
    s.maxOwnBytes = std::max<size_t>(s.ownFrames, 128) * 1024;
    s.warmUpFrames = static_cast<int>(EnvNumber("QUORVAN_DECODER_SEGMENT_WARMUP", -1, 0, kMaxWarmUpFrames));
    s.resampled = threads >= kHelperThreadsFrom;
    return s;
}

}  // namespace quorvan
