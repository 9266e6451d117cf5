// Turns decoded PCM of any rate and channel count into 44100 Hz stereo
// signed 16-bit samples and hands them out in blocks. 48000 Hz goes through
// our own polyphase filter (PolyphaseResampler), other rates through libsoxr
// with its 16-bit recipe; 44100 Hz passes through untouched. Mono is
// copied to both channels, after resampling. A change of rate mid-stream, or from mono
// to stereo at a resampled rate, drains the old resampler first, so nothing is
// lost at the switch.
//
// With libsoxr, each channel has an instance of its own (a stereo stream two, a mono
// one one): two mono instances give the same samples as one stereo instance,
// for less work, and can run on two threads. Push resamples both channels on
// the caller's thread; Prepare resamples a run of chunks ahead, the right
// channel on a SideThread meanwhile, and the Pushes of those chunks then take
// what it made. Each channel's instance sees the same calls either way, so the
// output is the same.
#ifndef QUORVAN_DECODERS_STEREORESAMPLER_H
#define QUORVAN_DECODERS_STEREORESAMPLER_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "MpegStreamDecoder.h"
#include "PolyphaseResampler.h"
#include "SideThread.h"

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
    // Resamples ahead the leading chunks of chunks[0, count) that go on with
    // the stereo stream being resampled (its rate, mono or stereo, no switch),
    // the left channel on this thread and the right one on side (or here too,
    // when side takes no task). Those chunks must be pushed next, in order:
    // their Pushes take the samples made here. Returns how many chunks were
    // prepared: 0 while chunks are still prepared, for a mono stream, at
    // 44100 or 48000 Hz (one pass does both channels there), or when the
    // first chunk changes the stream.
    size_t Prepare(const PcmChunk* chunks, size_t count, SideThread& side);
    // Chunks prepared but not yet pushed.
    size_t Prepared() const { return m_prepared; }
    // Drains the resampler: every sample pushed so far becomes available.
    bool Finish();
    // Drops everything queued and the resampler's state.
    void Reset();

    // Stereo frames waiting to be taken.
    size_t Available() const { return (m_queueEnd - m_head) / 2; }
    // Copies up to maxFrames stereo frames into out; returns how many.
    size_t Take(int16_t* out, size_t maxFrames);

private:
    // What one channel's instance made of one chunk (or of the flush).
    struct Result {
        size_t frames = 0;
        bool ok = true;
    };
    // One channel: its own cache line, as the two may be worked on by two threads.
    // libsoxr works in float: the samples go in and come out as floats of
    // 16-bit magnitude, and are rounded to 16 bits when they are interleaved.
    struct alignas(64) Channel {
        soxr* instance = nullptr;
        std::vector<float> in;        // the chunk's samples of this channel
        std::vector<float> out;       // output [outHead, outEnd) not yet in the queue
        size_t outHead = 0;
        size_t outEnd = 0;
        std::vector<Result> results;  // one per chunk, from results[resultHead]
        size_t resultHead = 0;
    };

    bool Open();
    void Close();
    void DropPrepared();
    bool Drain();
    bool Resample(const PcmChunk& chunk);
    // 48000 Hz: through m_polyphase, made at its first use.
    void ResamplePolyphase(const PcmChunk& chunk);
    // Queues what m_polyphase has ready: whole blocks of it, or all.
    void TakePolyphase(bool all);
    void ResampleChunk(size_t channel, const PcmChunk& chunk);
    static Result Run(Channel& channel, const float* samples, size_t frames);
    bool Commit();
    void Compact();
    // Room for `values` more values at the queue's end, which they then end.
    int16_t* Append(size_t values);

    Channel m_channels[2];
    std::unique_ptr<PolyphaseResampler> m_polyphase;
    long m_inputRate = 0;
    int m_inputChannels = 0;        // of the libsoxr instances: 1 while the stream was mono
    size_t m_prepared = 0;          // chunks whose results wait in the channels
    // Output, interleaved L R: [m_head, m_queueEnd) is untaken. The buffers
    // here only grow, so that no call fills memory it is about to overwrite.
    std::vector<int16_t> m_queue;
    size_t m_queueEnd = 0;
    size_t m_head = 0;
};

}  // namespace quorvan

#endif
