// A thread that takes on part of another thread's work, one task at a time:
// the other thread starts a task, does its own share meanwhile and waits for
// the task before it uses the task's results. The owner runs Loop() on a
// thread of its own and joins it after Stop(). Once stopped, Start() refuses
// new tasks (the caller then does the work itself); a task already started
// is still run to its end, so Wait() never waits for a thread that is gone.
#ifndef QUORVAN_DECODERS_SIDETHREAD_H
#define QUORVAN_DECODERS_SIDETHREAD_H

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>

namespace quorvan {

class SideThread {
public:
    // The thread's body: runs the tasks until Stop().
    void Loop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            while (!m_task && !m_stopped)
                m_wake.wait(lock);
            if (!m_task)
                return;
            std::function<void()> task = std::move(m_task);
            m_task = nullptr;
            lock.unlock();
            std::exception_ptr failure;
            try {
                task();
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            m_failure = failure;
            m_busy = false;
            m_done.notify_one();
        }
    }

    // Hands task over to the thread; false when it is stopped or still busy.
    bool Start(std::function<void()> task)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped || m_busy)
            return false;
        m_task = std::move(task);
        m_busy = true;
        m_wake.notify_one();
        return true;
    }

    // Waits for the task started last; rethrows what it threw.
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_busy)
            m_done.wait(lock);
        std::exception_ptr failure = std::move(m_failure);
        m_failure = nullptr;
        if (failure)
            std::rethrow_exception(failure);
    }

    void Stop()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_wake.notify_one();
    }

    // After Stop() and the join: tasks are taken again.
    void Reopen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::function<void()> m_task;
    std::exception_ptr m_failure;
    bool m_busy = false;
    bool m_stopped = false;
};

}  // namespace quorvan

#endif
