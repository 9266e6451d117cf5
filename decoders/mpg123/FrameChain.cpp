#include "FrameChain.h"

#include <math.h>

#include <utility>

namespace quorvan {

int FrameChain::FramesToConfirm(const FrameKind& kind)
{
    return kind.Unlikely() ? kConfirmUnlikelyFrames : kConfirmFrames;
}

int64_t FrameChain::GapTo(const FrameInfo& prev, const FrameInfo& next, int64_t chainBytes, bool anyAdjoining)
{
    if (prev.position < 0)
        return -1;
    int64_t gap = next.position - (prev.position + prev.bytes);
    if (gap >= 0)
        gap += next.junkBefore;
    if (gap == 0 && anyAdjoining)
        return 0;
    if (gap < 0 || !next.kind.SameChain(prev.kind))
        return -1;
    if (next.kind.freeFormat && (next.bytes > chainBytes + 1 || next.bytes + 1 < chainBytes))
        return -1;
    bool gapsAllowed = FramesToConfirm(next.kind) == kConfirmFrames;
    return gap == 0 || (gapsAllowed && gap <= kMaxGapBytes) ? gap : -1;
}

FrameChain::Verdict FrameChain::Add(const FrameInfo& info, const PcmChunk& frame, SampleBlock* run)
{
    if (m_anchored && GapTo(m_anchor, info, m_anchorFrameBytes, true) >= 0) {
        // Whatever was held back since was junk taken for frames.
        DropRun();
        m_anchor = info;
        m_last = info;
        return kContinues;
    }
    bool dropped = false;
    if (m_runLength > 0) {
        int64_t gap = GapTo(m_last, info, m_runFrameBytes, false);
        if (gap < 0) {
            DropRun();
            dropped = true;
        } else {
            m_runWeight += 1.0 - log2(1.0 + static_cast<double>(gap)) / kGapBitsPerFrame;
        }
    }
    m_last = info;
    m_run.format = frame.format;
    m_run.Append(frame.samples, frame.frames);
    m_runKind = info.kind;
    if (m_runLength == 0)
        m_runFrameBytes = info.bytes;
    int needed = FramesToConfirm(info.kind);
    if (++m_runLength >= needed && m_runWeight >= needed - 1) {
        *run = std::move(m_run);
        m_anchored = true;
        m_anchor = info;
        m_anchorFrameBytes = m_runFrameBytes;
        DropRun();
        return kConfirmed;
    }
    return dropped ? kDropped : kHeld;
}

bool FrameChain::End(SampleBlock* run)
{
    // A run cut short by the end of a short stream still counts when it has
    // more than one frame (three for the unlikely kinds).
    int shortRun = FramesToConfirm(m_runKind) > kConfirmFrames ? 3 : 2;
    bool counts = m_runLength >= shortRun && m_runWeight >= shortRun - 1;
    if (counts)
        *run = std::move(m_run);
    DropRun();
    return counts;
}

void FrameChain::Break()
{
    DropRun();
    m_last = FrameInfo();
}

void FrameChain::ForgetPositions()
{
    m_last = FrameInfo();
    m_anchored = false;
    m_anchor = FrameInfo();
}

void FrameChain::DropRun()
{
    m_run = SampleBlock();
    m_runLength = 0;
    m_runWeight = 0;
    m_runKind = FrameKind();
}

}  // namespace quorvan
