#include "SegmentWorker.h"

#include <string.h>

#include <utility>

namespace quorvan {

namespace {

FrameExpectation Expected(Segment& s, size_t i, size_t used)
{
    FrameExpectation e;
    e.planned = true;
    e.header = i < s.frames.size() ? s.frames[i].header : 0;
    // Its format is the first frame's.
    e.formatMayChange = i == 0;
    e.into = s.pcm.data() + used;
    e.room = s.pcm.size() - used;
    return e;
}

// Keeps frame i of the segment, decoded at s.pcm[*used]: false when it is not
// the frame planned or does not fit.
bool Keep(Segment& s, size_t i, const PcmFormat& format, const Mpg123Frame& frame, size_t* used)
{
    SegmentFrame d;
    s.handle.Describe(format, s.base, &d.info, &d.bytes);
    if (d.info.position != s.frames[i].position || d.info.bytes != s.frames[i].bytes)
        return false;
    if (i < s.warm)
        return true;
    d.format = format;
    d.header = frame.header;
    d.offset = *used;
    d.count = frame.frames * static_cast<size_t>(format.channels);
    if (d.count > s.pcm.size() - *used)
        return false;
    if (d.count && frame.samples != s.pcm.data() + *used)
        memmove(s.pcm.data() + *used, frame.samples, d.count * sizeof(int16_t));
    *used += d.count;
    s.out.push_back(std::move(d));
    return true;
}

}  // namespace

void DecodeSegment(Segment& s)
{
    if (s.handle.Open() != 0)
        return;
    bool fed = s.handle.Feed(s.bytes.data(), s.bytes.size());
    s.bytes = std::vector<unsigned char>();  // libmpg123 keeps its own copy
    if (!fed)
        return;
    PcmFormat format;
    size_t i = 0;
    s.out.reserve(s.frames.size() - s.warm);
    // libmpg123 decodes each frame straight into the segment's buffer, at
    // the end of what it holds (the warm-up frames all at its start, where
    // the first own frame then goes), rather than into a buffer of its own
    // that would then be copied. A frame never takes more than two frames'
    // room.
    size_t room = (s.frames.size() - s.warm) * kMaxFrameSamples + 2 * kMaxFrameSamples;
    if (s.pcm.size() < room)
        s.pcm.resize(room);
    size_t used = 0;
    for (;; ++i) {
        if (s.dropped)
            return;
        Mpg123Frame frame;
        Mpg123Handle::Step step = s.handle.DecodeNextFrame(format, Expected(s, i, used), &frame);
        if (step == Mpg123Handle::kNeedMore)
            break;
        if (step != Mpg123Handle::kDecoded || !Keep(s, i, format, frame, &used))
            return;
    }
    s.format = format;
    s.clean = i == s.frames.size();
}

void WorkOn(SegmentQueue& queue)
{
    while (SegmentPtr s = queue.Take()) {
        DecodeSegment(*s);
        queue.Done(*s);
    }
}

}  // namespace quorvan
