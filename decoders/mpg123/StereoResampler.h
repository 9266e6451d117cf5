// Turns decoded PCM of any rate and channel count into 44100 Hz stereo
// signed 16-bit samples and hands them out in blocks. Other rates go through
// libsoxr at high quality; 44100 Hz passes through untouched. Mono is copied to
// both channels, after resampling. A change of rate mid-stream, or from mono
// to stereo at a resampled rate, drains the old resampler first, so nothing is
// lost at the switch.
#ifndef QUORVAN_DECODERS_STEREORESAMPLER_H
#define QUORVAN_DECODERS_STEREORESAMPLER_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "MpegStreamDecoder.h"

struct soxr;

namespace quorvan {

class StereoResampler {
public:
    static constexpr long kOutputRate = 44100;

    StereoResampler() = default;
    ~StereoResampler();
    StereoResampler(const StereoResampler&) = delete;
    StereoResampler& operator=(const StereoResampler&) = delete;

    // Adds decoded samples. Returns false when the resampler cannot be set up
    // or fails (the samples are then dropped).
    bool Push(const PcmChunk& chunk);
    // Drains the resampler: every sample pushed so far becomes available.
    bool Finish();
    // Drops everything queued and the resampler's state.
    void Reset();

    // Stereo frames waiting to be taken.
    size_t Available() const { return (m_queue.size() - m_head) / 2; }
    // Copies up to maxFrames stereo frames into out; returns how many.
    size_t Take(int16_t* out, size_t maxFrames);

private:
    bool Drain();
    bool Resample(const int16_t* samples, size_t frames);
    void Compact();

    soxr* m_soxr = nullptr;
    long m_inputRate = 0;
    int m_inputChannels = 0;        // of the libsoxr instance: 1 while the stream was mono
    std::vector<int16_t> m_stereo;  // the pushed chunk made stereo
    std::vector<int16_t> m_mono;    // libsoxr's output for a mono stream
    std::vector<int16_t> m_queue;   // output, interleaved L R
    size_t m_head = 0;              // first untaken value in m_queue
};

}  // namespace quorvan

#endif
