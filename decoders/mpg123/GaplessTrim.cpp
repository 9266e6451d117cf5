#include "GaplessTrim.h"

#include <algorithm>
#include <utility>

namespace quorvan {

namespace {

// A libmpg123 internal: its synthesis filter bank puts out each sample 529
// samples late (the 528 of its polyphase filter, plus one), so its decode of
// a stream lags the encoder's input by the encoder delay plus these 529. The
// delay an Info frame gives does not include them. The tests hold the
// trimmed decode against the encoder's input, sample for sample.
const size_t kDecoderDelay = 529;

}  // namespace

void GaplessTrim::TakeInfoFrame(const InfoFrame& tag, bool inConfirmedChain)
{
    if (!m_setUp) {
        m_setUp = true;
        StartPart(tag);
    } else if (inConfirmedChain) {
        StartPart(tag);
    }
}

void GaplessTrim::StartPart(const InfoFrame& tag)
{
    m_hold = SampleBlock();
    bool known = tag.delay >= 0 && tag.padding >= 0;
    m_skipStart = known ? static_cast<size_t>(tag.delay) + kDecoderDelay : 0;
    m_endTrim = known && static_cast<size_t>(tag.padding) > kDecoderDelay
                    ? static_cast<size_t>(tag.padding) - kDecoderDelay
                    : 0;
}

void GaplessTrim::Pass(const PcmFormat& format, const int16_t* samples, size_t frames)
{
    SampleBlock b;
    b.format = format;
    b.Append(samples, frames);
    m_ready.push_back(std::move(b));
}

void GaplessTrim::Emit(const PcmFormat& format, const int16_t* samples, size_t frames)
{
    size_t channels = static_cast<size_t>(format.channels);
    size_t skip = std::min(frames, m_skipStart);
    m_skipStart -= skip;
    samples += skip * channels;
    frames -= skip;
    if (frames == 0)
        return;
    bool holding = !m_hold.samples.empty();
    if (m_endTrim == 0 || (holding && m_hold.format != format)) {
        // No padding to trim, or the stream changed format: nothing is held.
        if (holding)
            m_ready.push_back(std::move(m_hold));
        m_hold = SampleBlock();
        m_endTrim = 0;
        Pass(format, samples, frames);
        return;
    }
    // m_hold keeps the last m_endTrim frames seen (or fewer, at the start);
    // what comes before them goes out, each sample copied once.
    m_hold.format = format;
    size_t held = m_hold.Frames();
    if (held + frames <= m_endTrim) {
        m_hold.Append(samples, frames);
        return;
    }
    size_t out = held + frames - m_endTrim;
    size_t fromHold = std::min(out, held), fromNew = out - fromHold;
    auto heldEnd = m_hold.samples.begin() + static_cast<ptrdiff_t>(fromHold * channels);
    SampleBlock b;
    b.format = format;
    b.samples.reserve(out * channels);
    b.samples.assign(m_hold.samples.begin(), heldEnd);
    b.Append(samples, fromNew);
    m_hold.samples.erase(m_hold.samples.begin(), heldEnd);
    m_hold.Append(samples + fromNew * channels, frames - fromNew);
    m_ready.push_back(std::move(b));
}

void GaplessTrim::Flush()
{
    m_hold = SampleBlock();
    m_endTrim = 0;
    m_skipStart = 0;
    m_ready.clear();
}

bool GaplessTrim::TakeReady(SampleBlock* out)
{
    if (m_ready.empty())
        return false;
    *out = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

}  // namespace quorvan
