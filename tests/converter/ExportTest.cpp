// The library as a host sees it: libQuorvan.so and its one export.
#include <gtest/gtest.h>

#include <thread>

#include "Quorvan.h"
#include "TestSupport.h"

using qvtest::DoubleRig;
using qvtest::Pattern;
using qvtest::ReadFile;

TEST(Export, ConvertsNBlocksThroughTheSharedLibrary)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nrepeat 20 block 0 2 1152 100\n");
    CString input(rig.input().c_str());
    CString output(rig.Path("out.wav").c_str());
    LPCSTR before = output;
    ASSERT_EQ(DecodeMpegToWav(input, output), 0);
    // A path the caller gave is used as given and the string is not touched.
    EXPECT_EQ(static_cast<LPCSTR>(output), before);
    EXPECT_EQ(std::string(output), rig.Path("out.wav"));

    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    ASSERT_EQ(file.size(), 44u + 20u * 4608u);
    for (uint32_t i = 0; i < 20; ++i) {
        std::vector<unsigned char> block(file.begin() + 44 + i * 4608, file.begin() + 44 + (i + 1) * 4608);
        ASSERT_EQ(block, Pattern(100 + i, 4608)) << "block " << i + 2;
    }
}

TEST(Export, FailuresLeaveTheCallersStringAlone)
{
    DoubleRig rig;
    CString input(rig.input().c_str());
    for (const char* script : {"init 1\n", "block 1001 0 0 0\n", "block 0 2 4 1\nblock 0 2 2305 1\n"}) {
        rig.Script(script);
        CString output(rig.Path("out.wav").c_str());
        LPCSTR before = output;
        EXPECT_NE(DecodeMpegToWav(input, output), 0) << script;
        EXPECT_EQ(static_cast<LPCSTR>(output), before);
        EXPECT_EQ(std::string(output), rig.Path("out.wav"));
    }
    CString missing(rig.Path("missing.mp3").c_str()), output(rig.Path("out.wav").c_str());
    EXPECT_EQ(DecodeMpegToWav(missing, output), QV_ERR_OPEN_INPUT);
}

TEST(Export, ManyCallsInOneProcess)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nrepeat 3 block 0 2 576 0\n");
    CString input(rig.input().c_str());
    for (int i = 0; i < 200; ++i) {
        CString output(rig.Path("out.wav").c_str());
        ASSERT_EQ(DecodeMpegToWav(input, output), 0) << "call " << i;
    }
    EXPECT_EQ(rig.LogLines("close ").size(), 200u);
    EXPECT_EQ(rig.LogLines("unload masd32").size(), 200u);
}

// Calls from two threads at once take turns: each loads the modules, reads its
// input through the callback and writes its file with no other call between,
// and every call gets the result and the file it would get alone.
TEST(Export, ConcurrentCallsTakeTurns)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nread 16 0\nrepeat 4 block 0 2 1152 100\nread 16 0\n");
    const int kCalls = 20;
    std::vector<int> results[2];
    auto calls = [&](int thread) {
        for (int i = 0; i < kCalls; ++i) {
            CString input(rig.input().c_str());
            CString output(rig.Path("out" + std::to_string(thread) + ".wav").c_str());
            results[thread].push_back(DecodeMpegToWav(input, output));
        }
    };
    std::thread first(calls, 0), second(calls, 1);
    first.join();
    second.join();

    for (const std::vector<int>& r : results)
        EXPECT_EQ(r, std::vector<int>(kCalls, 0));
    for (const char* name : {"out0.wav", "out1.wav"}) {
        std::vector<unsigned char> file = ReadFile(rig.Path(name));
        ASSERT_EQ(file.size(), 44u + 4u * 4608u) << name;
        EXPECT_EQ(std::vector<unsigned char>(file.end() - 4608, file.end()), Pattern(103, 4608)) << name;
    }
    // Each call's lines come together, the same for every call: its module
    // loaded, both reads whole, the module unloaded, then the next call.
    std::vector<std::string> seen;
    for (const std::string& line : rig.Log())
        if (line.rfind("load masd32", 0) == 0 || line.rfind("read ", 0) == 0 || line.rfind("unload masd32", 0) == 0)
            seen.push_back(line);
    ASSERT_EQ(seen.size(), 4u * 2 * kCalls);
    EXPECT_EQ(seen[0], "load masd32");
    EXPECT_EQ(seen[1].rfind("read 0 16 ", 0), 0u) << seen[1];
    for (size_t i = 4; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], seen[i % 4]) << "line " << i;
}
