// The modules as the library sees them: loaded from the program's folder,
// called through the binary contract of DecoderApi.h.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Conformance.h"
#include "DecodePipeline.h"
#include "DecoderApi.h"
#include "DecoderTestSupport.h"
#include "MasdBlocks.h"
#include "QuorvanDecoderModules.h"
#include "StreamDecoding.h"

using namespace qvtest;

namespace {

// The folder the build puts the modules in, beside the library.
const std::string kModuleFolder = QUORVAN_MODULE_DIR "/";

// One module, loaded for the length of a test.
class Module {
public:
    explicit Module(const char* file) : m_handle(dlopen((kModuleFolder + file).c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~Module()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    bool loaded() const { return m_handle != nullptr; }
    template <typename Fn>
    Fn Get(const char* name) const
    {
        return reinterpret_cast<Fn>(dlsym(m_handle, name));
    }

private:
    void* m_handle;
};

// The input of the read callback, which has no context argument.
struct CallbackInput {
    std::vector<unsigned char> bytes;
    size_t pos = 0;
    std::vector<uint32_t> asked;
    bool callAfterShortRead = false;
    bool shortReadSeen = false;
} g_input;

int CDECL ReadCallback(void* buffer, uint32_t* length)
{
    if (g_input.shortReadSeen)
        g_input.callAfterShortRead = true;
    g_input.asked.push_back(*length);
    size_t n = std::min<size_t>(*length, g_input.bytes.size() - g_input.pos);
    if (n)
        memcpy(buffer, g_input.bytes.data() + g_input.pos, n);
    g_input.pos += n;
    bool all = n == *length;
    *length = static_cast<uint32_t>(n);
    if (!all)
        g_input.shortReadSeen = true;
    return all ? DECODER_OK : DECODER_READ_SHORT;
}

struct RunLog {
    int initResult = -1;
    std::vector<int> results;  // every masd_decode result, in order
    std::vector<uint32_t> words;  // the frame word after each
    size_t frames = 0;         // stereo frames delivered after the first 0
    bool blocksValid = true;
    std::vector<int16_t> samples;
};

// Drives masd32 the way the converter does.
RunLog RunDecoder(const Module& masd, const std::vector<unsigned char>& bytes, int maxCalls = 200000)
{
    g_input = CallbackInput();
    g_input.bytes = bytes;
    RunLog log;
    auto init = masd.Get<MasdInitFn>("masd_init");
    auto decode = masd.Get<MasdDecodeFn>("masd_decode");
    auto close = masd.Get<MasdCloseFn>("masd_close");
    DecoderParams params = {{1, 0, 0, 0, 141, 0}};
    uint32_t initWord = 0xDEAD, frameWord = 0;
    DecoderHandle h = nullptr;
    log.initResult = init(params, ReadCallback, &initWord, &h);
    if (log.initResult != DECODER_OK)
        return log;
    // Canaries after the buffer catch a block larger than the contract allows.
    std::vector<unsigned char> buffer(DECODER_SAMPLE_BUFFER_BYTES + 64, 0xA5);
    unsigned char auxBuffer[DECODER_AUX_BUFFER_BYTES];
    PcmBlock pcm = {0, 0, buffer.data()};
    AuxBlock aux = {0, auxBuffer};
    bool synced = false;
    for (int i = 0; i < maxCalls; ++i) {
        int rc = decode(&frameWord, &pcm, &aux, h);
        log.results.push_back(rc);
        log.words.push_back(frameWord);
        if (rc == DECODER_END)
            break;
        uint64_t bytesOut = 2ull * pcm.first * pcm.second;
        if (bytesOut > DECODER_SAMPLE_BUFFER_BYTES)
            log.blocksValid = false;
        if (rc != DECODER_OK || !synced) {
            // Errors and the block that reports the stream carry nothing.
            if (bytesOut != 0)
                log.blocksValid = false;
            synced = synced || rc == DECODER_OK;
            continue;
        }
        if (pcm.first != 2 || pcm.second == 0)
            log.blocksValid = false;
        const int16_t* s = static_cast<const int16_t*>(pcm.samples);
        log.samples.insert(log.samples.end(), s, s + std::min<uint64_t>(bytesOut, DECODER_SAMPLE_BUFFER_BYTES) / 2);
        log.frames += pcm.second;
    }
    for (size_t i = DECODER_SAMPLE_BUFFER_BYTES; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5)
            log.blocksValid = false;
    // After the end, the end again.
    if (!log.results.empty() && log.results.back() == DECODER_END)
        log.results.push_back(decode(&frameWord, &pcm, &aux, h));
    close(&h);
    EXPECT_EQ(h, nullptr);
    return log;
}

class ModuleContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_masd.loaded()) << dlerror();
        ASSERT_TRUE(m_ma.loaded()) << dlerror();
    }
    Module m_masd{"libmasd32.so"};
    Module m_ma{"libma32.so"};
};

std::set<std::string> ExportedNames(const std::string& file)
{
    std::set<std::string> names;
    FILE* p = popen(("nm -D --defined-only '" + file + "' 2>/dev/null").c_str(), "r");
    if (!p)
        return names;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        char type = 0;
        char name[400];
        unsigned long long address = 0;
        if (sscanf(line, "%llx %c %399s", &address, &type, name) == 3)
            names.insert(name);
    }
    pclose(p);
    return names;
}

TEST_F(ModuleContract, ExportsExactlyTheEighteenEntryPoints)
{
    if (!HaveTool("nm"))
        GTEST_SKIP() << "nm not available";
    std::set<std::string> masd = ExportedNames(kModuleFolder + "libmasd32.so");
    std::set<std::string> ma = ExportedNames(kModuleFolder + "libma32.so");
    EXPECT_EQ(masd, (std::set<std::string>{"masd_init", "masd_decode", "masd_close", "masd_getFrameSize",
                                           "masd_flushAndResync", "masd_versionString"}));
    EXPECT_EQ(ma, (std::set<std::string>{"ma_mpegIDString", "ma_mpegLayerString", "ma_mpegProtectionString",
                                         "ma_mpegPaddingString", "ma_mpegPrivateString", "ma_mpegModeString",
                                         "ma_mpegModeExtString", "ma_mpegCopyrightString",
                                         "ma_mpegOriginalCopyString", "ma_mpegEmphasisString",
                                         "ma_mpegSampleFreqString", "ma_mpegBitrateString"}));
}

TEST_F(ModuleContract, AStreamIsReportedByAnEmptyBlockThenDeliveredWhole)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    const size_t kFrames = 22050 * 3 + 17;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 22050, 1, kFrames));
    ASSERT_TRUE(RunCommand("lame --quiet -b 64 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp3") + "'"));
    RunLog log = RunDecoder(m_masd, ReadFile(dir.Path("a.mp3")));
    ASSERT_EQ(log.initResult, DECODER_OK);
    ASSERT_GE(log.results.size(), 3u);
    EXPECT_EQ(log.results.front(), DECODER_OK);
    EXPECT_EQ(log.results[log.results.size() - 2], DECODER_END);
    EXPECT_EQ(log.results.back(), DECODER_END);
    EXPECT_TRUE(log.blocksValid);
    EXPECT_NEAR(static_cast<double>(log.frames), kFrames * 2.0, 1.0);
    // Mono comes out on both channels.
    for (size_t i = 0; i + 1 < log.samples.size(); i += 2)
        ASSERT_EQ(log.samples[i], log.samples[i + 1]);
    // The input is read in large pieces, and not after it ended.
    EXPECT_FALSE(g_input.callAfterShortRead);
    for (uint32_t asked : g_input.asked)
        EXPECT_GE(asked, 4096u);
}

TEST_F(ModuleContract, InputWithoutAudioEndsBeforeAnyBlock)
{
    std::mt19937 rng(3);
    std::vector<unsigned char> random(500000);
    for (unsigned char& c : random)
        c = static_cast<unsigned char>(rng());
    const std::vector<std::vector<unsigned char>> inputs = {{}, {'h', 'e', 'l', 'l', 'o', '\n'}, random};
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.size());
        RunLog log = RunDecoder(m_masd, input);
        ASSERT_EQ(log.initResult, DECODER_OK);
        ASSERT_FALSE(log.results.empty());
        EXPECT_EQ(std::count(log.results.begin(), log.results.end(), DECODER_OK), 0);
        EXPECT_EQ(log.results[log.results.size() - 2], DECODER_END);
        EXPECT_TRUE(log.blocksValid);
    }
}

TEST_F(ModuleContract, DecodingPrintsNothingWhateverTheInput)
{
    std::vector<std::vector<unsigned char>> inputs;
    std::mt19937 rng;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        rng.seed(seed);
        std::vector<unsigned char> random(300000);
        for (unsigned char& c : random)
            c = static_cast<unsigned char>(rng());
        inputs.push_back(random);
    }
    inputs.push_back(ReadFile("/proc/self/exe"));
    // Layer II, 32 kbps at 48 kHz, joint stereo bound beyond the 8 subbands
    // that bitrate codes: libmpg123 warns about every such frame it decodes.
    std::vector<unsigned char> layer2 = inputs[0];
    for (size_t pos = 1000; pos + 96 < 30000; pos += 96) {
        const unsigned char kHeader[4] = {0xFF, 0xFD, 0x14, 0x70};
        std::copy(kHeader, kHeader + 4, layer2.begin() + static_cast<ptrdiff_t>(pos));
    }
    inputs.push_back(layer2);
    std::string dir = qvtest::ConformanceDir();
    for (const char* name : {"/nonstandard/l2-nonstandard-free_format.bit", "/nonstandard/l3-nonstandard-big-iscf.bit",
                             "/nonstandard/l2-nonstandard-fl1_fl2_ff.bit",
                             "/nonstandard/l3-nonstandard-compl-sideinfo-size.bit", "/standard/l3-he_mode.bit",
                             "/standard/l2-fl13.bit"})
        if (!dir.empty())
            inputs.push_back(ReadFile(dir + name));
    // Damaged Layer II, the kind libmpg123 likes to warn about.
    if (!dir.empty()) {
        std::vector<unsigned char> damaged = ReadFile(dir + "/standard/l2-fl10.bit");
        for (size_t i = 0; i < damaged.size(); i += 97)
            damaged[i] ^= static_cast<unsigned char>(rng());
        inputs.push_back(damaged);
    }
    ScratchDir scratch;
    {
        CapturedOutput capture(scratch.Path("output.txt"));
        for (const auto& input : inputs)
            RunDecoder(m_masd, input);
    }
    std::vector<unsigned char> printed = ReadFile(scratch.Path("output.txt"));
    EXPECT_TRUE(printed.empty()) << std::string(printed.begin(), printed.end());
}

TEST_F(ModuleContract, InitAndCloseRefuseOrAcceptNullSafely)
{
    auto init = m_masd.Get<MasdInitFn>("masd_init");
    auto decode = m_masd.Get<MasdDecodeFn>("masd_decode");
    auto close = m_masd.Get<MasdCloseFn>("masd_close");
    DecoderParams params = {{0}};
    uint32_t word = 0;
    DecoderHandle h = reinterpret_cast<DecoderHandle>(0x1);
    EXPECT_NE(init(params, nullptr, &word, &h), DECODER_OK);
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(init(params, ReadCallback, &word, nullptr), DECODER_OK);
    DecoderHandle none = nullptr;
    EXPECT_EQ(close(&none), DECODER_OK);
    EXPECT_EQ(none, nullptr);
    // A decode call without an instance ends at once instead of looping.
    unsigned char buffer[DECODER_SAMPLE_BUFFER_BYTES];
    PcmBlock pcm = {7, 7, buffer};
    EXPECT_EQ(decode(&word, &pcm, nullptr, nullptr), DECODER_END);
    EXPECT_EQ(pcm.first * pcm.second, 0u);
}

TEST_F(ModuleContract, FrameSizeVersionAndResync)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    // Long enough that input remains after the first read, also when the
    // decoder's threads have read ahead (a few hundred KiB).
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 44100, 2, 44100 * 40));
    ASSERT_TRUE(RunCommand("lame --quiet -b 128 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp3") + "'"));
    g_input = CallbackInput();
    g_input.bytes = ReadFile(dir.Path("a.mp3"));
    auto init = m_masd.Get<MasdInitFn>("masd_init");
    auto decode = m_masd.Get<MasdDecodeFn>("masd_decode");
    auto close = m_masd.Get<MasdCloseFn>("masd_close");
    auto frameSize = m_masd.Get<uint32_t(CDECL*)(DecoderHandle)>("masd_getFrameSize");
    auto resync = m_masd.Get<int(CDECL*)(DecoderHandle)>("masd_flushAndResync");
    auto version = m_masd.Get<const char*(CDECL*)(void)>("masd_versionString");
    ASSERT_TRUE(frameSize && resync && version);
    EXPECT_EQ(std::string(version()).rfind("masd32 ", 0), 0u) << version();
    EXPECT_EQ(frameSize(nullptr), 0u);

    DecoderParams params = {{0}};
    uint32_t word = 0;
    DecoderHandle h = nullptr;
    ASSERT_EQ(init(params, ReadCallback, &word, &h), DECODER_OK);
    EXPECT_EQ(frameSize(h), 0u);
    unsigned char buffer[DECODER_SAMPLE_BUFFER_BYTES];
    PcmBlock pcm = {0, 0, buffer};
    ASSERT_EQ(decode(&word, &pcm, nullptr, h), DECODER_OK);
    // 128 kbps at 44.1 kHz: 417 or 418 bytes a frame.
    EXPECT_GE(frameSize(h), 417u);
    EXPECT_LE(frameSize(h), 418u);
    // The frame word is the frame's header, in ma32's words.
    typedef const char*(CDECL * Describe)(uint32_t);
    EXPECT_STREQ(m_ma.Get<Describe>("ma_mpegLayerString")(word), "Layer III");
    EXPECT_STREQ(m_ma.Get<Describe>("ma_mpegSampleFreqString")(word), "44100 Hz");
    EXPECT_STREQ(m_ma.Get<Describe>("ma_mpegBitrateString")(word), "128 kbps");
    // After a flush the rest of the input is found again and decoded to the end.
    EXPECT_EQ(resync(h), DECODER_OK);
    int rc;
    size_t frames = 0;
    int calls = 0;
    while ((rc = decode(&word, &pcm, nullptr, h)) != DECODER_END && ++calls < 100000)
        frames += rc == DECODER_OK ? pcm.second : 0;
    EXPECT_EQ(rc, DECODER_END);
    EXPECT_GT(frames, 44100u);
    EXPECT_LT(frames, 44100u * 40);
    close(&h);
}

TEST_F(ModuleContract, HeaderFieldsAreDescribedInWords)
{
    typedef const char*(CDECL * Describe)(uint32_t);
    const char* kNames[] = {"ma_mpegIDString", "ma_mpegLayerString", "ma_mpegProtectionString",
                            "ma_mpegPaddingString", "ma_mpegPrivateString", "ma_mpegModeString",
                            "ma_mpegModeExtString", "ma_mpegCopyrightString", "ma_mpegOriginalCopyString",
                            "ma_mpegEmphasisString", "ma_mpegSampleFreqString", "ma_mpegBitrateString"};
    struct Case {
        uint32_t header;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {0xFFFB9064u, {"MPEG-1", "Layer III", "not protected", "not padded", "private bit clear", "joint stereo",
                       "intensity off, M/S on", "not copyrighted", "original", "none", "44100 Hz", "128 kbps"}},
        {0xFFF4A3C9u, {"MPEG-2", "Layer II", "CRC protected", "padded", "private bit set", "mono", "none",
                       "copyrighted", "copy", "50/15 us", "22050 Hz", "96 kbps"}},
        {0xFFE2087Eu, {"MPEG-2.5", "Layer III", "CRC protected", "not padded", "private bit clear",
                       "joint stereo", "intensity on, M/S on", "copyrighted", "original", "reserved", "8000 Hz",
                       "free format"}},
        {0xFFFF485Bu, {"MPEG-1", "Layer I", "not protected", "not padded", "private bit clear", "joint stereo",
                       "bands 8-31", "copyrighted", "copy", "CCITT J.17", "32000 Hz", "128 kbps"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        for (size_t i = 0; i < 12; ++i) {
            Describe fn = m_ma.Get<Describe>(kNames[i]);
            ASSERT_TRUE(fn) << kNames[i];
            EXPECT_EQ(std::string(fn(c.header)), c.words[i]) << kNames[i];
        }
    }
    for (uint32_t bad : {0u, 0xFFEB9064u, 0xFFF99064u, 0xFFFBF064u, 0xFFFB9C64u}) {
        for (const char* name : kNames)
            EXPECT_STREQ(m_ma.Get<Describe>(name)(bad), "invalid") << name << " " << bad;
    }
}

// The streams the thread tests decode: clean ones of every kind, long enough
// to be cut into segments; damaged, junk-laden, joined (also at changing
// rates) and short ones; noise;
// the conformance streams when present.
std::vector<std::pair<std::string, std::vector<unsigned char>>> ThreadTestStreams(const ScratchDir& dir)
{
    std::vector<std::pair<std::string, std::vector<unsigned char>>> streams;
    struct Made {
        const char* name;
        long rate;
        int channels;
        const char* encoder;
    };
    for (const Made& m : {Made{"44k.mp3", 44100, 2, "lame --quiet -b 192"}, Made{"vbr.mp3", 44100, 2, "lame --quiet -V 4"},
                          Made{"48k.mp3", 48000, 2, "lame --quiet -b 256"}, Made{"22k.mp3", 22050, 1, "lame --quiet -b 48"},
                          Made{"48k.mp2", 48000, 2, "twolame --quiet -b 192"},
                          Made{"32k-mono.mp3", 32000, 1, "lame --quiet -m m -b 32"}}) {
        std::string wav = dir.Path(std::string(m.name) + ".wav");
        EXPECT_TRUE(WriteTestSignal(wav, m.rate, m.channels, static_cast<size_t>(m.rate) * 20));
        EXPECT_TRUE(RunCommand(std::string(m.encoder) + " '" + wav + "' '" + dir.Path(m.name) + "'"));
        streams.emplace_back(m.name, ReadFile(dir.Path(m.name)));
    }
    // Damage: junk of 1 to 300 bytes every few frames, a zeroed stretch, a cut.
    std::mt19937 rng(11);
    for (size_t source : {0u, 3u, 4u}) {
        const std::vector<unsigned char>& clean = streams[source].second;
        std::vector<unsigned char> damaged;
        for (size_t pos = 0; pos < clean.size();) {
            size_t take = std::min<size_t>(clean.size() - pos, 1000 + rng() % 3000);
            damaged.insert(damaged.end(), clean.begin() + static_cast<ptrdiff_t>(pos),
                           clean.begin() + static_cast<ptrdiff_t>(pos + take));
            pos += take;
            for (size_t j = 1 + rng() % 300; j > 0; --j)
                damaged.push_back(static_cast<unsigned char>(rng()));
        }
        std::fill(damaged.begin() + static_cast<ptrdiff_t>(damaged.size() / 3),
                  damaged.begin() + static_cast<ptrdiff_t>(damaged.size() / 3 + 5000), 0);
        damaged.resize(damaged.size() - 777);
        streams.emplace_back("damaged " + streams[source].first, damaged);
    }
    // A copy: the streams added below move the others.
    const std::vector<unsigned char> clean = streams[0].second;
    // Clean for a while, then a stray byte after every third frame; a zeroed
    // frame in the middle; a tag at the end; two encoded files joined; files
    // of a few frames, one cut inside a frame.
    const std::vector<size_t> at = FrameOffsets(clean);
    size_t cut = at[at.size() / 2];
    std::vector<unsigned char> junky(clean.begin(), clean.begin() + static_cast<ptrdiff_t>(cut));
    std::vector<unsigned char> rest(clean.begin() + static_cast<ptrdiff_t>(cut), clean.end());
    std::vector<unsigned char> junkyRest = WithJunkAfterFrames(rest, 3, 1, 1, 5);
    junky.insert(junky.end(), junkyRest.begin(), junkyRest.end());
    streams.emplace_back("junk after the middle", junky);
    std::vector<unsigned char> zeroed = clean;
    std::fill(zeroed.begin() + static_cast<ptrdiff_t>(cut), zeroed.begin() + static_cast<ptrdiff_t>(cut + 600), 0);
    streams.emplace_back("zeroed frame", zeroed);
    std::vector<unsigned char> tagged = clean;
    tagged.insert(tagged.end(), {'T', 'A', 'G'});
    tagged.resize(tagged.size() + 125, ' ');
    streams.emplace_back("ID3v1 tag", tagged);
    // Before the first frame: ID3v2 tags (with frame headers inside), with
    // and without a footer, and junk after one.
    for (bool footer : {false, true}) {
        std::vector<unsigned char> lead = Id3v2Tag(3000, footer, footer ? 2 : 1);
        lead.insert(lead.end(), clean.begin(), clean.end());
        streams.emplace_back(footer ? "ID3v2 tag with footer" : "ID3v2 tag", lead);
    }
    std::vector<unsigned char> lead = Id3v2Tag(500, false, 3);
    for (int i = 0; i < 300; ++i)
        lead.push_back(static_cast<unsigned char>(rng() % 255));
    lead.insert(lead.end(), clean.begin(), clean.end());
    streams.emplace_back("ID3v2 tag and junk", lead);
    std::vector<unsigned char> joined = clean;
    joined.insert(joined.end(), streams[1].second.begin(), streams[1].second.end());
    streams.emplace_back("joined", joined);
    // Resampled stereo, then mono at another rate, 44.1 kHz, and 48 kHz
    // Layer II: each change drains the resampler of the stream before.
    std::vector<unsigned char> rates = streams[2].second;
    for (size_t source : {5u, 0u, 4u})
        rates.insert(rates.end(), streams[source].second.begin(), streams[source].second.end());
    streams.emplace_back("rate changes", rates);
    for (size_t frames : {2u, 5u, 120u})
        streams.emplace_back(std::to_string(frames) + " frames",
                             std::vector<unsigned char>(clean.begin(), clean.begin() + static_cast<ptrdiff_t>(at[frames])));
    streams.emplace_back("cut in a frame", std::vector<unsigned char>(clean.begin(), clean.begin() + 40000));
    std::vector<unsigned char> noise(300000);
    for (unsigned char& c : noise)
        c = static_cast<unsigned char>(rng());
    streams.emplace_back("noise", noise);
    if (!ConformanceDir().empty())
        for (const ConformanceVector& v : StandardVectors())
            streams.emplace_back(v.name, ReadFile(ConformanceDir() + "/standard/" + v.name + ".bit"));
    return streams;
}

// The instance's threads change nothing: every result, frame word, sample
// and read of the input is the same with 1, 2 and 4 threads, for every kind
// of stream, with segments of the usual size and with small ones (many seams).
TEST_F(ModuleContract, OneTwoAndFourThreadsGiveTheSameResults)
{
    if (!HaveTool("lame") || !HaveTool("twolame"))
        GTEST_SKIP() << "lame or twolame not available";
    ScratchDir dir;
    std::vector<std::pair<std::string, std::vector<unsigned char>>> streams = ThreadTestStreams(dir);
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream.first);
        RunLog one;
        std::vector<uint32_t> asked;
        {
            ScopedEnv threads("QUORVAN_DECODER_THREADS", "1");
            one = RunDecoder(m_masd, stream.second);
            asked = g_input.asked;
        }
        ASSERT_EQ(one.initResult, DECODER_OK);
        for (const char* frames : {"", "7"}) {
            ScopedEnv segments("QUORVAN_DECODER_SEGMENT_FRAMES", frames);
            for (const char* n : {"2", "4"}) {
                SCOPED_TRACE(std::string(n) + " threads, segments of " + (*frames ? frames : "the usual size"));
                ScopedEnv threads("QUORVAN_DECODER_THREADS", n);
                RunLog many = RunDecoder(m_masd, stream.second);
                EXPECT_EQ(many.initResult, DECODER_OK);
                EXPECT_EQ(many.results, one.results);
                EXPECT_EQ(many.words, one.words);
                EXPECT_TRUE(many.samples == one.samples) << many.frames << " frames against " << one.frames;
                EXPECT_EQ(g_input.asked, asked);
                EXPECT_FALSE(g_input.callAfterShortRead);
            }
        }
    }
}

struct BlockLog {
    std::vector<int> results;
    std::vector<uint32_t> words;
    std::vector<int16_t> samples;
};

BlockLog RunBlocks(quorvan::BlockSource& source, const std::vector<unsigned char>& bytes)
{
    g_input = CallbackInput();
    g_input.bytes = bytes;
    BlockLog log;
    EXPECT_EQ(source.Open(), 0);
    std::vector<int16_t> out(quorvan::kBlockFrames * 2);
    for (int i = 0; i < 200000; ++i) {
        quorvan::MasdBlock block;
        source.Next(block, out.data());
        log.results.push_back(block.rc);
        log.words.push_back(block.frameHeader);
        log.samples.insert(log.samples.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(block.frames * 2));
        if (block.rc == DECODER_END)
            break;
    }
    return log;
}

// Where segments are cut, their seams are checked: segments whose decoders
// start too late (no warm-up) never match at a seam, and the decoder of the
// segment before goes on alone; either way the results are those of one
// thread. Segments are cut after what lies before the first frame, too:
// ID3v2 tags and junk without 0xFF bytes, up to the most the reader may read
// ahead while the decoder waits for the first segment; a longer lead leaves
// the stream to one decoder.
TEST_F(ModuleContract, SegmentSeamsJoinOrFallBackToOneDecoder)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 44100, 2, 44100 * 20));
    ASSERT_TRUE(RunCommand("lame --quiet -b 160 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp3") + "'"));
    const std::vector<unsigned char> clean = ReadFile(dir.Path("a.mp3"));
    std::vector<unsigned char> junk(200, 'x');
    junk.insert(junk.end(), {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 100});
    junk.resize(400, 0);
    ScopedEnv segments("QUORVAN_DECODER_SEGMENT_FRAMES", "128");
    quorvan::SegmentSettings settings = quorvan::SegmentSettings::ForThreads(2);
    size_t reach = (settings.inFlight - 1) * settings.maxOwnBytes;
    std::vector<unsigned char> tags = Id3v2Tag(1000, true, 4);
    std::vector<unsigned char> second = Id3v2Tag(reach - 2000, false, 5);
    tags.insert(tags.end(), second.begin(), second.end());
    struct Lead {
        const char* what;
        std::vector<unsigned char> bytes;
        bool segmented;
    };
    for (const Lead& lead : {Lead{"no lead", {}, true}, Lead{"tags", tags, true}, Lead{"junk and a tag in it", junk, true},
                             Lead{"a tag past the reach", Id3v2Tag(reach, false, 6), false}}) {
        SCOPED_TRACE(lead.what);
        std::vector<unsigned char> bytes = lead.bytes;
        bytes.insert(bytes.end(), clean.begin(), clean.end());
        quorvan::SequentialBlocks sequential(ReadCallback);
        BlockLog one = RunBlocks(sequential, bytes);
        ASSERT_GT(one.samples.size(), 44100u * 2 * 19);
        for (const char* warmUp : {"", "0"}) {
            SCOPED_TRACE(std::string("warm-up ") + warmUp);
            ScopedEnv forced("QUORVAN_DECODER_SEGMENT_WARMUP", warmUp);
            quorvan::SegmentStats stats;
            BlockLog many;
            {
                quorvan::DecodePipeline pipeline(ReadCallback, 2);
                many = RunBlocks(pipeline, bytes);
                stats = pipeline.Stats();
            }
            EXPECT_EQ(many.results, one.results);
            EXPECT_EQ(many.words, one.words);
            EXPECT_TRUE(many.samples == one.samples);
            if (!lead.segmented) {
                EXPECT_EQ(stats.decoded + stats.fellBack, 0u);
            } else if (*warmUp) {
                EXPECT_EQ(stats.joined, 0u);
                EXPECT_EQ(stats.fellBack, 1u);
            } else {
                // 20 s at 160 kbit/s: 766 frames, segments of 128.
                EXPECT_GE(stats.decoded, 5u);
                EXPECT_EQ(stats.joined, stats.decoded - 1);
                EXPECT_EQ(stats.fellBack, 0u);
            }
        }
    }
}

}  // namespace
