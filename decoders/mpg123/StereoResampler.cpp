#include "StereoResampler.h"

#include <soxr.h>

#include <string.h>

#include <algorithm>

#include "SampleConversion.h"

namespace quorvan {

namespace {

// Output frames asked of libsoxr per call.
const size_t kResampleStep = 4096;

// Makes `v` hold at least `size` values; it only grows, and then at least
// doubles, so that filling it costs nothing in the steady state.
template <typename T>
void Reserve(std::vector<T>& v, size_t size)
{
    if (v.size() < size)
        v.resize(std::max(size, 2 * v.size()));
}

}  // namespace

StereoResampler::~StereoResampler()
{
    Close();
}

void StereoResampler::Close()
{
    for (Channel& c : m_channels) {
        if (c.instance)
            soxr_delete(c.instance);
        c.instance = nullptr;
    }
}

void StereoResampler::DropPrepared()
{
    for (Channel& c : m_channels) {
        c.outHead = c.outEnd = 0;
        c.results.clear();
        c.resultHead = 0;
    }
    m_prepared = 0;
}

void StereoResampler::Reset()
{
    Close();
    if (m_polyphase)
        m_polyphase->Reset();
    DropPrepared();
    m_inputRate = 0;
    m_inputChannels = 0;
    m_queueEnd = m_head = 0;
}

void StereoResampler::Compact()
{
    if (m_head == m_queueEnd) {
        m_queueEnd = m_head = 0;
    } else if (m_head > 65536 && m_head * 2 > m_queueEnd) {
        memmove(m_queue.data(), m_queue.data() + m_head, (m_queueEnd - m_head) * sizeof(int16_t));
        m_queueEnd -= m_head;
        m_head = 0;
    }
}

int16_t* StereoResampler::Append(size_t values)
{
    Reserve(m_queue, m_queueEnd + values);
    int16_t* at = m_queue.data() + m_queueEnd;
    m_queueEnd += values;
    return at;
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
    if (m_prepared > 0) {
        --m_prepared;
        return Commit();
    }
    if (chunk.frames == 0 || !chunk.samples)
        return true;

    if (m_inputRate == kOutputRate) {
        int16_t* __restrict to = Append(chunk.frames * 2);
        const int16_t* __restrict from = chunk.samples;
        if (chunk.format.channels == 1) {
            for (size_t i = 0, n = chunk.frames; i < n; ++i)
                to[2 * i] = to[2 * i + 1] = from[i];
        } else {
            memcpy(to, from, chunk.frames * 2 * sizeof(int16_t));
        }
        return true;
    }
    if (m_inputRate == PolyphaseResampler::kInputRate) {
        ResamplePolyphase(chunk);
        return true;
    }
    return Resample(chunk);
}

void StereoResampler::ResamplePolyphase(const PcmChunk& chunk)
{
    if (!m_polyphase)
        m_polyphase.reset(new PolyphaseResampler());
    m_polyphase->Push(chunk.samples, chunk.frames, chunk.format.channels);
    TakePolyphase(false);
}

void StereoResampler::TakePolyphase(bool all)
{
    size_t frames = m_polyphase->Ready();
    if (!all)
        frames -= frames % PolyphaseResampler::kBlockFrames;
    if (frames)
        m_polyphase->Take(Append(2 * frames), frames);
}

size_t StereoResampler::Prepare(const PcmChunk* chunks, size_t count, SideThread& side)
{
    if (m_prepared > 0 || m_inputChannels != 2 || m_inputRate == kOutputRate ||
        m_inputRate == PolyphaseResampler::kInputRate)
        return 0;
    size_t n = 0;
    while (n < count && chunks[n].format.rate == m_inputRate &&
           (chunks[n].format.channels == 1 || chunks[n].format.channels == 2))
        ++n;
    if (n == 0 || !Open())
        return 0;
    auto resampleRight = [this, chunks, n] {
        for (size_t i = 0; i < n; ++i)
            ResampleChunk(1, chunks[i]);
    };
    bool apart = side.Start(resampleRight);
    try {
        for (size_t i = 0; i < n; ++i)
            ResampleChunk(0, chunks[i]);
    } catch (...) {
        if (apart) {
            try {
                side.Wait();
            } catch (...) {
            }
        }
        DropPrepared();
        throw;
    }
    try {
        if (apart)
            side.Wait();
        else
            resampleRight();
    } catch (...) {
        DropPrepared();
        throw;
    }
    m_prepared = n;
    return n;
}

bool StereoResampler::Open()
{
    for (int c = 0; c < m_inputChannels; ++c) {
        if (m_channels[c].instance)
            continue;
        soxr_error_t error = nullptr;
        // Floats in and out, of 16-bit magnitude (a scale of 1): the channel
        // is split and converted in one pass here, and rounded to 16 bits
        // while it is interleaved, rather than in passes of libsoxr's own.
        // The rounding is plain, without dither: the same input always gives
        // the same output.
        soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        // libsoxr's 16-bit recipe (its stopband 102 dB down, the passband
        // flat to 0.01 dB up to 91 % of the lower Nyquist frequency): for
        // 16-bit output it is as transparent as the 20-bit one, for less
        // work (ResamplerQualityTest; docs/decoder-engine.md, Resampling, gives
        // both recipes' figures).
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
        soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr* instance = soxr_create(static_cast<double>(m_inputRate), static_cast<double>(kOutputRate), 1, &error, &io,
                                     &quality, &runtime);
        if (!instance || error) {
            if (instance)
                soxr_delete(instance);
            Close();
            return false;
        }
        m_channels[c].instance = instance;
    }
    return true;
}

void StereoResampler::ResampleChunk(size_t c, const PcmChunk& chunk)
{
    Channel& channel = m_channels[c];
    if (chunk.frames == 0 || !chunk.samples) {
        channel.results.push_back(Result());
        return;
    }
    // A mono chunk goes to both channels as it is.
    Reserve(channel.in, chunk.frames);
    size_t stride = static_cast<size_t>(chunk.format.channels);
    SplitToFloat(chunk.samples + (stride == 2 ? c : 0), stride, channel.in.data(), chunk.frames);
    channel.results.push_back(Run(channel, channel.in.data(), chunk.frames));
}

StereoResampler::Result StereoResampler::Run(Channel& channel, const float* samples, size_t frames)
{
    // samples == nullptr flushes what libsoxr still holds.
    Result result;
    size_t consumedTotal = 0;
    for (;;) {
        Reserve(channel.out, channel.outEnd + kResampleStep);
        size_t consumed = 0, produced = 0;
        const float* in = samples ? samples + consumedTotal : nullptr;
        size_t inFrames = samples ? frames - consumedTotal : 0;
        soxr_error_t error = soxr_process(channel.instance, in, inFrames, &consumed,
                                          channel.out.data() + channel.outEnd, kResampleStep, &produced);
        channel.outEnd += produced;
        result.frames += produced;
        if (error) {
            result.ok = false;
            return result;
        }
        consumedTotal += consumed;
        if (samples ? (consumedTotal >= frames && produced < kResampleStep) : produced == 0)
            return result;
        if (consumed == 0 && produced == 0) {
            result.ok = false;  // no progress: give up rather than spin
            return result;
        }
    }
}

// Moves the oldest result of each channel into the queue. The two instances
// get inputs of the same lengths, so they give outputs of the same lengths;
// if they ever did not, the frames both have are kept and the push fails.
bool StereoResampler::Commit()
{
    Channel& left = m_channels[0];
    Channel& right = m_channels[m_inputChannels == 2 ? 1 : 0];
    Result l = left.results[left.resultHead];
    Result r = right.results[right.resultHead];
    size_t frames = std::min(l.frames, r.frames);
    InterleaveToInt16(left.out.data() + left.outHead, right.out.data() + right.outHead, Append(frames * 2), frames);
    left.outHead += l.frames;
    left.resultHead++;
    if (&right != &left) {
        right.outHead += r.frames;
        right.resultHead++;
    }
    for (Channel& c : m_channels) {
        if (c.resultHead == c.results.size()) {
            c.results.clear();
            c.resultHead = 0;
        }
        if (c.outHead == c.outEnd)
            c.outHead = c.outEnd = 0;
    }
    return l.ok && r.ok && l.frames == r.frames;
}

bool StereoResampler::Resample(const PcmChunk& chunk)
{
    if (!Open())
        return false;
    for (size_t c = 0; c < static_cast<size_t>(m_inputChannels); ++c)
        ResampleChunk(c, chunk);
    return Commit();
}

bool StereoResampler::Drain()
{
    if (m_polyphase && m_polyphase->Started()) {
        m_polyphase->Finish();
        TakePolyphase(true);
        m_polyphase->Reset();
    }
    if (!m_channels[0].instance)
        return true;
    for (int c = 0; c < m_inputChannels; ++c)
        m_channels[c].results.push_back(Run(m_channels[c], nullptr, 0));
    bool ok = Commit();
    Close();
    return ok;
}

bool StereoResampler::Finish()
{
    return Drain();
}

}  // namespace quorvan
