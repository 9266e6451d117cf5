// The decoder engine's thread settings, in one place: how many threads one
// decoder instance may use, what it does with them, and how it cuts a stream
// into segments for them.
//
// The number is the value of QUORVAN_DECODER_THREADS when it is a whole
// number from 1 to kMaxDecoderThreads, else one per core this process may run
// on (its CPU affinity). With 1 the instance decodes on the caller's thread
// alone. The variable's name is in QuorvanDecoderSettings.h, for the command too.
#ifndef QUORVAN_DECODERS_DECODERTHREADS_H
#define QUORVAN_DECODERS_DECODERTHREADS_H

#include <stddef.h>

#include "QuorvanDecoderSettings.h"

namespace quorvan {

constexpr int kMaxDecoderThreads = 64;

// From this many threads on, the resampler has a side thread for the right
// channel, and streams that are resampled are cut into segments too. Below
// it, a resampled stream keeps one core busy resampling and the other helps
// most by decoding: with two threads the side thread slowed a 48 kHz
// conversion down by a fifth, and segment workers by 8%.
constexpr int kHelperThreadsFrom = 3;

int DecoderThreads();

// The whole number in the environment variable `name` when it lies in
// [low, high], else `fallback`.
long EnvNumber(const char* name, long fallback, long low, long high);

struct SegmentSettings {
    size_t ownFrames = 128;           // frames a segment hands out (0: no segments)
    size_t maxOwnBytes = 128 * 1024;  // and the input they may take at most
    size_t checkFrames = 3;           // frames decoded past a segment's end, checked
    int warmUpFrames = -1;            // frames decoded before it; -1: as the frames need
    size_t inFlight = 3;              // segments at a time
    bool resampled = true;            // streams at rates other than 44100 Hz too

    // Frames of the plain run kept before the next segment, for its warm-up.
    static constexpr size_t kMaxWarmUpFrames = 32;

    // From QUORVAN_DECODER_SEGMENT_FRAMES and QUORVAN_DECODER_SEGMENT_WARMUP
    // (see docs/decoder-engine.md, Threads), for `threads` threads.
    static SegmentSettings ForThreads(int threads);
};

}  // namespace quorvan

#endif
