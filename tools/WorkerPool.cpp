// The worker pool's scheduling, the same on every system: which job goes to
// which worker when, and what becomes of jobs whose worker dies or is stopped.
#include "WorkerPool.h"

#include <chrono>

#include "Interrupt.h"
#include "WorkerWire.h"

WorkerPool::WorkerPool(size_t jobs, const Prepare& prepare, const std::vector<std::string>& exclusiveKeys,
                       const PoolEvents& events)
    : m_count(jobs), m_prepare(prepare), m_keys(exclusiveKeys), m_events(events), m_tasks(jobs), m_prepared(jobs)
{
    for (size_t i = 0; i < jobs; ++i)
        m_pending.push_back(i);
}

void WorkerPool::Run(unsigned workers)
{
    m_wanted = workers < 1 ? 1 : workers < m_count ? workers : m_count;
    while (m_finished < m_count) {
        if (int request = StopRequest()) {
            Stop(request);
            break;
        }
        StartWorkers();
        Dispatch();
        if (Busy().empty())
            continue;  // every job done, or workers to start in place of dead ones
        // Never blocked for long: a stop request is looked at on every round.
        std::vector<size_t> busy;
        std::vector<size_t> ready = WaitForBusy(m_events.tick ? m_events.tickMilliseconds : 250, &busy);
        if (m_events.tick)
            m_events.tick();
        // Workers that a stop to the whole group has ended are the stop's to
        // report, not crashes. From the back, so that the positions stay valid.
        for (size_t k = ready.size(); k-- > 0 && StopRequest() == 0;)
            Collect(ready[k]);
    }
    for (Worker& w : m_workers)
        ReapWorker(&w.process, false);  // idle: its task pipe closed, it ends
    m_workers.clear();
}

// Up to the number of workers wanted while jobs wait, also in place of
// workers that died. Workers that keep dying fail the remaining jobs instead
// of making the pool spin: one start per job at most beyond the first ones.
void WorkerPool::StartWorkers()
{
    std::string error = "worker processes keep ending unexpectedly";
    while (m_workers.size() < m_wanted && !m_pending.empty()) {
        Worker w;
        if (++m_starts > m_wanted + m_count || !StartWorker(&w.process, &error)) {
            if (m_workers.empty())
                FailPending(error);
            return;
        }
        m_workers.push_back(w);
    }
}

bool WorkerPool::KeyInUse(size_t job) const
{
    if (m_keys.size() <= job || m_keys[job].empty())
        return false;
    for (const Worker& w : m_workers)
        if (w.job != kNoJob && m_keys[w.job] == m_keys[job])
            return true;
    return false;
}

std::vector<size_t> WorkerPool::Busy() const
{
    std::vector<size_t> busy;
    for (size_t wi = 0; wi < m_workers.size(); ++wi)
        if (m_workers[wi].job != kNoJob && !m_workers[wi].dead)
            busy.push_back(wi);
    return busy;
}

// Hands the first pending job that may run now to each idle worker; a job
// is prepared once, and one that never reached a worker keeps its task.
void WorkerPool::Dispatch()
{
    for (Worker& w : m_workers) {
        while (w.job == kNoJob && !w.dead) {
            auto it = m_pending.begin();
            while (it != m_pending.end() && KeyInUse(*it))
                ++it;
            if (it == m_pending.end())
                break;
            size_t job = *it;
            m_pending.erase(it);
            Outcome refused;
            if (!m_prepared[job] && !m_prepare(job, &m_tasks[job], &refused)) {
                Finish(job, refused);  // it runs nowhere; the worker takes the next one
                continue;
            }
            m_prepared[job] = true;
            if (SendTask(w.process.tasks, m_tasks[job])) {
                w.job = job;
                if (m_events.started)
                    m_events.started(job, w.process.id);
            } else {
                m_pending.push_front(job);
                w.dead = true;  // it died between tasks
            }
        }
    }
    for (size_t wi = m_workers.size(); wi-- > 0;) {
        if (!m_workers[wi].dead)
            continue;
        ReapWorker(&m_workers[wi].process, true);
        m_workers.erase(m_workers.begin() + static_cast<long>(wi));
    }
}

// The busy workers (in *busy) and those of them with an outcome waiting, or
// whose result pipe ended, both as positions in m_workers.
std::vector<size_t> WorkerPool::WaitForBusy(int milliseconds, std::vector<size_t>* busy) const
{
    *busy = Busy();
    std::vector<const WorkerProcess*> processes;
    for (size_t wi : *busy)
        processes.push_back(&m_workers[wi].process);
    std::vector<size_t> ready;
    for (size_t k : WaitForWorkers(processes, milliseconds))
        ready.push_back((*busy)[k]);
    return ready;
}

// The outcome waiting from a busy worker; or, its result pipe ended, how it
// died, as its job's outcome (StartWorkers puts another in its place).
void WorkerPool::Collect(size_t wi)
{
    Worker& w = m_workers[wi];
    size_t job = w.job;
    Outcome outcome;
    if (ReceiveOutcome(w.process.results, &outcome)) {
        w.job = kNoJob;
        Finish(job, outcome);
        return;
    }
    outcome = ReapWorker(&w.process, false);
    m_workers.erase(m_workers.begin() + static_cast<long>(wi));
    Finish(job, outcome);
}

// Every worker is told to stop (removing the file it was writing) and
// reaped; outcomes already on their way still count, every other job is
// reported as interrupted.
void WorkerPool::Stop(int request)
{
    for (Worker& w : m_workers)
        StopWorker(&w.process);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    std::vector<size_t> busy;
    while (!Busy().empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        for (size_t wi : WaitForBusy(static_cast<int>(left.count()), &busy)) {
            Worker& w = m_workers[wi];
            Outcome outcome;
            if (ReceiveOutcome(w.process.results, &outcome)) {
                Finish(w.job, outcome);
                w.job = kNoJob;
            }
            w.dead = true;  // its outcome, or its end, has come
        }
    }
    Outcome interrupted;
    interrupted.kind = Outcome::kInterrupted;
    interrupted.code = request;
    for (Worker& w : m_workers) {
        ReapWorker(&w.process, true);
        if (w.job != kNoJob)
            Finish(w.job, interrupted);
    }
    m_workers.clear();
    while (!m_pending.empty()) {
        Finish(m_pending.front(), interrupted);
        m_pending.pop_front();
    }
}

void WorkerPool::Finish(size_t job, const Outcome& outcome)
{
    ++m_finished;
    if (m_events.finished)
        m_events.finished(job, outcome);
}

void WorkerPool::FailPending(const std::string& why)
{
    Outcome outcome;
    outcome.kind = Outcome::kNoWorker;
    outcome.detail = why;
    while (!m_pending.empty()) {
        Finish(m_pending.front(), outcome);
        m_pending.pop_front();
    }
}
