// Decoded audio as the engine passes it on: 16-bit samples, interleaved.
#ifndef QUORVAN_DECODERS_PCM_H
#define QUORVAN_DECODERS_PCM_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace quorvan {

// The most samples one MPEG frame decodes to: 1152 sample frames of two
// channels.
constexpr size_t kMaxFrameSamples = 1152 * 2;

struct PcmFormat {
    long rate = 0;
    int channels = 0;
    bool operator==(const PcmFormat& o) const { return rate == o.rate && channels == o.channels; }
    bool operator!=(const PcmFormat& o) const { return !(*this == o); }
};

// A run of decoded samples: `frames` x `format.channels` interleaved values.
struct PcmChunk {
    PcmFormat format;
    const int16_t* samples = nullptr;
    size_t frames = 0;
};

// Samples the engine keeps, in one format.
struct SampleBlock {
    PcmFormat format;
    std::vector<int16_t> samples;
    size_t Frames() const { return format.channels ? samples.size() / static_cast<size_t>(format.channels) : 0; }
    void Append(const int16_t* from, size_t frames)
    {
        samples.insert(samples.end(), from, from + frames * static_cast<size_t>(format.channels));
    }
};

}  // namespace quorvan

#endif
