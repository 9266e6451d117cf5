// The command's parts in-process: option parsing, messages, the progress
// text, the WAV data size, and the worker pool with jobs that crash.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Conversion.h"
#include "Messages.h"
#include "Options.h"
#include "Progress.h"
#include "WorkerPool.h"

namespace {

bool Parse(std::vector<const char*> args, Options* o, std::string* error = nullptr)
{
    args.insert(args.begin(), "quorvan");
    std::string ignored;
    return ParseOptions(static_cast<int>(args.size()), args.data(), o, error ? error : &ignored);
}

TEST(Options, AcceptsTheUsualSpellingsAnywhereOnTheLine)
{
    Options o;
    for (auto args : std::vector<std::vector<const char*>>{
             {"-o", "out.wav", "in.mp3"}, {"in.mp3", "--output", "out.wav"}, {"--output=out.wav", "in.mp3"},
             {"-oout.wav", "in.mp3"}, {"-fqoout.wav", "in.mp3"}}) {
        ASSERT_TRUE(Parse(args, &o)) << args[0];
        EXPECT_EQ(o.inputs, std::vector<std::string>{"in.mp3"});
        EXPECT_EQ(o.output, "out.wav");
    }
    ASSERT_TRUE(Parse({"-j3", "a", "--jobs", "5", "-qf", "b"}, &o));
    EXPECT_EQ(o.jobs, 5u);
    EXPECT_TRUE(o.quiet && o.force);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a", "b"}));
    // After "--" and as "-", dashes are file names.
    ASSERT_TRUE(Parse({"-", "--", "-o", "--help"}, &o));
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"-", "-o", "--help"}));
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.jobs, 0u);  // the default: one per core
}

TEST(Options, RejectsWhatCannotBeMeant)
{
    Options o;
    std::string error;
    for (auto args : std::vector<std::vector<const char*>>{
             {}, {"-o"}, {"-o", "x"}, {"a", "b", "-o", "x"}, {"-o", "", "a"}, {"-o", "x", "-o", "y", "a"},
             {"-j", "0", "a"}, {"-j", "-2", "a"}, {"-j", "2x", "a"}, {"--jobs=", "a"}, {"-j", "99999", "a"},
             {"-x", "a"}, {"--frobnicate", "a"}, {"--force=yes", "a"}}) {
        error.clear();
        EXPECT_FALSE(Parse(args, &o, &error)) << (args.empty() ? "(nothing)" : args[0]);
        EXPECT_FALSE(error.empty());
    }
    // --help and --version need no input.
    EXPECT_TRUE(Parse({"--help"}, &o) && o.help);
    EXPECT_TRUE(Parse({"-V"}, &o) && o.version);
}

TEST(Messages, EveryResultCodeHasItsOwnWordsAndItsNumber)
{
    std::set<std::string> seen;
    for (int code : {1, 3, 4, 5, 6, 7, 8, 9, 10, 42}) {
        std::string text = ResultCodeText(code);
        EXPECT_NE(text.find("(code " + std::to_string(code) + ")"), std::string::npos) << text;
        EXPECT_TRUE(seen.insert(text.substr(0, text.find(" (code"))).second) << text;
    }
    Outcome noAudio;
    noAudio.kind = Outcome::kLibraryError;
    noAudio.code = 9;
    EXPECT_EQ(FailureLine("song.mp3", noAudio), "quorvan: song.mp3: no MPEG audio found in the file (code 9)");
    Outcome crash;
    crash.kind = Outcome::kCrashed;
    crash.code = SIGSEGV;
    EXPECT_NE(FailureLine("a.mp3", crash).find("crashed (signal 11, Segmentation fault)"), std::string::npos);
}

TEST(Progress, ShowsFilesElapsedTimeAndAudioRate)
{
    EXPECT_EQ(FormatProgress(0, 4, 0.2, 0), "0/4 files  0:00");
    EXPECT_EQ(FormatProgress(2, 5, 65.5, 131), "2/5 files  1:05  2.0 s of audio per second");
}

TEST(WavDataBytes, FindsTheDataChunkPastOthers)
{
    char path[] = "/tmp/quorvan-wav-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    // An odd-sized chunk is padded to an even size before the next one.
    std::ofstream(path, std::ios::binary) << "RIFF" << le32(0) << "WAVE" << "LIST" << le32(3) << "abc" << '\0'
                                          << "data" << le32(123456);
    EXPECT_EQ(WavDataBytes(path), 123456u);
    std::ofstream(path, std::ios::binary) << "not a wave file at all";
    EXPECT_EQ(WavDataBytes(path), 0u);
    unlink(path);
}

// Jobs that end their worker in every bad way; the others must still finish,
// each outcome in its own slot, with one worker or several.
TEST(WorkerPool, ReportsDyingWorkersAgainstTheirOwnJobAndFinishesTheRest)
{
    for (unsigned workers : {1u, 3u, 20u}) {
        PoolJobs jobs;
        jobs.count = 8;
        jobs.run = [](size_t i) -> Outcome {
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
    jobs.run = [&](size_t i) {
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

}  // namespace
