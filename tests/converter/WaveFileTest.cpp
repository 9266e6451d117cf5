// The WAV writer on its own.
#include <gtest/gtest.h>

#include "MpegToWavConverter.h"
#include "TestSupport.h"

using qvtest::ReadFile;
using qvtest::TempDir;

TEST(WaveFile, ThreeBlocksOfEightBytes)
{
    TempDir dir;
    CMpegToWavConverter c("in.mp3", (dir / "out.wav").c_str());
    ASSERT_EQ(c.CreateWaveFile(), 0);
    unsigned char samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PcmBlock block = {2, 2, samples};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(c.WriteBlock(samples, block), 0);
    PcmBlock empty = {0, 0, samples};
    EXPECT_EQ(c.WriteBlock(samples, empty), 0);
    ASSERT_EQ(c.CloseWaveFile(), 0);

    std::vector<unsigned char> file = ReadFile(dir / "out.wav");
    ASSERT_EQ(file.size(), 68u);
    qvtest::WavHeader h = qvtest::ParseWavHeader(file);
    EXPECT_EQ(h.riff, "RIFF");
    EXPECT_EQ(h.wave, "WAVE");
    EXPECT_EQ(h.fmt, "fmt ");
    EXPECT_EQ(h.data, "data");
    EXPECT_EQ(h.dataOffset, 44u);
    EXPECT_EQ(h.riffSize, 60u);
    EXPECT_EQ(h.fmtSize, 16u);
    EXPECT_EQ(h.dataSize, 24u);
    EXPECT_EQ(h.formatTag, 1);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.sampleRate, 44100u);
    EXPECT_EQ(h.byteRate, 176400u);
    EXPECT_EQ(h.blockAlign, 4);
    EXPECT_EQ(h.bitsPerSample, 16);
}

TEST(WaveFile, DataOfExactlySixteenBytesKeepsItsSize)
{
    // The data chunk starts with the format chunk's 16 as its provisional size.
    TempDir dir;
    CMpegToWavConverter c("in.mp3", (dir / "out.wav").c_str());
    ASSERT_EQ(c.CreateWaveFile(), 0);
    unsigned char samples[16] = {};
    PcmBlock block = {2, 4, samples};
    ASSERT_EQ(c.WriteBlock(samples, block), 0);
    ASSERT_EQ(c.CloseWaveFile(), 0);
    qvtest::WavHeader h = qvtest::ParseWavHeader(ReadFile(dir / "out.wav"));
    EXPECT_EQ(h.dataSize, 16u);
    EXPECT_EQ(h.riffSize, 52u);
}

TEST(WaveFile, CloseWithoutAFileGives5)
{
    CMpegToWavConverter c("in.mp3", "unused.wav");
    EXPECT_EQ(c.CloseWaveFile(), QV_ERR_CLOSE_WAVE);
    EXPECT_FALSE(qvtest::Exists("unused.wav"));
}

TEST(WaveFile, CreateFailures)
{
    TempDir dir;
    for (std::string path : {std::string(), dir / "no/such/folder.wav", dir.path()}) {
        CMpegToWavConverter c("in.mp3", path.c_str());
        EXPECT_EQ(c.CreateWaveFile(), QV_ERR_CREATE_WAVE) << path;
        EXPECT_EQ(c.CloseWaveFile(), QV_ERR_CLOSE_WAVE) << "handle left open for " << path;
    }
}

TEST(WaveFile, DataLimitRefusesTheBlockThatWouldPassIt)
{
    TempDir dir;
    CMpegToWavConverter c("in.mp3", (dir / "out.wav").c_str());
    c.SetDataLimit(20);
    ASSERT_EQ(c.CreateWaveFile(), 0);
    unsigned char samples[16] = {};
    PcmBlock block = {2, 4, samples};
    EXPECT_EQ(c.WriteBlock(samples, block), 0);
    EXPECT_EQ(c.WriteBlock(samples, block), QV_ERR_WRITE_BLOCK);
    ASSERT_EQ(c.CloseWaveFile(), 0);
    EXPECT_EQ(ReadFile(dir / "out.wav").size(), 60u);
}

TEST(WaveFile, DefaultLimitKeepsSizesAndOffsetsWithin32Bits)
{
    EXPECT_EQ(CMpegToWavConverter::kMaxDataBytes % 4, 0u);
    EXPECT_LE(uint64_t{CMpegToWavConverter::kMaxDataBytes} + 44, 0xffffffffull);
    EXPECT_GT(uint64_t{CMpegToWavConverter::kMaxDataBytes} + 48, 0xffffffffull);
}
