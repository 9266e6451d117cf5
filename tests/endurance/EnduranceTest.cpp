// Many conversions in one process: whatever a run takes (memory, descriptors,
// loaded modules) it gives back. With the real decoder modules when they are
// built (the program sits beside them), else with the scripted doubles.
#include <dirent.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "Quorvan.h"
#include "TestSupport.h"
#if QV_ENDURANCE_REAL
#include "DecoderTestSupport.h"
#endif

namespace {

const int kConversions = 10000;
// The heap must come back to where it was: a loss of even a few bytes a call
// shows. Resident memory also holds what the allocator keeps for the decoder's
// threads and the loader's caches, which settle in steps.
const long kAllowedHeapBytes = 4096;
const long kAllowedPages = 32;

struct Usage {
    long residentPages = 0;
    long heapBytes = 0;  // in use in the main thread's heap
    int descriptors = 0;
};

Usage Measure()
{
    Usage u;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        long size;
        if (fscanf(f, "%ld %ld", &size, &u.residentPages) != 2)
            u.residentPages = 0;
        fclose(f);
    }
    struct mallinfo2 heap = mallinfo2();
    u.heapBytes = static_cast<long>(heap.uordblks + heap.hblkhd);
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++u.descriptors;
        closedir(d);
    }
    return u;
}

}  // namespace

TEST(Endurance, TenThousandConversionsKeepMemoryAndDescriptorsFlat)
{
#if QV_ENDURANCE_REAL
    qvtest::TempDir dir;
    const std::string input = dir / "short.mp3";
    if (!qvtest::HaveTool("lame"))
        GTEST_SKIP() << "lame is not installed";
    ASSERT_TRUE(qvtest::WriteTestSignal(dir / "short.wav", 44100, 2, 4410));
    ASSERT_TRUE(qvtest::RunCommand("lame --silent -b 128 '" + dir / "short.wav" + "' '" + input + "'"));
    const char* modules = "the real decoder modules";
#else
    qvtest::DoubleRig rig;
    rig.Script("block 0 2 4 1\nblock 0 2 1152 2\nblock 0 2 1152 3\n");
    qvtest::TempDir dir;
    const std::string input = rig.input();
    const char* modules = "the decoder doubles";
#endif
    const std::string output = dir / "out.wav";
    auto convert = [&] {
        CString out(output.c_str());
        return DecodeMpegToWav(CString(input.c_str()), out);
    };
    // Caches, the allocator's pools, lazily bound symbols and the measuring
    // itself settle first.
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(convert(), 0);
    Measure();

    Usage start = Measure();
    int failures = 0;
    for (int i = 0; i < kConversions; ++i)
        failures += convert() != 0;
    Usage end = Measure();
    long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
    printf("%d conversions with %s: resident %ld KiB -> %ld KiB, heap in use %ld -> %ld bytes, "
           "open descriptors %d -> %d\n",
           kConversions, modules, start.residentPages * pageKiB, end.residentPages * pageKiB, start.heapBytes,
           end.heapBytes, start.descriptors, end.descriptors);
    EXPECT_EQ(failures, 0);
#if !QV_ENDURANCE_SANITIZED
    EXPECT_LE(end.heapBytes - start.heapBytes, kAllowedHeapBytes);
    EXPECT_LE(end.residentPages - start.residentPages, kAllowedPages);
#endif
    EXPECT_EQ(end.descriptors, start.descriptors);
}

#if QV_ENDURANCE_REAL && !QV_ENDURANCE_SANITIZED
// One conversion of a long stream, in a process of its own so that its peak
// resident memory is its own: however long the stream and however many
// threads decode it, the decoder holds a bounded amount.
TEST(Endurance, LongStreamsPeakUnderSixteenMiB)
{
    if (!qvtest::HaveTool("lame"))
        GTEST_SKIP() << "lame is not installed";
    qvtest::TempDir dir;
    ASSERT_TRUE(qvtest::WriteTestSignal(dir / "part.wav", 44100, 2, 44100 * 20));
    ASSERT_TRUE(qvtest::RunCommand("lame --silent -b 192 '" + dir / "part.wav" + "' '" + dir / "part.mp3" + "'"));
    std::vector<unsigned char> part = qvtest::ReadFile(dir / "part.mp3");
    ASSERT_FALSE(part.empty());
    for (int minutes : {10, 60}) {
        // Written piece by piece: what this process holds, the child holds too.
        const std::string input = dir / (std::to_string(minutes) + ".mp3");
        FILE* f = fopen(input.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < minutes * 3; ++i)
            ASSERT_EQ(fwrite(part.data(), 1, part.size(), f), part.size());
        ASSERT_EQ(fclose(f), 0);
        for (const char* threads : {"2", "8"}) {
            SCOPED_TRACE(std::to_string(minutes) + " minutes, " + threads + " threads");
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                setenv("QUORVAN_DECODER_THREADS", threads, 1);
                CString out((dir / "long.wav").c_str());
                _exit(DecodeMpegToWav(CString(input.c_str()), out) == 0 ? 0 : 1);
            }
            int status = 0;
            struct rusage usage = {};
            ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
            printf("%d minutes, %s threads: peak resident %ld KiB\n", minutes, threads, usage.ru_maxrss);
            EXPECT_LT(usage.ru_maxrss, 16 * 1024);
            struct stat st = {};
            ASSERT_EQ(stat((dir / "long.wav").c_str(), &st), 0);
            EXPECT_GT(st.st_size, 44100LL * 4 * 60 * (minutes - 1));
        }
    }
}
#endif
