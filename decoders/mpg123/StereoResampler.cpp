#include "StereoResampler.h"

#include <soxr.h>

#include <string.h>

#include <algorithm>

namespace quorvan {

namespace {
// Output frames asked of libsoxr per call.
const size_t kResampleStep = 4096;
}  // namespace

StereoResampler::~StereoResampler()
{
    if (m_soxr)
        soxr_delete(m_soxr);
}

void StereoResampler::Reset()
{
    if (m_soxr)
        soxr_delete(m_soxr);
    m_soxr = nullptr;
    m_inputRate = 0;
    m_inputChannels = 0;
    m_queue.clear();
    m_head = 0;
}

void StereoResampler::Compact()
{
    if (m_head == m_queue.size()) {
        m_queue.clear();
        m_head = 0;
    } else if (m_head > 65536 && m_head * 2 > m_queue.size()) {
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<ptrdiff_t>(m_head));
        m_head = 0;
    }
}

size_t StereoResampler::Take(int16_t* out, size_t maxFrames)
{
    size_t frames = std::min(maxFrames, Available());
    if (frames) {
        memcpy(out, m_queue.data() + m_head, frames * 2 * sizeof(int16_t));
        m_head += frames * 2;
    }
    Compact();
    return frames;
}

bool StereoResampler::Push(const PcmChunk& chunk)
{
    if (chunk.format.rate <= 0 || chunk.format.channels < 1 || chunk.format.channels > 2)
        return false;
    // A mono stream is resampled as one channel, which gives the same samples
    // as resampling both copies at half the cost; the first stereo frame at
    // that rate switches to two channels, as a change of rate does.
    int channels = chunk.format.channels;
    if (chunk.format.rate == m_inputRate && channels < m_inputChannels)
        channels = m_inputChannels;
    if (chunk.format.rate != m_inputRate || channels != m_inputChannels) {
        if (!Drain())
            return false;
        m_inputRate = chunk.format.rate;
        m_inputChannels = channels;
    }
    if (chunk.frames == 0 || !chunk.samples)
        return true;

    const int16_t* samples = chunk.samples;
    if (chunk.format.channels == 1 && (m_inputChannels == 2 || m_inputRate == kOutputRate)) {
        m_stereo.resize(chunk.frames * 2);
        for (size_t i = 0; i < chunk.frames; ++i)
            m_stereo[2 * i] = m_stereo[2 * i + 1] = chunk.samples[i];
        samples = m_stereo.data();
    }
    if (m_inputRate == kOutputRate) {
        m_queue.insert(m_queue.end(), samples, samples + chunk.frames * 2);
        return true;
    }
    return Resample(samples, chunk.frames);
}

bool StereoResampler::Resample(const int16_t* samples, size_t frames)
{
    const size_t channels = static_cast<size_t>(m_inputChannels);
    if (!m_soxr) {
        soxr_error_t error = nullptr;
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;  // plain rounding: the same input always gives the same output
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        m_soxr = soxr_create(static_cast<double>(m_inputRate), static_cast<double>(kOutputRate),
                             static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
        if (!m_soxr || error) {
            if (m_soxr)
                soxr_delete(m_soxr);
            m_soxr = nullptr;
            return false;
        }
    }
    // samples == nullptr flushes what libsoxr still holds. Stereo output goes
    // straight into the queue; mono output is copied there to both channels.
    size_t consumedTotal = 0;
    for (;;) {
        size_t offset = m_queue.size();
        m_queue.resize(offset + kResampleStep * 2);
        int16_t* out = m_queue.data() + offset;
        if (channels == 1) {
            m_mono.resize(kResampleStep);
            out = m_mono.data();
        }
        size_t consumed = 0, produced = 0;
        const int16_t* in = samples ? samples + consumedTotal * channels : nullptr;
        size_t inFrames = samples ? frames - consumedTotal : 0;
        soxr_error_t error = soxr_process(m_soxr, in, inFrames, &consumed, out, kResampleStep, &produced);
        if (channels == 1)
            for (size_t i = 0; i < produced; ++i)
                m_queue[offset + 2 * i] = m_queue[offset + 2 * i + 1] = m_mono[i];
        m_queue.resize(offset + produced * 2);
        if (error)
            return false;
        consumedTotal += consumed;
        if (samples ? (consumedTotal >= frames && produced < kResampleStep) : produced == 0)
            return true;
        if (consumed == 0 && produced == 0)
            return false;  // no progress: give up rather than spin
    }
}

bool StereoResampler::Drain()
{
    if (!m_soxr)
        return true;
    bool ok = Resample(nullptr, 0);
    soxr_delete(m_soxr);
    m_soxr = nullptr;
    return ok;
}

bool StereoResampler::Finish()
{
    return Drain();
}

}  // namespace quorvan
