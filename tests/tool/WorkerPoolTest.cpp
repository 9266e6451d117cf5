// The worker pool on POSIX systems, in-process: jobs that crash their
// worker, exclusive keys, preparing in the parent and stopping on request;
// and how crashes and stops are named. (Windows starts its workers anew, so
// a job cannot be a closure of the test there: tests/windows tests them
// through quorvan.exe.)
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Messages.h"
#include "TestSupport.h"
#include "WorkerPool.h"
#include "WorkerProcess.h"

namespace {

TEST(Messages, CrashesAndStopsNameTheirSignal)
{
    Outcome crash;
    crash.kind = Outcome::kCrashed;
    crash.code = SIGSEGV;
    EXPECT_NE(FailureLine("a.mp3", crash).find("crashed (signal 11, Segmentation fault)"), std::string::npos);
    Outcome stopped;
    stopped.kind = Outcome::kInterrupted;
    stopped.code = SIGINT;
    EXPECT_EQ(FailureLine("a.mp3", stopped), "quorvan: a.mp3: not converted: the run was stopped (signal 2, Interrupt)");
}

// Jobs that end their worker in every bad way; the others must still finish,
// each outcome in its own slot, with one worker or several.
TEST(WorkerPool, ReportsDyingWorkersAgainstTheirOwnJobAndFinishesTheRest)
{
    for (unsigned workers : {1u, 3u, 20u}) {
        PoolJobs jobs;
        jobs.count = 8;
        jobs.run = [](size_t i, const std::string&) -> Outcome {
            if (i == 1)
                abort();
            if (i == 4)
                _exit(7);
            if (i == 6)
                kill(getpid(), SIGKILL);
            Outcome o;
            o.output = "out" + std::to_string(i) + std::string(i * 1000, 'x');  // beyond one pipe write
            o.code = static_cast<int32_t>(getpid());
            return o;
        };
        std::vector<int> finishedCount(jobs.count, 0);
        PoolEvents events;
        events.finished = [&](size_t i, const Outcome&) { ++finishedCount[i]; };
        std::vector<Outcome> out = RunInWorkers(jobs, workers, events);

        ASSERT_EQ(out.size(), jobs.count);
        EXPECT_EQ(finishedCount, std::vector<int>(jobs.count, 1));
        EXPECT_EQ(out[1].kind, Outcome::kCrashed);
        EXPECT_EQ(out[1].code, SIGABRT);
        EXPECT_EQ(out[4].kind, Outcome::kWorkerExited);
        EXPECT_EQ(out[4].code, 7);
        EXPECT_EQ(out[6].kind, Outcome::kCrashed);
        EXPECT_EQ(out[6].code, SIGKILL);
        for (size_t i : {0, 2, 3, 5, 7}) {
            EXPECT_TRUE(out[i].Ok()) << i;
            EXPECT_EQ(out[i].output, "out" + std::to_string(i) + std::string(i * 1000, 'x'));
            EXPECT_NE(out[i].code, getpid()) << "job " << i << " ran in the parent";
        }
    }
}

TEST(WorkerPool, NeverRunsTwoJobsWithTheSameKeyAtOnce)
{
    char dir[] = "/tmp/quorvan-pool-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    PoolJobs jobs;
    jobs.count = 6;
    jobs.exclusiveKeys = {"same", "same", "", "same", "other", "other"};
    jobs.run = [&](size_t i, const std::string&) {
        // A marker per key, created exclusively: a second holder fails.
        std::string marker = std::string(dir) + "/" + (jobs.exclusiveKeys[i].empty() ? "none" + std::to_string(i)
                                                                                      : jobs.exclusiveKeys[i]);
        Outcome o;
        int fd = open(marker.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0) {
            o.kind = Outcome::kLibraryError;
            return o;
        }
        usleep(30000);
        close(fd);
        unlink(marker.c_str());
        return o;
    };
    int ticks = 0;
    PoolEvents events;
    events.tick = [&] { ++ticks; };
    events.tickMilliseconds = 5;
    for (const Outcome& o : RunInWorkers(jobs, 4, events))
        EXPECT_TRUE(o.Ok());
    EXPECT_GT(ticks, 0);
    rmdir(dir);
}

// Jobs the parent refuses never reach a worker; the others get the argument
// the parent prepared for them. A stop request ends the running job's worker
// (which removes the file it marked as unfinished) and reports every job not
// done as interrupted.
TEST(WorkerPool, PreparesInTheParentAndStopsOnRequest)
{
    qvtest::TempDir dir;
    PoolJobs jobs;
    jobs.count = 4;
    jobs.prepare = [](size_t i, std::string* argument, Outcome* refused) {
        *argument = "job" + std::to_string(i);
        refused->kind = Outcome::kRefused;
        return i != 1;
    };
    jobs.run = [&](size_t i, const std::string& argument) {
        Outcome o;
        o.output = argument;
        if (i == 2) {
            SetUnfinishedFile(dir / "unfinished");
            qvtest::WriteFile(dir / "unfinished", "partial");
            for (;;)
                pause();
        }
        return o;
    };
    bool stop = false;
    PoolEvents events;
    events.started = [&](size_t i, long) { stop = stop || i == 2; };
    events.stopRequested = [&] { return stop ? SIGTERM : 0; };
    std::vector<Outcome> out = RunInWorkers(jobs, 1, events);
    EXPECT_TRUE(out[0].Ok());
    EXPECT_EQ(out[0].output, "job0");
    EXPECT_EQ(out[1].kind, Outcome::kRefused);
    for (size_t i : {2, 3}) {
        EXPECT_EQ(out[i].kind, Outcome::kInterrupted) << i;
        EXPECT_EQ(out[i].code, SIGTERM);
    }
    EXPECT_FALSE(qvtest::Exists(dir / "unfinished"));
}

}  // namespace
