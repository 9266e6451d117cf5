// Finds Xing/Info frames in the input bytes before libmpg123 sees them, with
// the encoder delay and padding a LAME extension gives. libmpg123 itself only
// honours the Info frame at the start of a stream; one in the middle (two
// encoded files joined) it decodes as a frame of silence. Knowing where they
// are lets the decoder drop that frame and trim the seam.
#ifndef QUORVAN_DECODERS_INFOFRAMESCANNER_H
#define QUORVAN_DECODERS_INFOFRAMESCANNER_H

#include <stddef.h>
#include <stdint.h>

#include <deque>

namespace quorvan {

struct InfoFrame {
    int64_t offset = 0;  // of the frame's header, counted from Reset()
    long delay = -1;     // encoder delay in samples, -1 when not given
    long padding = -1;   // encoder padding in samples, -1 when not given
};

class InfoFrameScanner {
public:
    // Bytes past the last position scanned that a scan needs to see.
    static constexpr size_t kLookahead = 2900;

    // Looks for Info frames starting in data[0, scanEnd); bytes up to `size`
    // may be looked at. data[0] follows the last byte scanned before.
    void Scan(const unsigned char* data, size_t size, size_t scanEnd);
    void Reset();

    // The Info frames found, in input order, not yet taken.
    std::deque<InfoFrame>& found() { return m_found; }

private:
    int64_t m_offset = 0;
    std::deque<InfoFrame> m_found;
};

}  // namespace quorvan

#endif
