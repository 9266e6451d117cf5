// Many conversions in one process: whatever a run takes (memory, descriptors,
// loaded modules) it gives back. With the real decoder modules when they are
// built (the program sits beside them), else with the scripted doubles.
#include <dirent.h>
#include <malloc.h>
#include <stdio.h>
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
