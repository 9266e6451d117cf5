// A bounded first-in first-out queue between two threads of one decoder
// instance: one producer, one consumer. Push waits while the queue is full,
// Pop while it is empty. To save wake-ups, a waiting side is woken only once
// three quarters of the queue have changed (or at Close and Cancel): the
// consumer when it holds that many items, the producer when that much room
// is free. PushAll and PopSome move several items under one lock. Under
// wine every lock a thread has to wait for and every wake-up is a round trip
// to its server.
//   Close():  the producer is done; Pop drains what is left, then fails.
//   Cancel(): both sides give up at once; Push and Pop fail from then on.
//   Reopen(): after a Cancel, the queue works again with what it still holds.
#ifndef QUORVAN_DECODERS_HANDOFFQUEUE_H
#define QUORVAN_DECODERS_HANDOFFQUEUE_H

#include <stddef.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace quorvan {

template <typename T>
class HandOffQueue {
public:
    explicit HandOffQueue(size_t capacity) : m_capacity(capacity ? capacity : 1), m_batch((3 * m_capacity + 3) / 4) {}

    bool Push(T&& item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_cancelled && m_items.size() >= m_capacity) {
            m_producerWaits = true;
            m_producerWake.wait(lock);
        }
        if (m_cancelled)
            return false;
        m_items.push_back(std::move(item));
        WakeConsumer();
        return true;
    }

    // Pushes every item of `items`, in order, waiting for room as Push does;
    // `items` is left empty. False when cancelled.
    template <typename Container>
    bool PushAll(Container& items)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (auto& item : items) {
            while (!m_cancelled && m_items.size() >= m_capacity) {
                WakeConsumer();
                m_producerWaits = true;
                m_producerWake.wait(lock);
            }
            if (m_cancelled)
                return false;
            m_items.push_back(std::move(item));
        }
        items.clear();
        WakeConsumer();
        return true;
    }

    // Appends to `into` up to `most` items, as many as there are, waiting
    // while there is none. False when none came (drained after Close, or
    // cancelled).
    template <typename Container>
    bool PopSome(Container& into, size_t most)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!WaitForItems(lock))
            return false;
        for (size_t n = 0; n < most && !m_items.empty(); ++n) {
            into.push_back(std::move(m_items.front()));
            m_items.pop_front();
        }
        WakeProducer();
        return true;
    }

    bool Pop(T& item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!WaitForItems(lock))
            return false;
        item = std::move(m_items.front());
        m_items.pop_front();
        WakeProducer();
        return true;
    }

    void Close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_consumerWake.notify_all();
    }

    void Cancel()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_consumerWake.notify_all();
        m_producerWake.notify_all();
    }

    void Reopen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = false;
        m_closed = false;
        m_producerWaits = m_consumerWaits = false;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.clear();
    }

private:
    // Waits while the queue is empty and open; false when nothing is to come
    // (cancelled, or closed and drained).
    bool WaitForItems(std::unique_lock<std::mutex>& lock)
    {
        while (!m_cancelled && !m_closed && m_items.empty()) {
            m_consumerWaits = true;
            m_consumerWake.wait(lock);
        }
        return !m_cancelled && !m_items.empty();
    }

    void WakeProducer()
    {
        if (m_producerWaits && m_items.size() + m_batch <= m_capacity) {
            m_producerWaits = false;
            m_producerWake.notify_one();
        }
    }

    void WakeConsumer()
    {
        if (m_consumerWaits && m_items.size() >= m_batch) {
            m_consumerWaits = false;
            m_consumerWake.notify_one();
        }
    }

    const size_t m_capacity;
    const size_t m_batch;
    std::mutex m_mutex;
    std::condition_variable m_producerWake, m_consumerWake;
    std::deque<T> m_items;
    bool m_closed = false;
    bool m_cancelled = false;
    bool m_producerWaits = false;
    bool m_consumerWaits = false;
};

}  // namespace quorvan

#endif
