// How a worker pool hands out its jobs, whatever starts the workers: one job
// at a time per idle worker, in order, never two with the same exclusive key
// at once; a job is prepared once (a job handed back by a worker that died
// between jobs keeps its argument); a worker that dies is replaced while jobs
// remain, and workers that keep dying fail the remaining jobs instead of
// making the pool spin.
//
// The platform's pool derives from it (Pool : PoolScheduler<Pool, Worker>)
// and provides:
//   bool Spawn(std::string* error);           a new worker in workers_
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
#include <vector>

#include "Outcome.h"
#include "WorkerPool.h"

const size_t kNoJob = static_cast<size_t>(-1);

template <class Platform, class Worker>
class PoolScheduler {
public:
    PoolScheduler(const PoolJobs& jobs, const PoolEvents& events)
        : jobs_(jobs), events_(events), outcomes_(jobs.count), arguments_(jobs.count), prepared_(jobs.count, false)
    {
        for (size_t i = 0; i < jobs.count; ++i)
            pending_.push_back(i);
    }

    std::vector<Outcome> Run(unsigned maxWorkers)
    {
        if (maxWorkers < 1)
            maxWorkers = 1;
        if (maxWorkers > jobs_.count)
            maxWorkers = static_cast<unsigned>(jobs_.count);
        std::string startError;
        for (unsigned i = 0; i < maxWorkers; ++i)
            if (!Self().Spawn(&startError))
                break;
        if (workers_.empty())
            FailPending(startError);

        while (finished_ < jobs_.count) {
            int stop = events_.stopRequested ? events_.stopRequested() : 0;
            if (stop != 0) {
                Self().Stop(stop);
                break;
            }
            Dispatch();
            if (Busy() == 0) {
                // Jobs remain but every worker is gone (or was just
                // replaced and is about to get one).
                if (workers_.empty()) {
                    if (replacements_++ > jobs_.count)
                        FailPending("worker processes keep ending unexpectedly");
                    else if (!Self().Spawn(&startError))
                        FailPending(startError);
                }
                continue;
            }
            Self().Wait();
        }
        for (Worker& w : workers_)
            Self().Retire(w);
        workers_.clear();
        return outcomes_;
    }

protected:
    const PoolJobs& Jobs() const { return jobs_; }
    // The milliseconds Wait may block before looking at a stop request again.
    int TickMilliseconds() const { return events_.tick ? events_.tickMilliseconds : 250; }
    void Tick()
    {
        if (events_.tick)
            events_.tick();
    }
    bool StopWasRequested() const { return events_.stopRequested && events_.stopRequested() != 0; }

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
            Worker& w = workers_[wi];
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
            Worker w = workers_[lost[k]];
            workers_.erase(workers_.begin() + static_cast<long>(lost[k]));
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
        for (Worker& w : workers_)
            if (w.job != kNoJob)
                Finish(w.job, interrupted);
        workers_.clear();
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Finish(job, interrupted);
        }
    }

    void Finish(size_t job, const Outcome& outcome)
    {
        outcomes_[job] = outcome;
        ++finished_;
        if (events_.finished)
            events_.finished(job, outcome);
    }

    std::vector<Worker> workers_;

private:
    Platform& Self() { return static_cast<Platform&>(*this); }

    size_t Busy() const
    {
        size_t n = 0;
        for (const Worker& w : workers_)
            n += w.job != kNoJob;
        return n;
    }

    bool KeyInUse(size_t job) const
    {
        if (jobs_.exclusiveKeys.size() <= job || jobs_.exclusiveKeys[job].empty())
            return false;
        for (const Worker& w : workers_)
            if (w.job != kNoJob && jobs_.exclusiveKeys[w.job] == jobs_.exclusiveKeys[job])
                return true;
        return false;
    }

    // Hands the first pending job that may run now to each idle worker.
    void Dispatch()
    {
        for (size_t wi = 0; wi < workers_.size(); ++wi) {
            Worker& w = workers_[wi];
            if (w.job != kNoJob || w.dead)
                continue;
            auto it = pending_.begin();
            while (it != pending_.end() && KeyInUse(*it))
                ++it;
            if (it == pending_.end())
                break;
            size_t job = *it;
            pending_.erase(it);
            Outcome refused;
            if (jobs_.prepare && !prepared_[job]) {
                if (!jobs_.prepare(job, &arguments_[job], &refused)) {
                    Finish(job, refused);  // it runs nowhere; the worker takes the next one
                    --wi;
                    continue;
                }
                prepared_[job] = true;
            }
            if (Self().SendTask(w, job, arguments_[job])) {
                w.job = job;
                if (events_.started)
                    events_.started(job, Self().IdOf(w));
            } else {
                // The worker died between jobs: this one never reached it.
                pending_.push_front(job);
                w.dead = true;
            }
        }
        for (size_t wi = workers_.size(); wi-- > 0;) {
            if (!workers_[wi].dead)
                continue;
            Self().Retire(workers_[wi]);
            workers_.erase(workers_.begin() + static_cast<long>(wi));
            Replace();
        }
    }

    // Starts a worker in place of one that died, while jobs remain.
    void Replace()
    {
        if (pending_.empty())
            return;
        std::string error;
        if (++replacements_ > jobs_.count) {
            if (workers_.empty())
                FailPending("worker processes keep ending unexpectedly");
            return;
        }
        if (!Self().Spawn(&error) && workers_.empty())
            FailPending(error);
    }

    void FailPending(const std::string& why)
    {
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Outcome outcome;
            outcome.kind = Outcome::kNoWorker;
            outcome.detail = why;
            Finish(job, outcome);
        }
    }

    const PoolJobs& jobs_;
    const PoolEvents& events_;
    std::vector<Outcome> outcomes_;
    std::vector<std::string> arguments_;
    std::vector<bool> prepared_;
    std::deque<size_t> pending_;
    size_t finished_ = 0;
    size_t replacements_ = 0;
};

#endif
