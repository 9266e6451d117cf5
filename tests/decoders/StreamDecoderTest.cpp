// The native-rate decoder and the resampler, without the modules around them:
// conformance at the stream's own rate, the chosen results for odd streams,
// confirmation against random data, tags, and damage.
#include <gtest/gtest.h>

#include <stdio.h>

#include <random>
#include <thread>

#include "Conformance.h"
#include "DecoderTestSupport.h"
#include "SampleConversion.h"
#include "StereoResampler.h"
#include "StreamDecoding.h"

using namespace qvtest;

namespace {

// ---- Conformance at the stream's own rate ----------------------------------

class StandardVectorTest : public ::testing::TestWithParam<ConformanceVector> {};

TEST_P(StandardVectorTest, DecodesWithinOneLsbOfTheReference)
{
    const ConformanceVector& v = GetParam();
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    NativeDecode d = DecodeNative(ReadFile(dir + "/standard/" + v.name + ".bit"));
    ASSERT_TRUE(d.ended);
    ASSERT_FALSE(d.formats.empty());
    EXPECT_EQ(d.formats.front().rate, v.rate);
    if (v.channels) {
        EXPECT_EQ(d.formats.size(), 1u) << "format changed within the stream";
    }
    EXPECT_EQ(d.frames, v.frames);

    ConformanceResult r = MeasureConformance(v, d.stereo);
    ASSERT_TRUE(r.referenceFound);
    printf("[ native ] %-20s %7zu frames compared, offset %4zu: max |diff| %5d, PSNR %6.1f dB %s\n", v.name,
           r.compared, r.offset, r.maxAbs, r.psnr, r.note.c_str());
    if (!v.gated)
        return;
    EXPECT_GT(r.compared, v.frames * 9 / 10);
    EXPECT_LE(r.maxAbs, 1);
    EXPECT_GE(r.psnr, 96.0);
}

std::string VectorName(const ::testing::TestParamInfo<ConformanceVector>& info)
{
    std::string name = info.param.name;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Standard, StandardVectorTest, ::testing::ValuesIn(StandardVectors()), VectorName);

// ---- Odd and broken streams: the results we chose ---------------------------

struct OddStream {
    const char* file;
    long frames;       // per channel at the stream's rate; -1: any amount
    bool matchesPcm;   // the decode is within 1 LSB of the .pcm over the .pcm's length
};

// A stream of a single frame gives no audio: one frame cannot be told from a
// chance match in other data. Damaged frames are decoded (libmpg123 conceals
// them) rather than dropped, and a rate change mid-stream is decoded through.
const OddStream kOddStreams[] = {
    {"nonstandard/ILL2_center2.bit", 0, false},       {"nonstandard/ILL2_dual.bit", 0, false},
    {"nonstandard/ILL2_dynx22.bit", 0, false},        {"nonstandard/ILL2_dynx31.bit", 0, false},
    {"nonstandard/ILL2_dynx32.bit", 0, false},        {"nonstandard/ILL2_mono.bit", 0, false},
    {"nonstandard/ILL2_multilingual.bit", 0, false},  {"nonstandard/ILL2_overalloc1.bit", 0, false},
    {"nonstandard/ILL2_overalloc2.bit", 0, false},    {"nonstandard/ILL2_prediction.bit", 0, false},
    {"nonstandard/ILL2_samples.bit", 0, false},       {"nonstandard/ILL2_scf63.bit", 0, false},
    {"nonstandard/ILL2_tca21.bit", 0, false},         {"nonstandard/ILL2_tca30.bit", 0, false},
    {"nonstandard/ILL2_tca30_PC.bit", 0, false},      {"nonstandard/ILL2_tca31_PC.bit", 0, false},
    {"nonstandard/ILL2_tca31_mtx0.bit", 0, false},    {"nonstandard/ILL2_tca31_mtx2.bit", 0, false},
    {"nonstandard/ILL2_tca32_PC.bit", 0, false},      {"nonstandard/ILL2_wrongcrc.bit", 0, false},
    {"nonstandard/ILL4_ext_id1.bit", 0, false},       {"nonstandard/ILL4_sync.bit", 0, false},
    {"nonstandard/ILL4_wrong_length1.bit", 0, false}, {"nonstandard/ILL4_wrong_length2.bit", 0, false},
    {"nonstandard/ILL4_wrongcrc.bit", 0, false},
    {"nonstandard/ILL2_ext_switching.bit", 10368, true},
    {"nonstandard/ILL2_layer1.bit", 1152, true},
    {"nonstandard/ILL2_layer3.bit", 11520, true},
    {"nonstandard/l2-nonstandard-fl1_fl2_ff.bit", -1, false},
    {"nonstandard/l2-nonstandard-free_format.bit", -1, false},
    {"nonstandard/l2-nonstandard-test32-size.bit", 72576, false},
    {"nonstandard/l3-nonstandard-compl-sideinfo-bigvalues.bit", 248832, false},
    {"nonstandard/l3-nonstandard-compl-sideinfo-blocktype.bit", 248832, false},
    {"nonstandard/l3-nonstandard-compl-sideinfo-size.bit", 248832, false},
    {"nonstandard/l3-nonstandard-he_44_48khz.bit", 472320 + 172800, false},
    {"nonstandard/l3-nonstandard-id3v2.bit", 0, false},
    {"nonstandard/l3-nonstandard-id3v2-only.bit", 0, false},
    {"nonstandard/l3-nonstandard-id3v1.bit", 0, false},
    {"nonstandard/l3-nonstandard-apetag.bit", 0, false},
    {"nonstandard/l3-nonstandard-id3v1-apetag.bit", 0, false},
    {"nonstandard/l3-nonstandard-vbrtag-only.bit", 0, false},
    {"nonstandard/l3-nonstandard-vbrtag-empty.bit", 0, false},
    {"nonstandard/l3-nonstandard-vbrtag-noframes.bit", 0, false},
    {"nonstandard/l3-nonstandard-vbrtag-corrupted.bit", 0, false},
    {"nonstandard/l3-nonstandard-vbrtag-oob-read.bit", 0, false},
    {"nonstandard/l3-nonstandard-small.bit", 0, false},
    {"nonstandard/l3-nonstandard-sideinfo-size.bit", 0, false},
    {"nonstandard/l3-nonstandard-big-iscf.bit", -1, false},
    {"nonstandard/l3-compl-cut.mp3", 0, false},
    // Gapless: the encoder's delay and padding are trimmed.
    {"nonstandard/l3-nonstandard-sin1k0db_lame_vbrtag.bit", 362880, true},
    // MPEG-2.5 with a Xing frame: trimmed as well; digital silence.
    {"extra/silence-44-s-mpeg25.mp3", 44217, false},
};

TEST(OddStreams, EachGivesTheChosenResultWithoutHanging)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    for (const OddStream& s : kOddStreams) {
        SCOPED_TRACE(s.file);
        std::vector<unsigned char> bytes = ReadFile(dir + "/" + s.file);
        ASSERT_FALSE(bytes.empty());
        NativeDecode d = DecodeNative(bytes, 200000);
        ASSERT_TRUE(d.ended) << "no end after " << d.calls << " calls";
        if (s.frames >= 0) {
            EXPECT_EQ(static_cast<long>(d.frames), s.frames);
        }
        if (s.matchesPcm) {
            std::string pcm = dir + "/" + std::string(s.file, strlen(s.file) - 4) + ".pcm";
            std::vector<int16_t> ref = ReadRawPcm(pcm);
            ASSERT_EQ(ref.size(), d.samples.size());
            Diff diff = Compare(d.samples.data(), ref.data(), ref.size());
            EXPECT_LE(diff.maxAbs, 1);
            EXPECT_GE(diff.psnr, 96.0);
        }
    }
}

TEST(OddStreams, RateChangeMidStreamIsDecodedThroughAndMpeg25SilenceStaysSilent)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    NativeDecode both = DecodeNative(ReadFile(dir + "/nonstandard/l3-nonstandard-he_44_48khz.bit"));
    ASSERT_EQ(both.formats.size(), 2u);
    EXPECT_EQ(both.formats[0].rate, 44100);
    EXPECT_EQ(both.formats[1].rate, 48000);
    EXPECT_EQ(both.formatStarts[1], 472320u);
    // The first part is the 44.1 kHz stream, exactly as decoded on its own.
    NativeDecode first = DecodeNative(ReadFile(dir + "/standard/l3-he_44khz.bit"));
    ASSERT_EQ(first.samples.size(), 472320u);
    EXPECT_TRUE(std::equal(first.samples.begin(), first.samples.end(), both.samples.begin()));

    NativeDecode silence = DecodeNative(ReadFile(dir + "/extra/silence-44-s-mpeg25.mp3"));
    ASSERT_EQ(silence.formats.size(), 1u);
    EXPECT_EQ(silence.formats[0].rate, 12000);
    EXPECT_EQ(silence.formats[0].channels, 2);
    for (int16_t s : silence.samples)
        ASSERT_EQ(s, 0);
}

// ---- Damaged conformance streams: never a crash, a hang or a printed line ----

TEST(MutatedStreams, EndQuietlyWhateverTheDamage)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    std::vector<std::vector<unsigned char>> seeds;
    for (const char* name : {"standard/l1-fl5.bit", "standard/l2-fl10.bit", "standard/l2-test32.bit",
                             "standard/l3-he_free.bit", "standard/l3-hecommon.bit", "standard/M2L3_noise.bit",
                             "extra/silence-44-s-mpeg25.mp3",
                             "nonstandard/l3-nonstandard-sin1k0db_lame_vbrtag.bit"})
        seeds.push_back(ReadFile(dir + "/" + name));
    std::mt19937 rng(2024);
    ScratchDir scratch;
    int unfinished = 0;
    {
        CapturedOutput capture(scratch.Path("output.txt"));
        for (int i = 0; i < 240; ++i) {
            std::vector<unsigned char> b = seeds[rng() % seeds.size()];
            switch (rng() % 4) {
            case 0:  // flipped bits
                for (unsigned k = 0, n = 1 + rng() % 200; k < n; ++k)
                    b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
                break;
            case 1: {  // overwritten with junk
                size_t at = rng() % b.size();
                for (size_t k = at; k < std::min(b.size(), at + rng() % 3000); ++k)
                    b[k] = static_cast<unsigned char>(rng());
                break;
            }
            case 2:  // cut short
                b.resize(rng() % b.size());
                break;
            default: {  // a piece of itself inserted anywhere
                size_t from = rng() % b.size();
                size_t n = std::min<size_t>(b.size() - from, rng() % 20000);
                std::vector<unsigned char> piece(b.begin() + static_cast<ptrdiff_t>(from),
                                                 b.begin() + static_cast<ptrdiff_t>(from + n));
                b.insert(b.begin() + static_cast<ptrdiff_t>(rng() % b.size()), piece.begin(), piece.end());
            }
            }
            if (!DecodeNative(b, 200000).ended)
                ++unfinished;
        }
    }
    EXPECT_EQ(unfinished, 0);
    std::vector<unsigned char> printed = ReadFile(scratch.Path("output.txt"));
    EXPECT_TRUE(printed.empty()) << std::string(printed.begin(), printed.end());
}

// ---- Confirmation: no audio out of data that only looks like it -------------

TEST(Confirmation, RandomDataGivesNoAudio)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        NativeDecode d = DecodeNative(RandomBytes(300000, seed));
        EXPECT_TRUE(d.ended);
        EXPECT_EQ(d.chunks, 0);
    }
}

TEST(Confirmation, ScatteredValidHeadersInRandomDataGiveNoAudio)
{
    // Layer III, MPEG-1, 128 kbps, 44.1 kHz headers every few hundred bytes,
    // never at the distance a real frame would put the next one.
    const unsigned char kHeader[4] = {0xFF, 0xFB, 0x90, 0x64};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        std::vector<unsigned char> b = RandomBytes(200000, seed + 100);
        std::mt19937 rng(seed);
        for (size_t pos = 100; pos + 4 < b.size(); pos += 150 + rng() % 300)
            std::copy(kHeader, kHeader + 4, b.begin() + static_cast<ptrdiff_t>(pos));
        NativeDecode d = DecodeNative(b);
        EXPECT_TRUE(d.ended);
        EXPECT_EQ(d.chunks, 0);
    }
}

TEST(Confirmation, RepeatingBlocksLikeMachineCodeGiveNoAudio)
{
    // Program code repeats blocks at fixed distances, and 0xFFFF reads as an
    // MPEG-1 Layer I header (here 128 kbps at 32 kHz: 192 bytes a frame).
    std::vector<unsigned char> block = RandomBytes(192, 77);
    const unsigned char kHeader[4] = {0xFF, 0xFF, 0x48, 0x8B};
    std::copy(kHeader, kHeader + 4, block.begin());
    std::vector<unsigned char> b = RandomBytes(5000, 78);
    for (int i = 0; i < 12; ++i)
        b.insert(b.end(), block.begin(), block.end());
    std::vector<unsigned char> tail = RandomBytes(5000, 79);
    b.insert(b.end(), tail.begin(), tail.end());
    NativeDecode d = DecodeNative(b);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.chunks, 0);
}

TEST(Confirmation, InputIsReadInLargePieces)
{
    std::vector<unsigned char> b = RandomBytes(1 << 20, 7);
    MemorySource source(b);
    quorvan::MpegStreamDecoder decoder(source);
    ASSERT_EQ(decoder.Open(), 0);
    quorvan::PcmChunk chunk;
    while (decoder.Next(&chunk) != quorvan::MpegStreamDecoder::kEnd) {
    }
    EXPECT_LE(source.reads, (b.size() / quorvan::MpegStreamDecoder::kReadChunk) + 2);
}

// ---- Generated streams: tags, junk, damage -----------------------------------

class GeneratedStream : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!HaveTool("lame"))
            return;
        s_dir = new ScratchDir;
        std::string wav = s_dir->Path("in.wav");
        if (WriteTestSignal(wav, 44100, 2, 44100 * 3) &&
            RunCommand("lame --quiet -b 128 '" + wav + "' '" + s_dir->Path("clean.mp3") + "'"))
            s_clean = new std::vector<unsigned char>(ReadFile(s_dir->Path("clean.mp3")));
    }
    static void TearDownTestSuite()
    {
        delete s_clean;
        delete s_dir;
        s_clean = nullptr;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        if (!s_clean || s_clean->empty())
            GTEST_SKIP() << "lame not available";
        m_reference = DecodeNative(*s_clean);
        ASSERT_EQ(m_reference.frames, 44100u * 3);
    }
    static ScratchDir* s_dir;
    static std::vector<unsigned char>* s_clean;
    NativeDecode m_reference;
};
ScratchDir* GeneratedStream::s_dir = nullptr;
std::vector<unsigned char>* GeneratedStream::s_clean = nullptr;

std::vector<unsigned char> ApeTag()
{
    std::vector<unsigned char> item = {5, 0, 0, 0, 0, 0, 0, 0, 'T', 'i', 't', 'l', 'e', 0, 0xFF, 0xFB, 0x90, 0x64, 0};
    auto block = [&](bool header) {
        std::vector<unsigned char> b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
        uint32_t size = static_cast<uint32_t>(item.size() + 32);
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<unsigned char>(size >> (8 * i)));
        b.insert(b.end(), {1, 0, 0, 0});
        b.insert(b.end(), {0, 0, 0, static_cast<unsigned char>(header ? 0xA0 : 0x80)});
        b.insert(b.end(), 8, 0);
        return b;
    };
    std::vector<unsigned char> tag = block(true);
    tag.insert(tag.end(), item.begin(), item.end());
    std::vector<unsigned char> footer = block(false);
    tag.insert(tag.end(), footer.begin(), footer.end());
    return tag;
}

std::vector<unsigned char> Id3v1Tag()
{
    std::vector<unsigned char> tag(128, 0xFF);
    tag[0] = 'T';
    tag[1] = 'A';
    tag[2] = 'G';
    return tag;
}

TEST_F(GeneratedStream, TagsAreSkippedAndNeverDecoded)
{
    struct Case {
        const char* what;
        std::vector<unsigned char> front, back;
    };
    const Case cases[] = {
        {"ID3v2 with 3 MB of cover art", Id3v2Tag(3 << 20, false, 1), {}},
        {"ID3v2 with footer", Id3v2Tag(5000, true, 2), {}},
        {"ID3v1", {}, Id3v1Tag()},
        {"APE", {}, ApeTag()},
        {"ID3v2, APE and ID3v1", Id3v2Tag(20000, true, 3), [] {
             std::vector<unsigned char> b = ApeTag(), v1 = Id3v1Tag();
             b.insert(b.end(), v1.begin(), v1.end());
             return b;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> b = c.front;
        b.insert(b.end(), s_clean->begin(), s_clean->end());
        b.insert(b.end(), c.back.begin(), c.back.end());
        NativeDecode d = DecodeNative(b);
        ASSERT_TRUE(d.ended);
        EXPECT_EQ(d.samples, m_reference.samples);
    }
}

TEST_F(GeneratedStream, JoinedFilesDecodeAsEachOnItsOwn)
{
    // Each part's Info frame is dropped and each part's delay and padding
    // trimmed, so the seam adds and loses nothing.
    std::vector<unsigned char> b = *s_clean;
    b.insert(b.end(), s_clean->begin(), s_clean->end());
    b.insert(b.end(), s_clean->begin(), s_clean->end());
    NativeDecode d = DecodeNative(b);
    std::vector<int16_t> expected = m_reference.samples;
    expected.insert(expected.end(), m_reference.samples.begin(), m_reference.samples.end());
    expected.insert(expected.end(), m_reference.samples.begin(), m_reference.samples.end());
    EXPECT_EQ(d.samples, expected);
}

TEST_F(GeneratedStream, JunkInFrontIsSkipped)
{
    for (size_t junk : {size_t(1), size_t(417), size_t(5000), size_t(200000)}) {
        SCOPED_TRACE(junk);
        std::vector<unsigned char> b = RandomBytes(junk, static_cast<unsigned>(junk));
        b.insert(b.end(), s_clean->begin(), s_clean->end());
        NativeDecode d = DecodeNative(b);
        EXPECT_EQ(d.samples, m_reference.samples);
    }
}

// The decode of a damaged stream goes on to the end: its last half second
// (after the damage) equals the clean decode's, and little is lost overall.
void ExpectRecovered(const NativeDecode& d, const NativeDecode& clean, size_t maxLostFrames)
{
    ASSERT_TRUE(d.ended);
    ASSERT_GE(d.frames + maxLostFrames, clean.frames);
    size_t tail = 44100;  // values: half a second of stereo
    ASSERT_GE(d.samples.size(), tail);
    EXPECT_TRUE(std::equal(d.samples.end() - static_cast<ptrdiff_t>(tail), d.samples.end(),
                           clean.samples.end() - static_cast<ptrdiff_t>(tail)));
}

TEST_F(GeneratedStream, JunkInTheMiddleIsSkippedAndDecodingResumes)
{
    for (size_t junk : {size_t(3), size_t(2000), size_t(100000)}) {
        SCOPED_TRACE(junk);
        std::vector<unsigned char> b(s_clean->begin(), s_clean->begin() + 20000);
        std::vector<unsigned char> j = RandomBytes(junk, static_cast<unsigned>(junk) + 9);
        b.insert(b.end(), j.begin(), j.end());
        b.insert(b.end(), s_clean->begin() + 20000, s_clean->end());
        ExpectRecovered(DecodeNative(b), m_reference, 3 * 1152);
    }
}

TEST_F(GeneratedStream, FlippedBitsAreSurvived)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        std::vector<unsigned char> b = *s_clean;
        std::mt19937 rng(seed);
        // Damage the first half only, headers included.
        size_t span = b.size() / 2;
        for (int i = 0; i < 60; ++i)
            b[rng() % span] ^= static_cast<unsigned char>(1u << (rng() % 8));
        ExpectRecovered(DecodeNative(b), m_reference, 20 * 1152);
    }
}

TEST_F(GeneratedStream, TruncatedEndKeepsEverythingBeforeIt)
{
    for (size_t cut : {s_clean->size() / 2 + 7, s_clean->size() - 100}) {
        SCOPED_TRACE(cut);
        std::vector<unsigned char> b(s_clean->begin(), s_clean->begin() + static_cast<ptrdiff_t>(cut));
        NativeDecode d = DecodeNative(b);
        ASSERT_TRUE(d.ended);
        // Everything up to the last whole frame, as in the clean decode.
        double fraction = static_cast<double>(cut) / static_cast<double>(s_clean->size());
        EXPECT_GE(d.frames + 3 * 1152, static_cast<size_t>(fraction * static_cast<double>(m_reference.frames)));
        ASSERT_LE(d.samples.size(), m_reference.samples.size());
        EXPECT_TRUE(std::equal(d.samples.begin(), d.samples.end(), m_reference.samples.begin()));
    }
}

struct JunkPattern {
    size_t every, minJunk, maxJunk;
};
const JunkPattern kJunkPatterns[] = {{1, 1, 1}, {2, 1, 1}, {2, 2, 300}};

TEST_F(GeneratedStream, JunkBetweenFramesLosesNothing)
{
    // Layer III frames borrow bits from the ones before: the junk must not
    // cost them.
    for (const JunkPattern& p : kJunkPatterns) {
        SCOPED_TRACE(testing::Message() << p.minJunk << "-" << p.maxJunk << " bytes after every " << p.every);
        NativeDecode d = DecodeNative(WithJunkAfterFrames(*s_clean, p.every, p.minJunk, p.maxJunk, 3));
        ASSERT_TRUE(d.ended);
        EXPECT_EQ(d.samples, m_reference.samples);
    }
}

TEST(JunkBetweenFrames, LayerTwoAndLowerRatesLoseNothingEither)
{
    struct Case {
        const char* tool;
        long rate;
        int channels;
        const char* command;
        size_t maxJunk;  // less than a frame
    };
    const Case cases[] = {
        {"twolame", 44100, 2, "twolame --quiet -b 192", 300},
        {"twolame", 22050, 1, "twolame --quiet -b 64", 300},
        {"lame", 22050, 2, "lame --quiet -b 64", 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tool << " " << c.rate);
        if (!HaveTool(c.tool))
            continue;
        ScratchDir dir;
        ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), c.rate, c.channels, static_cast<size_t>(c.rate) * 2));
        ASSERT_TRUE(RunCommand(std::string(c.command) + " '" + dir.Path("in.wav") + "' '" + dir.Path("a.mpa") + "'"));
        std::vector<unsigned char> clean = ReadFile(dir.Path("a.mpa"));
        NativeDecode reference = DecodeNative(clean);
        ASSERT_GT(reference.frames, static_cast<size_t>(c.rate));
        for (const JunkPattern& p : kJunkPatterns) {
            SCOPED_TRACE(testing::Message() << p.minJunk << " bytes or more after every " << p.every);
            NativeDecode d = DecodeNative(WithJunkAfterFrames(clean, p.every, p.minJunk, std::min(p.maxJunk, c.maxJunk), 4));
            ASSERT_EQ(d.samples.size(), reference.samples.size());
            EXPECT_EQ(d.samples, reference.samples) << Compare(d.samples.data(), reference.samples.data(), d.samples.size()).maxAbs;
        }
    }
}

TEST_F(GeneratedStream, TrimmedDecodeLinesUpWithTheEncodersInput)
{
    // The trimming counts on libmpg123's synthesis delay (529 samples). A
    // wrong value would keep the length right and shift the audio.
    Wave input = ReadWave(s_dir->Path("in.wav"));
    ASSERT_EQ(m_reference.frames, input.Frames());
    double aligned = BestStereoSnr(m_reference.samples, input.samples, 0);
    EXPECT_GE(aligned, 10.0);
    EXPECT_GE(aligned, BestStereoSnr(m_reference.samples, input.samples, 40));
}

TEST(StereoBound, FramesLibmpg123WouldWarnAboutAreSkippedSilently)
{
    // libmpg123 prints a warning for a Layer II joint-stereo frame whose
    // stereo bound lies above the subbands it codes (8 at 64 kbit/s).
    if (!HaveTool("twolame"))
        GTEST_SKIP() << "twolame not available";
    ScratchDir dir;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 44100, 2, 44100 * 2));
    ASSERT_TRUE(RunCommand("twolame --quiet -b 64 -m j '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp2") + "'"));
    std::vector<unsigned char> bytes = ReadFile(dir.Path("a.mp2"));
    std::vector<size_t> frames = FrameOffsets(bytes);
    ASSERT_GT(frames.size(), 60u);
    NativeDecode clean = DecodeNative(bytes);
    size_t changed = 0;
    for (size_t i = 5; i + 5 < frames.size(); i += 10, ++changed)
        bytes[frames[i] + 3] |= 0x30;  // bound 16
    NativeDecode d;
    {
        CapturedOutput capture(dir.Path("output.txt"));
        d = DecodeNative(bytes);
    }
    std::vector<unsigned char> printed = ReadFile(dir.Path("output.txt"));
    EXPECT_TRUE(printed.empty()) << std::string(printed.begin(), printed.end());
    ASSERT_TRUE(d.ended);
    EXPECT_EQ(d.frames + changed * 1152, clean.frames);
}

// ---- The resampler ----------------------------------------------------------

std::vector<int16_t> Ramp(size_t frames, int channels)
{
    std::vector<int16_t> s(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(static_cast<int>(i % 2000) * 10 - 10000 + (i % 2 ? 3 : 0));
    return s;
}

std::vector<int16_t> TakeAll(quorvan::StereoResampler& r, size_t block)
{
    std::vector<int16_t> out;
    std::vector<int16_t> buf(block * 2);
    while (size_t n = r.Take(buf.data(), block)) {
        EXPECT_LE(n, block);
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<ptrdiff_t>(2 * n));
    }
    return out;
}

// The resampler's float conversions, four at a time and one by one for the
// rest, at every length of the rest: each channel picked out of stereo
// without reading past its last frame, and rounding to nearest (ties to
// even) with clipping on the way back.
TEST(SampleConversion, SplitsAndRoundsAsTheScalarRulesSay)
{
    const float kValues[] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.49f, 100.51f, 32766.5f,
                             32767.4f, 32767.6f, 1e9f, -32768.4f, -32768.6f, -1e9f, 7.0f, -7.5f};
    const int16_t kRounded[] = {0, 2, 2, 0, -2, -2, 101, 32766, 32767, 32767, 32767, -32768, -32768, -32768, 7, -8};
    for (size_t frames = 0; frames <= 16; ++frames) {
        SCOPED_TRACE(frames);
        // Exactly as long as its frames, so that a read past them is caught
        // by the sanitizers.
        std::vector<int16_t> stereo(2 * frames), mono(frames);
        for (size_t i = 0; i < frames; ++i) {
            stereo[2 * i] = static_cast<int16_t>(1000 * i - 32768);
            stereo[2 * i + 1] = static_cast<int16_t>(32767 - 3 * i);
            mono[i] = static_cast<int16_t>(-5 * i);
        }
        std::vector<float> left(frames), right(frames), single(frames);
        quorvan::SplitToFloat(stereo.data(), 2, left.data(), frames);
        quorvan::SplitToFloat(stereo.data() + 1, 2, right.data(), frames);
        quorvan::SplitToFloat(mono.data(), 1, single.data(), frames);
        for (size_t i = 0; i < frames; ++i) {
            EXPECT_EQ(left[i], stereo[2 * i]);
            EXPECT_EQ(right[i], stereo[2 * i + 1]);
            EXPECT_EQ(single[i], mono[i]);
        }

        // The right channel takes the values backwards.
        std::vector<float> l(kValues, kValues + frames), r(frames);
        for (size_t i = 0; i < frames; ++i)
            r[i] = kValues[15 - i];
        std::vector<int16_t> out(2 * frames);
        quorvan::InterleaveToInt16(l.data(), r.data(), out.data(), frames);
        for (size_t i = 0; i < frames; ++i) {
            EXPECT_EQ(out[2 * i], kRounded[i]) << kValues[i];
            EXPECT_EQ(out[2 * i + 1], kRounded[15 - i]) << kValues[15 - i];
        }
    }
}

TEST(StereoResampler, At44100StereoPassesThroughAndMonoIsCopiedToBothChannels)
{
    std::vector<int16_t> mono = Ramp(5000, 1), stereo = Ramp(3000, 2);
    quorvan::StereoResampler r;
    quorvan::PcmChunk chunk;
    chunk.format = {44100, 1};
    chunk.samples = mono.data();
    chunk.frames = 5000;
    ASSERT_TRUE(r.Push(chunk));
    chunk.format = {44100, 2};
    chunk.samples = stereo.data();
    chunk.frames = 3000;
    ASSERT_TRUE(r.Push(chunk));
    ASSERT_TRUE(r.Finish());
    std::vector<int16_t> out = TakeAll(r, 2304);
    std::vector<int16_t> expected = ToStereo(mono, 1);
    expected.insert(expected.end(), stereo.begin(), stereo.end());
    EXPECT_EQ(out, expected);
}

TEST(StereoResampler, OtherRatesGiveTheScaledLengthAcrossARateChange)
{
    const long kRates[] = {8000, 11025, 22050, 32000, 48000};
    for (long rate : kRates) {
        SCOPED_TRACE(rate);
        quorvan::StereoResampler r;
        std::vector<int16_t> in = Ramp(static_cast<size_t>(rate), 1);
        // Pushed in uneven pieces, as frames arrive.
        for (size_t pos = 0; pos < in.size();) {
            size_t n = std::min<size_t>(in.size() - pos, 1152 + pos % 7);
            quorvan::PcmChunk chunk;
            chunk.format = {rate, 1};
            chunk.samples = in.data() + pos;
            chunk.frames = n;
            ASSERT_TRUE(r.Push(chunk));
            pos += n;
        }
        // Then a second at another rate: the first part is drained, not lost.
        std::vector<int16_t> second = Ramp(24000, 2);
        quorvan::PcmChunk chunk;
        chunk.format = {24000, 2};
        chunk.samples = second.data();
        chunk.frames = 24000;
        ASSERT_TRUE(r.Push(chunk));
        ASSERT_TRUE(r.Finish());
        long frames = static_cast<long>(TakeAll(r, 2304).size() / 2);
        EXPECT_NEAR(frames, 44100 * 2, 2);
    }
}

// Prepared chunks (the right channel on a side thread, or on this one when
// the side takes no task) come out as pushed ones, across a mono chunk in a
// stereo stream, changes of rate (to and from 48000 Hz, which is not
// prepared), and a mono stream (not prepared) that turns stereo.
TEST(StereoResampler, PreparedChunksGiveWhatPushedOnesGive)
{
    std::vector<int16_t> stereo = Ramp(48000, 2), mono = Ramp(20000, 1);
    std::vector<quorvan::PcmChunk> chunks;
    for (size_t pos = 0; pos < 48000; pos += 1152) {
        quorvan::PcmChunk c;
        c.format = {32000, 2};
        c.samples = stereo.data() + 2 * pos;
        c.frames = std::min<size_t>(1152, 48000 - pos);
        chunks.push_back(c);
        if (chunks.size() == 10) {
            c.format = {32000, 1};
            c.samples = mono.data();
            chunks.push_back(c);
        }
    }
    for (long rate : {48000L, 22050L})
        for (int channels : {1, 2})
            for (size_t pos = 0; pos + 1152 <= 20000; pos += 1152) {
                quorvan::PcmChunk c;
                c.format = {rate, channels};
                c.samples = (channels == 2 ? stereo.data() + 2 * pos : mono.data() + pos);
                c.frames = 1152;
                chunks.push_back(c);
            }
    quorvan::StereoResampler pushed;
    for (const quorvan::PcmChunk& c : chunks)
        ASSERT_TRUE(pushed.Push(c));
    ASSERT_TRUE(pushed.Finish());
    std::vector<int16_t> expected = TakeAll(pushed, 2304);
    for (bool running : {true, false}) {
        SCOPED_TRACE(running ? "side thread" : "side stopped");
        quorvan::SideThread side;
        std::thread thread;
        if (running)
            thread = std::thread(&quorvan::SideThread::Loop, &side);
        else
            side.Stop();
        quorvan::StereoResampler r;
        size_t preparedTotal = 0;
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (r.Prepared() == 0)
                preparedTotal += r.Prepare(chunks.data() + i, std::min<size_t>(7, chunks.size() - i), side);
            ASSERT_TRUE(r.Push(chunks[i]));
        }
        ASSERT_TRUE(r.Finish());
        EXPECT_TRUE(TakeAll(r, 2304) == expected);
        EXPECT_GT(preparedTotal, chunks.size() / 2);
        side.Stop();
        if (thread.joinable())
            thread.join();
    }
}

}  // namespace
