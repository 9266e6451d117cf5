#include "SegmentJoiner.h"

#include <algorithm>
#include <utility>

namespace quorvan {

void SegmentJoiner::Start()
{
    SegmentPtr s = m_queue.WaitFor(0);
    if (!s || !s->clean) {
        // The decoder decodes the whole stream alone.
        m_queue.Stop(nullptr, s != nullptr);
        m_phase = kAlone;
        return;
    }
    m_current = s;
    m_emitted = 0;
    m_phase = kOwn;
}

bool SegmentJoiner::Continues(const Segment& before, const Segment& after)
{
    if (!after.clean || before.out.size() <= before.own)
        return false;
    size_t checked = before.out.size() - before.own;
    if (after.out.size() < checked || after.own < checked)
        return false;
    for (size_t j = 0; j < checked; ++j) {
        const SegmentFrame& a = before.out[before.own + j];
        const SegmentFrame& b = after.out[j];
        if (a.format != b.format || a.header != b.header || a.bytes != b.bytes ||
            a.info.position != b.info.position || a.info.bytes != b.info.bytes ||
            !a.info.kind.SameChain(b.info.kind) || a.count != b.count ||
            !std::equal(before.pcm.begin() + static_cast<ptrdiff_t>(a.offset),
                        before.pcm.begin() + static_cast<ptrdiff_t>(a.offset + a.count),
                        after.pcm.begin() + static_cast<ptrdiff_t>(b.offset)))
            return false;
    }
    return true;
}

void SegmentJoiner::JoinNext()
{
    SegmentPtr next = m_queue.WaitFor(m_current->index + 1);
    if (next && Continues(*m_current, *next)) {
        m_queue.Joined(m_current);
        m_current = next;
        m_emitted = 0;
        return;
    }
    // This segment's handle goes on, through the frames it checked.
    m_queue.Stop(m_current, true);
    m_phase = kChecked;
}

void SegmentJoiner::Emit(MpegStreamDecoder::FedFrame& f)
{
    const SegmentFrame& d = m_current->out[m_emitted++];
    f.format = d.format;
    f.samples = m_current->pcm.data() + d.offset;
    f.frames = d.format.channels ? d.count / static_cast<size_t>(d.format.channels) : 0;
    f.header = d.header;
    f.bytes = d.bytes;
    f.info = d.info;
}

void SegmentJoiner::HandOver(MpegStreamDecoder::FedFrame& f)
{
    f.own = true;
    f.handle = std::move(m_current->handle);
    f.base = m_current->base;
    f.fedTo = m_current->end;
    m_phase = kAlone;
    m_queue.Stop(m_current, false);
    m_current.reset();
}

void SegmentJoiner::Next(MpegStreamDecoder::FedFrame& f)
{
    for (;;) {
        switch (m_phase) {
        case kStart:
            Start();
            continue;
        case kOwn:
            if (m_emitted < m_current->own)
                return Emit(f);
            if (m_current->last)
                return HandOver(f);  // alone from its end on
            JoinNext();
            continue;
        case kChecked:
            if (m_emitted < m_current->out.size())
                return Emit(f);
            return HandOver(f);
        case kAlone:
            f.own = true;
            return;
        }
    }
}

}  // namespace quorvan
