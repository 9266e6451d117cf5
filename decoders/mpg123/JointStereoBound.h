// libmpg123 writes a line to stderr, whatever its quiet flag says, when an
// MPEG-1 Layer II joint-stereo frame puts its stereo bound above the last
// subband its bitrate codes; it then lowers the bound to that subband. So
// that the module stays silent, such headers are rewritten to name that very
// bound before the bytes reach libmpg123: the frame decodes exactly as before.
//
// Audio data that merely looks like such a header is left alone: a look-alike
// inside a frame of a frame chain (a header whose next header follows at the
// frame's length with the same version, layer and rate) is not touched. Only
// headers that chain themselves, or look-alikes in junk, are rewritten. Should
// libmpg123 still lose its way into a look-alike that was left alone (damage
// can do that), the decoder skips that frame instead of decoding it.
#ifndef QUORVAN_DECODERS_JOINTSTEREOBOUND_H
#define QUORVAN_DECODERS_JOINTSTEREOBOUND_H

#include <stddef.h>
#include <stdint.h>

namespace quorvan {

// True when libmpg123 would warn about the frame this header starts.
bool JointStereoBoundOverflows(uint32_t header);

class JointStereoBoundFixer {
public:
    // Bytes past the last position scanned that a scan needs to see: the
    // longest frame and the next header.
    static constexpr size_t kLookahead = 2900;

    // Scans the headers starting in data[0, scanEnd) and rewrites those that
    // need it; bytes up to `size` may be looked at. data[0] follows the last
    // byte scanned before. `final` says that data ends the input.
    void Fix(unsigned char* data, size_t size, size_t scanEnd, bool final);

    void Reset() { m_offset = 0; m_coveredUntil = 0; }

private:
    uint64_t m_offset = 0;        // stream offset of data[0]
    uint64_t m_coveredUntil = 0;  // end of the last chained frame seen
};

}  // namespace quorvan

#endif
