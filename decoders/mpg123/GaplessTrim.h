// Gapless trimming: the encoder delay at the start of each encoded part and
// the padding at its end, as its Info frame announces them, are cut from the
// audio the chains hand out. The padding is cut relative to the stream's
// real end: the last frames are held back until more audio comes (then they
// go out) or the stream ends (then they are dropped).
#ifndef QUORVAN_DECODERS_GAPLESSTRIM_H
#define QUORVAN_DECODERS_GAPLESSTRIM_H

#include <stddef.h>
#include <stdint.h>

#include <deque>

#include "InfoFrameScanner.h"
#include "Pcm.h"

namespace quorvan {

class GaplessTrim {
public:
    // An Info frame the decoder came across: the first one gives the
    // stream's trimming; one between two frames of a confirmed chain starts
    // another encoded part, whose trimming applies from there on, the
    // previous part's padding being dropped.
    void TakeInfoFrame(const InfoFrame& tag, bool inConfirmedChain);
    // Audio was confirmed: an Info frame after it no longer gives the
    // stream's own trimming.
    void AudioStarted() { m_setUp = true; }
    // Passes decoded samples on, less the encoder delay at the start and
    // with the padding held back at the end.
    void Emit(const PcmFormat& format, const int16_t* samples, size_t frames);
    void Emit(const SampleBlock& b) { Emit(b.format, b.samples.data(), b.Frames()); }
    // The stream ended: what is held back is the encoder's padding.
    void DropHeld() { m_hold = SampleBlock(); }
    // Everything buffered goes; the stream's trimming stays known.
    void Flush();

    // The next block of audio trimmed, if any.
    bool TakeReady(SampleBlock* out);

private:
    void StartPart(const InfoFrame& tag);
    void Pass(const PcmFormat& format, const int16_t* samples, size_t frames);

    bool m_setUp = false;    // the stream's own trimming is known
    size_t m_skipStart = 0;  // frames still to drop at the start
    size_t m_endTrim = 0;    // frames to drop at the end
    SampleBlock m_hold;      // the last m_endTrim frames seen
    std::deque<SampleBlock> m_ready;
};

}  // namespace quorvan

#endif
