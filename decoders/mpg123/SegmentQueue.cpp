#include "SegmentQueue.h"

#include <algorithm>
#include <utility>

namespace quorvan {

SegmentQueue::SegmentQueue(size_t inFlight, bool planning) : m_inFlight(inFlight), m_planningEnded(!planning) {}

bool SegmentQueue::Planning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled)
        throw PipelineCancelled();
    return !m_planningEnded;
}

bool SegmentQueue::PlanningEnded() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_planningEnded;
}

bool SegmentQueue::Add(const SegmentPtr& s)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_cancelled && !m_planningEnded && m_segments.size() >= m_inFlight)
        m_room.wait(lock);
    if (m_cancelled)
        throw PipelineCancelled();
    if (m_planningEnded)
        return false;
    m_segments.push_back(s);
    m_jobs.notify_one();
    if (s->last) {
        m_planningEnded = true;
        m_done.notify_all();
    }
    return true;
}

void SegmentQueue::EndPlanning()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_planningEnded = true;
    m_done.notify_all();
}

SegmentPtr SegmentQueue::Take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_cancelled)
            return nullptr;
        for (SegmentPtr& s : m_segments)
            if (!s->taken) {
                s->taken = true;
                if (!m_pool.empty()) {
                    s->pcm = std::move(m_pool.back());
                    m_pool.pop_back();
                }
                return s;
            }
        m_jobs.wait(lock);
    }
}

void SegmentQueue::Done(Segment& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    s.done = true;
    if (s.clean)
        ++m_stats.decoded;
    m_done.notify_all();
}

SegmentPtr SegmentQueue::WaitFor(size_t index)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_cancelled)
            throw PipelineCancelled();
        for (SegmentPtr& s : m_segments)
            if (s->index == index && s->done)
                return s;
        bool coming = !m_planningEnded;
        for (SegmentPtr& s : m_segments)
            coming = coming || s->index == index;
        if (!coming)
            return nullptr;
        m_done.wait(lock);
    }
}

void SegmentQueue::Joined(const SegmentPtr& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_stats.joined;
    m_segments.erase(std::find(m_segments.begin(), m_segments.end(), s));
    if (m_pool.size() < m_inFlight)
        m_pool.push_back(std::move(s->pcm));
    m_room.notify_one();
}

void SegmentQueue::Stop(const SegmentPtr& keep, bool fellBack)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fellBack)
        ++m_stats.fellBack;
    m_planningEnded = true;
    for (SegmentPtr& s : m_segments)
        if (s != keep)
            s->dropped = true;
    m_segments.clear();
    m_room.notify_all();
    m_jobs.notify_all();
}

void SegmentQueue::Cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    for (SegmentPtr& s : m_segments)
        s->dropped = true;
    m_jobs.notify_all();
    m_room.notify_all();
    m_done.notify_all();
}

SegmentStats SegmentQueue::Stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

}  // namespace quorvan
