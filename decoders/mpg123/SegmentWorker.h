// A worker's side of a segmented stream (see SegmentedStream): one segment
// decoded on a libmpg123 handle of its own.
#ifndef QUORVAN_DECODERS_SEGMENTWORKER_H
#define QUORVAN_DECODERS_SEGMENTWORKER_H

#include "SegmentQueue.h"

namespace quorvan {

// Decodes the segment's frames into its pcm, from its warm-up on, and marks
// it clean when every frame was decoded as planned. Stops early once the
// segment is dropped.
void DecodeSegment(Segment& s);

// Decodes the queue's segments until it is cancelled.
void WorkOn(SegmentQueue& queue);

}  // namespace quorvan

#endif
