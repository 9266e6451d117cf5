#include "SegmentedStream.h"

#include "SegmentWorker.h"

namespace quorvan {

SegmentedStream::SegmentedStream(const SegmentSettings& settings)
    : m_settings(settings),
      m_queue(m_settings.inFlight, m_settings.ownFrames > 0),
      m_planner(m_settings, m_queue),
      m_joiner(m_queue)
{
}

void SegmentedStream::WorkLoop()
{
    WorkOn(m_queue);
}

}  // namespace quorvan
