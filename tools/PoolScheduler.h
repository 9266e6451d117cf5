// How a worker pool hands out its jobs, whatever starts the workers: one job
// at a time per idle worker, in order, never two with the same exclusive key
// at once; a job is prepared once (a job handed back by a worker that died
// between jobs keeps its argument); a worker that dies is replaced while jobs
// remain, and workers that keep dying fail the remaining jobs instead of
// making the pool spin.
//
// The platform's pool derives from it (Pool : PoolScheduler<Pool, Worker>)
// and provides:
//   bool Spawn(std::string* error);           a new worker in m_workers
//   bool SendTask(Worker&, size_t, const std::string&);
//   long IdOf(const Worker&) const;           its process id
//   bool ReceiveFrom(Worker&, Outcome*);      false: its result pipe ended
//   void Wait();                              for results, then Collect()
//   void Stop(int request);                   stops the workers, then Interrupted()
//   void Retire(Worker&);                     an idle worker ends
//   Outcome Reap(Worker&);                    a worker whose pipe ended early
// Worker has `size_t job` (kNoJob when idle) and `bool dead`.
#ifndef QUORVAN_TOOLS_POOLSCHEDULER_H
#define QUORVAN_TOOLS_POOLSCHEDULER_H

#include <stddef.h>

#include <deque>
#include <string>
#include <type_traits>
#include <vector>

#include "Outcome.h"
#include "WorkerPool.h"

const size_t kNoJob = static_cast<size_t>(-1);

// What a platform's pool and its workers must have, each member with exactly
// this signature.
template <class Pool, class Worker>
struct PoolBackendContract {
    template <typename Member, typename Expected>
    static constexpr bool kIs = std::is_same<Member, Expected>::value;

    static_assert(kIs<decltype(&Pool::Spawn), bool (Pool::*)(std::string*)>,
                  "bool Spawn(std::string* error): a new worker in m_workers, or why not");
    static_assert(kIs<decltype(&Pool::SendTask), bool (Pool::*)(Worker&, size_t, const std::string&)>,
                  "bool SendTask(Worker&, size_t job, const std::string& argument): false when it is gone");
    static_assert(kIs<decltype(&Pool::IdOf), long (Pool::*)(const Worker&) const>,
                  "long IdOf(const Worker&) const: its process id");
    static_assert(kIs<decltype(&Pool::ReceiveFrom), bool (Pool::*)(Worker&, Outcome*)>,
                  "bool ReceiveFrom(Worker&, Outcome*): false when its result pipe ended");
    static_assert(kIs<decltype(&Pool::Wait), void (Pool::*)()>,
                  "void Wait(): waits for results (or a tick), then calls Collect()");
    static_assert(kIs<decltype(&Pool::Stop), void (Pool::*)(int)>,
                  "void Stop(int request): stops every worker, then calls Interrupted()");
    static_assert(kIs<decltype(&Pool::Retire), void (Pool::*)(Worker&)>, "void Retire(Worker&): an idle worker ends");
    static_assert(kIs<decltype(&Pool::Reap), Outcome (Pool::*)(Worker&)>,
                  "Outcome Reap(Worker&): what became of a worker whose pipe ended early");
    static_assert(kIs<decltype(Worker::job), size_t>, "Worker::job: the job it runs, kNoJob when idle");
    static_assert(kIs<decltype(Worker::dead), bool>, "Worker::dead: its task pipe is broken");
};

template <class Platform, class Worker>
class PoolScheduler {
public:
    PoolScheduler(const PoolJobs& jobs, const PoolEvents& events)
        : m_jobs(jobs), m_events(events), m_outcomes(jobs.count), m_arguments(jobs.count), m_prepared(jobs.count, false)
    {
        for (size_t i = 0; i < jobs.count; ++i)
            m_pending.push_back(i);
    }

    std::vector<Outcome> Run(unsigned maxWorkers)
    {
        static_assert(sizeof(PoolBackendContract<Platform, Worker>) > 0, "the pool's backend keeps the contract");
        if (maxWorkers < 1)
            maxWorkers = 1;
        if (maxWorkers > m_jobs.count)
            maxWorkers = static_cast<unsigned>(m_jobs.count);
        std::string startError;
        for (unsigned i = 0; i < maxWorkers; ++i)
            if (!Self().Spawn(&startError))
                break;
        if (m_workers.empty())
            FailPending(startError);

        while (m_finished < m_jobs.count) {
            int stop = m_events.stopRequested ? m_events.stopRequested() : 0;
            if (stop != 0) {
                Self().Stop(stop);
                break;
            }
            Dispatch();
            if (Busy() == 0) {
                // Jobs remain but every worker is gone (or was just
                // replaced and is about to get one).
                if (m_workers.empty() && MayReplace() && !Self().Spawn(&startError))
                    FailPending(startError);
                continue;
            }
            Self().Wait();
        }
        for (Worker& w : m_workers)
            Self().Retire(w);
        m_workers.clear();
        return m_outcomes;
    }

protected:
    const PoolJobs& Jobs() const { return m_jobs; }
    // The milliseconds Wait may block before looking at a stop request again.
    int TickMilliseconds() const { return m_events.tick ? m_events.tickMilliseconds : 250; }
    void Tick()
    {
        if (m_events.tick)
            m_events.tick();
    }
    bool StopWasRequested() const { return m_events.stopRequested && m_events.stopRequested() != 0; }

    // The outcomes of the workers that have one waiting (or whose result pipe
    // broke); those that broke are reaped and replaced.
    void Collect(const std::vector<size_t>& readyWorkers)
    {
        // Workers that a stop to the whole group has ended are the stop's to
        // report, not crashes.
        if (StopWasRequested())
            return;
        std::vector<size_t> lost;
        for (size_t wi : readyWorkers) {
            Worker& w = m_workers[wi];
            Outcome outcome;
            size_t job = w.job;
            if (Self().ReceiveFrom(w, &outcome)) {
                w.job = kNoJob;
                Finish(job, outcome);
            } else {
                lost.push_back(wi);
            }
        }
        // From the back, so that the indices stay valid.
        for (size_t k = lost.size(); k-- > 0;) {
            Worker w = m_workers[lost[k]];
            m_workers.erase(m_workers.begin() + static_cast<long>(lost[k]));
            Finish(w.job, Self().Reap(w));
            Replace();
        }
    }

    // The end of a stop, once every worker is gone: the jobs they had and
    // those never handed out were interrupted.
    void Interrupted(int request)
    {
        Outcome interrupted;
        interrupted.kind = Outcome::kInterrupted;
        interrupted.code = request;
        for (Worker& w : m_workers)
            if (w.job != kNoJob)
                Finish(w.job, interrupted);
        m_workers.clear();
        while (!m_pending.empty()) {
            size_t job = m_pending.front();
            m_pending.pop_front();
            Finish(job, interrupted);
        }
    }

    void Finish(size_t job, const Outcome& outcome)
    {
        m_outcomes[job] = outcome;
        ++m_finished;
        if (m_events.finished)
            m_events.finished(job, outcome);
    }

    std::vector<Worker> m_workers;

private:
    Platform& Self() { return static_cast<Platform&>(*this); }

    size_t Busy() const
    {
        size_t n = 0;
        for (const Worker& w : m_workers)
            n += w.job != kNoJob;
        return n;
    }

    bool KeyInUse(size_t job) const
    {
        if (m_jobs.exclusiveKeys.size() <= job || m_jobs.exclusiveKeys[job].empty())
            return false;
        for (const Worker& w : m_workers)
            if (w.job != kNoJob && m_jobs.exclusiveKeys[w.job] == m_jobs.exclusiveKeys[job])
                return true;
        return false;
    }

    // Hands the first pending job that may run now to each idle worker.
    void Dispatch()
    {
        for (size_t wi = 0; wi < m_workers.size(); ++wi) {
            Worker& w = m_workers[wi];
            if (w.job != kNoJob || w.dead)
                continue;
            auto it = m_pending.begin();
            while (it != m_pending.end() && KeyInUse(*it))
                ++it;
            if (it == m_pending.end())
                break;
            size_t job = *it;
            m_pending.erase(it);
            Outcome refused;
            if (m_jobs.prepare && !m_prepared[job]) {
                if (!m_jobs.prepare(job, &m_arguments[job], &refused)) {
                    Finish(job, refused);  // it runs nowhere; the worker takes the next one
                    --wi;
                    continue;
                }
                m_prepared[job] = true;
            }
            if (Self().SendTask(w, job, m_arguments[job])) {
                w.job = job;
                if (m_events.started)
                    m_events.started(job, Self().IdOf(w));
            } else {
                // The worker died between jobs: this one never reached it.
                m_pending.push_front(job);
                w.dead = true;
            }
        }
        for (size_t wi = m_workers.size(); wi-- > 0;) {
            if (!m_workers[wi].dead)
                continue;
            Self().Retire(m_workers[wi]);
            m_workers.erase(m_workers.begin() + static_cast<long>(wi));
            Replace();
        }
    }

    // Starts a worker in place of one that died, while jobs remain.
    void Replace()
    {
        if (m_pending.empty())
            return;
        std::string error;
        if (MayReplace() && !Self().Spawn(&error) && m_workers.empty())
            FailPending(error);
    }

    // Workers that keep dying fail the remaining jobs instead of making the
    // pool spin: at most one replacement per job. With no worker left, the
    // jobs still pending fail here.
    bool MayReplace()
    {
        if (++m_replacements <= m_jobs.count)
            return true;
        if (m_workers.empty())
            FailPending("worker processes keep ending unexpectedly");
        return false;
    }

    void FailPending(const std::string& why)
    {
        while (!m_pending.empty()) {
            size_t job = m_pending.front();
            m_pending.pop_front();
            Outcome outcome;
            outcome.kind = Outcome::kNoWorker;
            outcome.detail = why;
            Finish(job, outcome);
        }
    }

    const PoolJobs& m_jobs;
    const PoolEvents& m_events;
    std::vector<Outcome> m_outcomes;
    std::vector<std::string> m_arguments;
    std::vector<bool> m_prepared;
    std::deque<size_t> m_pending;
    size_t m_finished = 0;
    size_t m_replacements = 0;
};

#endif
