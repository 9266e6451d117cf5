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
    if (chunk.format.rate != m_inputRate) {
        if (!Drain())
            return false;
        m_inputRate = chunk.format.rate;
    }
    if (chunk.frames == 0 || !chunk.samples)
        return true;

    const int16_t* stereo = chunk.samples;
    if (chunk.format.channels == 1) {
        m_stereo.resize(chunk.frames * 2);
        for (size_t i = 0; i < chunk.frames; ++i)
            m_stereo[2 * i] = m_stereo[2 * i + 1] = chunk.samples[i];
        stereo = m_stereo.data();
    }
    if (m_inputRate == kOutputRate) {
        m_queue.insert(m_queue.end(), stereo, stereo + chunk.frames * 2);
        return true;
    }
    return Resample(stereo, chunk.frames);
}

bool StereoResampler::Resample(const int16_t* stereo, size_t frames)
{
    if (!m_soxr) {
        soxr_error_t error = nullptr;
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;  // plain rounding: the same input always gives the same output
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        m_soxr = soxr_create(static_cast<double>(m_inputRate), static_cast<double>(kOutputRate), 2,
                             &error, &io, &quality, &runtime);
        if (!m_soxr || error) {
            if (m_soxr)
                soxr_delete(m_soxr);
            m_soxr = nullptr;
            return false;
        }
    }
    // stereo == nullptr flushes what libsoxr still holds.
    size_t consumedTotal = 0;
    for (;;) {
        size_t offset = m_queue.size();
        m_queue.resize(offset + kResampleStep * 2);
        size_t consumed = 0, produced = 0;
        const int16_t* in = stereo ? stereo + consumedTotal * 2 : nullptr;
        size_t inFrames = stereo ? frames - consumedTotal : 0;
        soxr_error_t error = soxr_process(m_soxr, in, inFrames, &consumed, m_queue.data() + offset,
                                          kResampleStep, &produced);
        m_queue.resize(offset + produced * 2);
        if (error)
            return false;
        consumedTotal += consumed;
        if (stereo ? (consumedTotal >= frames && produced < kResampleStep) : produced == 0)
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
