// Which decoded frames are audio. libmpg123 decodes every frame it finds,
// wherever it finds one; audio is only handed out from confirmed chains of
// frames. A chain is frames of one kind (FrameKind::SameChain), each one
// starting where the one before ends or a short stretch of junk after it
// (kMaxGapBytes; the unlikely kinds must adjoin byte for byte). At the
// start, and whenever a frame does not continue the chain, frames are held
// back until enough of them form a chain of their own (or, for a short
// stream, up to its end). A frame after junk counts for less than one that
// adjoins: the longer the junk, the more places a chance match could have
// taken, so the more frames it takes. Random data therefore does not pass for
// audio, nor do frame headers scattered through it, a chance match inside
// junk is dropped, and a stream with junk between its frames is decoded
// whole.
#ifndef QUORVAN_DECODERS_FRAMECHAIN_H
#define QUORVAN_DECODERS_FRAMECHAIN_H

#include <stdint.h>

#include "FrameHeader.h"
#include "Pcm.h"

namespace quorvan {

class FrameChain {
public:
    // Frames that must follow each other before a run counts as audio.
    static constexpr int kConfirmFrames = 3;
    // The same for runs of the unlikely kinds (FrameKind::Unlikely), which
    // must be longer, and free-format frames of one length (give or take
    // the padding byte).
    static constexpr int kConfirmUnlikelyFrames = 24;
    // The most junk between two frames of a chain (of the likely kinds).
    static constexpr int64_t kMaxGapBytes = 1024;
    // A frame g bytes after the end of the one before leaves log2(1 + g) bits
    // of its position open; this many such bits cost it the whole weight of a
    // frame toward confirming its run (a frame that adjoins weighs 1).
    static constexpr double kGapBitsPerFrame = 6;

    enum Verdict {
        kContinues,  // the confirmed chain goes on with the frame: it is audio
        kHeld,       // held back, with the frames before it
        kDropped,    // held back; the frames held before it were dropped
        kConfirmed   // it confirmed the frames held back: they are audio
    };
    // The next frame decoded. On kConfirmed, *run holds the frames' samples.
    Verdict Add(const FrameInfo& info, const PcmChunk& frame, SampleBlock* run);
    // The stream ended: true when the frames held back count as audio after
    // all (then in *run).
    bool End(SampleBlock* run);
    // A frame failed: the frames held back no longer form a run; a confirmed
    // chain may still go on after it.
    void Break();
    // Positions from here on are another handle's.
    void ForgetPositions();
    void DropRun();

    // Between two frames of a confirmed chain, none held back.
    bool InConfirmedChain() const { return m_anchored && m_runLength == 0; }

private:
    static int FramesToConfirm(const FrameKind& kind);
    // The bytes of junk between `prev` and `next` when `next` continues a
    // chain whose last frame is `prev`, else -1. A chain of free-format frames
    // keeps the length `chainBytes` (give or take the padding byte). With
    // `anyAdjoining`, a frame that starts exactly where `prev` ends continues
    // it whatever its fields.
    static int64_t GapTo(const FrameInfo& prev, const FrameInfo& next, int64_t chainBytes, bool anyAdjoining);

    // The frame added last.
    FrameInfo m_last;
    // The confirmed chain: its last frame, and its free-format frame length.
    bool m_anchored = false;
    FrameInfo m_anchor;
    int64_t m_anchorFrameBytes = 0;
    // The frames held back, not (yet) a confirmed chain; m_last is the last.
    SampleBlock m_run;
    int m_runLength = 0;
    double m_runWeight = 0;  // of its frames after the first, toward confirming it
    FrameKind m_runKind;
    int64_t m_runFrameBytes = 0;
};

}  // namespace quorvan

#endif
