// The conversion run against the scripted decoder doubles: what each result
// code leaves on disk, what the decoder sees, and the teardown. The cases that
// need POSIX seams (file size limits, links) are in ConvertFaultTest.cpp.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ConvertSupport.h"

using namespace qvtest;

TEST(ConvertCopy, WritesBlocksTwoToNBehindTheExactHeader)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 10\nblock 0 2 4 20\nblock 0 2 100 30\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);

    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    const unsigned char header[44] = {
        'R', 'I', 'F', 'F', 36 + 416 - 256, 1, 0, 0, 'W', 'A', 'V', 'E',  // 452
        'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xac, 0, 0,  // PCM, 2 ch, 44100
        0x10, 0xb1, 2, 0, 4, 0, 16, 0,                                // 176400, 4, 16
        'd', 'a', 't', 'a', 416 - 256, 1, 0, 0};                      // 416
    ASSERT_EQ(file.size(), 44u + 416u);
    EXPECT_EQ(std::vector<unsigned char>(file.begin(), file.begin() + 44),
              std::vector<unsigned char>(header, header + 44));
    EXPECT_EQ(Data(file), Concat({Pattern(20, 16), Pattern(30, 400)}));
}

TEST(ConvertCopy, SingleBlockGivesAnEmptyDataChunk)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);
    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(qvtest::ParseWavHeader(file).riffSize, 36u);
    EXPECT_EQ(qvtest::ParseWavHeader(file).dataSize, 0u);
}

TEST(ConvertCopy, ErrorsWhileSynchronisingAreSkipped)
{
    DoubleRig rig;
    rig.Script("block 5 2 4 1\nblock -7 2 4 2\nblock 0 2 4 3\nblock 0 2 4 4\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);
    EXPECT_EQ(Data(ReadFile(rig.Path("out.wav"))), Pattern(4, 16));
}

TEST(ConvertCopy, ErrorValueAfterTheFirstBlockStillWritesTheBuffer)
{
    DoubleRig rig;
    // An error with a fresh block, then an error that leaves the last block in
    // place: both are written as the descriptor says.
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\nblock 42 2 2 60\nkeep 3\nblock 0 1 2 90\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);
    EXPECT_EQ(Data(ReadFile(rig.Path("out.wav"))),
              Concat({Pattern(2, 16), Pattern(60, 8), Pattern(60, 8), Pattern(90, 4)}));
}

TEST(ConvertCopy, ExistingOutputIsTruncatedAndRewritten)
{
    DoubleRig rig;
    qvtest::WriteFile(rig.Path("out.wav"), std::string(5000, 'x'));
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);
    EXPECT_EQ(ReadFile(rig.Path("out.wav")).size(), 44u + 16u);
}

TEST(ConvertDecoderContract, ParametersHandleAndReadCallback)
{
    DoubleRig rig;
    // The input holds "input bytes: the doubles read them through the callback".
    rig.Script("read 5 0\nread 1000 0\nread 4 0\nblock 0 2 4 1\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);

    std::vector<std::string> init = rig.LogLines("init ");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_NE(init[0].find("params=1,0,0,0,141,0 word=0"), std::string::npos) << init[0];

    std::vector<std::string> reads = rig.LogLines("read ");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0], "read 0 5 input");
    EXPECT_EQ(reads[1], "read -13 50  bytes: the doub");  // the rest, 50 bytes
    EXPECT_EQ(reads[2], "read -13 0 ");                  // at the end: nothing

    // masd_close exactly once, with the handle masd_init got, still holding
    // the instance, while the input and output were still open.
    std::vector<std::string> close = rig.LogLines("close ");
    ASSERT_EQ(close.size(), 1u);
    std::string handle = init[0].substr(5, init[0].find(' ', 5) - 5);
    EXPECT_EQ(close[0], "close " + handle + " set input=1 output=1");
}

TEST(ConvertDecoderContract, CallbackWithoutAnOpenInputReportsEndOfFile)
{
    ASSERT_EQ(g_pInputFile, nullptr);
    char buf[8];
    uint32_t length = sizeof buf;
    EXPECT_EQ(ReadInputCallback(buf, &length), DECODER_READ_SHORT);
    EXPECT_EQ(length, 0u);
    length = 0;
    EXPECT_EQ(ReadInputCallback(buf, &length), DECODER_OK);
}

TEST(ConvertTeardown, ClosesDecoderInputOutputThenModulesInOrder)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\n");
    ASSERT_EQ(Convert(rig, rig.Path("out.wav")), 0);
    std::vector<std::string> log = rig.Log();
    std::vector<std::string> tail(log.end() - 3, log.end());
    EXPECT_EQ(tail[0].substr(0, 6), "close ");
    EXPECT_EQ(tail[0].substr(tail[0].size() - 16), "input=1 output=1");
    EXPECT_EQ(tail[1], "unload ma32 input=0 output=0");
    EXPECT_EQ(tail[2], "unload masd32 input=0 output=0");
    EXPECT_EQ(g_pInputFile, nullptr);
}

namespace {

// The run whose decoder throws, checked from within: "" when all is well.
std::string RunWhoseDecoderThrows(const DoubleRig& rig)
{
    bool thrown = false;
    try {
        Convert(rig, rig.Path("out.wav"));
    } catch (...) {
        thrown = true;  // destroyed here: its module's code must still be mapped
    }
    std::vector<std::string> log = rig.Log();
    auto count = [&log](const char* prefix) {
        return std::count_if(log.begin(), log.end(), [prefix](const std::string& line) {
            return line.compare(0, strlen(prefix), prefix) == 0;
        });
    };
    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    WavHeader h = ParseWavHeader(file);
    if (!thrown)
        return "nothing thrown";
    if (count("close ") != 1 || count("unload") != 0 || g_pInputFile)
        return "decoder not closed once, input left open, or a module released";
    if (file.size() != 60 || h.riffSize != 52 || h.dataSize != 16 || Data(file) != Pattern(2, 16))
        return "WAV file not finished with the one block written";
    return "";
}

}  // namespace

TEST(ConvertTeardown, ExceptionFromTheDecoderClosesEverythingButItsModules)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\nthrow\n");
    // The modules stay loaded for the rest of the process, so the run has a
    // process of its own.
    EXPECT_EXIT(
        {
            std::string fault = RunWhoseDecoderThrows(rig);
            fprintf(stderr, "%s\n", fault.empty() ? "as expected" : fault.c_str());
            exit(fault.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "as expected");
}

TEST(ConvertFailures, NoModulesGives7AndOpensNothing)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    DoubleRig rig("full", qvtest::kNone);
    rig.Script("block 0 2 4 1\n");
    EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_LOAD_MODULES);
    EXPECT_FALSE(Exists(rig.Path("out.wav")));
    EXPECT_TRUE(rig.Log().empty());
}

TEST(ConvertFailures, OneModuleAloneGives8AndIsReleased)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    for (qvtest::Modules only : {qvtest::kOnlyMa32, qvtest::kOnlyMasd32}) {
        DoubleRig rig("full", only);
        rig.Script("block 0 2 4 1\n");
        EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_ENTRY_POINT);
        EXPECT_TRUE(rig.LogLines("init").empty());
        EXPECT_EQ(rig.LogLines("unload").size(), 1u);
        EXPECT_FALSE(Exists(rig.Path("out.wav")));
    }
}

TEST(ConvertFailures, RequiredEntryPointsAreChecked)
{
    for (const char* variant : {"no_version", "no_bitrate"}) {
        DoubleRig rig(variant);
        rig.Script("block 0 2 4 1\n");
        EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_ENTRY_POINT) << variant;
        EXPECT_TRUE(rig.LogLines("init").empty());
        EXPECT_EQ(rig.LogLines("unload").size(), 2u);
    }
    // The ID and layer descriptions are optional.
    DoubleRig rig("no_optional");
    rig.Script("block 0 2 4 1\n");
    EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_OK);
}

TEST(ConvertFailures, UnreadableInputGives1AfterBindingAndReleases)
{
    DoubleRig rig;
    // A missing file, and a folder (which the C runtime here opens as a stream).
    for (std::string input : {rig.Path("absent.mp3"), rig.dir()}) {
        CMpegToWavConverter converter(input.c_str(), rig.Path("out.wav").c_str());
        EXPECT_EQ(converter.Convert(), QV_ERR_OPEN_INPUT) << input;
        EXPECT_EQ(g_pInputFile, nullptr);
    }
    EXPECT_TRUE(rig.LogLines("init").empty());
    EXPECT_EQ(rig.LogLines("unload").size(), 4u);
    EXPECT_FALSE(Exists(rig.Path("out.wav")));
}

TEST(ConvertFailures, DecoderInitFailureGives10AndStillClosesTheNullHandle)
{
    DoubleRig rig;
    rig.Script("init 3\nblock 0 2 4 1\n");
    EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_DECODER_INIT);
    std::vector<std::string> close = rig.LogLines("close ");
    ASSERT_EQ(close.size(), 1u);
    EXPECT_NE(close[0].find(" null "), std::string::npos) << close[0];
    EXPECT_TRUE(rig.LogLines("decode").empty());
    EXPECT_FALSE(Exists(rig.Path("out.wav")));
    EXPECT_EQ(rig.LogLines("unload").size(), 2u);
}

TEST(ConvertFailures, EndBeforeAnyBlockGives9AndNoFile)
{
    DoubleRig rig;
    rig.Script("block 4 2 4 1\n");
    EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_NO_AUDIO);
    EXPECT_FALSE(Exists(rig.Path("out.wav")));
    EXPECT_EQ(rig.LogLines("close ").size(), 1u);
}

TEST(ConvertFailures, UncreatableOutputGives4AndStopsDecoding)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\n");
    for (std::string output : {rig.Path("missing/out.wav"), rig.dir()}) {
        EXPECT_EQ(Convert(rig, output), QV_ERR_CREATE_WAVE) << output;
    }
    EXPECT_EQ(rig.LogLines("decode").size(), 2u);  // one synchronising call per run
    EXPECT_EQ(rig.LogLines("close ").size(), 2u);
    EXPECT_FALSE(Exists(rig.Path("missing")));
}

TEST(ConvertFailures, BlockLargerThanTheSampleBufferStopsWith6)
{
    DoubleRig rig;
    // 2 x 2 x 2305 = 9220 bytes, then a count product that wraps to 0 in 32 bits.
    for (const char* bad : {"block 0 2 2305 3\n", "block 0 65536 65536 3\n"}) {
        rig.Script(std::string("block 0 2 4 1\nblock 0 2 4 2\n") + bad + "block 0 2 4 4\n");
        EXPECT_EQ(Convert(rig, rig.Path("out.wav")), QV_ERR_WRITE_BLOCK) << bad;
        std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
        ExpectFinished(file);
        EXPECT_EQ(Data(file), Pattern(2, 16)) << bad;
    }
}

TEST(ConvertFailures, DataLimitStopsWith6BeforeTheSizesWrap)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nrepeat 5 block 0 2 4 10\n");
    EXPECT_EQ(Convert(rig, rig.Path("out.wav"), 40), QV_ERR_WRITE_BLOCK);
    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    ExpectFinished(file);
    EXPECT_EQ(Data(file), Concat({Pattern(10, 16), Pattern(11, 16)}));
}

