// Whole conversions through DecodeMpegToWav with the real modules, which the
// library finds next to this program.
#include <gtest/gtest.h>

#include <dirent.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "Conformance.h"
#include "DecoderTestSupport.h"
#include "Quorvan.h"
#include "StreamDecoding.h"

using namespace qvtest;

namespace {

int Convert(const std::string& input, const std::string& output)
{
    CString in(input.c_str());
    CString out(output.c_str());
    return DecodeMpegToWav(in, out);
}

// Converts and reads the WAV, which must say 44100 Hz, 2 channels, 16 bits.
Wave ConvertToWave(const ScratchDir& dir, const std::string& input)
{
    std::string out = dir.Path("out.wav");
    remove(out.c_str());
    int rc = Convert(input, out);
    EXPECT_EQ(rc, QV_OK) << input;
    Wave w = ReadWave(out);
    EXPECT_TRUE(w.valid);
    EXPECT_EQ(w.sampleRate, 44100u);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bitsPerSample, 16);
    return w;
}

struct Encoding {
    const char* name;
    const char* tool;
    long rate;
    int channels;
    const char* command;  // %IN% and %OUT% are replaced
    bool lame;            // carries an Info frame with delay and padding
};

// Test names and logs show the encoding's name, not the record's bytes (which
// hold pointers and change with every build, breaking ctest --rerun-failed).
void PrintTo(const Encoding& e, std::ostream* os)
{
    *os << e.name;
}

std::string Expand(std::string command, const std::string& in, const std::string& out)
{
    for (const auto& kv : {std::make_pair(std::string("%IN%"), in), std::make_pair(std::string("%OUT%"), out)}) {
        size_t pos;
        while ((pos = command.find(kv.first)) != std::string::npos)
            command.replace(pos, kv.first.size(), "'" + kv.second + "'");
    }
    return command;
}

std::string EncodingName(const ::testing::TestParamInfo<Encoding>& info)
{
    return info.param.name;
}

// Encodes 2.5 s of the test signal; returns the stream's path, "" on failure.
std::string Encode(const ScratchDir& dir, const Encoding& e, size_t* inputFrames)
{
    *inputFrames = static_cast<size_t>(e.rate) * 5 / 2 + 11;
    std::string wav = dir.Path("in.wav"), mp = dir.Path("in.mpa");
    if (!WriteTestSignal(wav, e.rate, e.channels, *inputFrames) || !RunCommand(Expand(e.command, wav, mp)))
        return std::string();
    return mp;
}

// ---- 44.1 kHz: the same samples as ffmpeg's decode --------------------------

class At44100 : public ::testing::TestWithParam<Encoding> {};

TEST_P(At44100, MatchesFfmpegWithinOneLsbAndLength)
{
    const Encoding& e = GetParam();
    if (!HaveTool(e.tool) || !HaveTool("ffmpeg"))
        GTEST_SKIP() << e.tool << " or ffmpeg not available";
    ScratchDir dir;
    size_t inputFrames = 0;
    std::string mp = Encode(dir, e, &inputFrames);
    ASSERT_FALSE(mp.empty());
    Wave w = ConvertToWave(dir, mp);
    ASSERT_TRUE(FfmpegDecode(mp, dir.Path("ref.raw")));
    std::vector<int16_t> ref = ToStereo(ReadRawPcm(dir.Path("ref.raw")), e.channels);
    ASSERT_EQ(w.samples.size(), ref.size());
    Diff d = Compare(w.samples.data(), ref.data(), ref.size());
    EXPECT_LE(d.maxAbs, 1);
    if (e.lame) {
        EXPECT_EQ(w.Frames(), inputFrames) << "encoder delay or padding left in";
    }
    for (size_t i = 0; e.channels == 1 && i < w.samples.size(); i += 2)
        ASSERT_EQ(w.samples[i], w.samples[i + 1]);
}

const Encoding k44100[] = {
    {"lame_cbr_stereo", "lame", 44100, 2, "lame --quiet -b 192 %IN% %OUT%", true},
    {"lame_vbr_stereo", "lame", 44100, 2, "lame --quiet -V 2 %IN% %OUT%", true},
    {"lame_abr_joint", "lame", 44100, 2, "lame --quiet --abr 96 -m j --resample 44.1 %IN% %OUT%", true},
    {"lame_cbr_mono", "lame", 44100, 1, "lame --quiet -b 64 %IN% %OUT%", true},
    {"twolame_layer2_stereo", "twolame", 44100, 2, "twolame --quiet -b 192 %IN% %OUT%", false},
    {"ffmpeg_layer2_mono", "ffmpeg", 44100, 1, "ffmpeg -nostdin -v error -y -i %IN% -c:a mp2 -b:a 96k -f mp2 %OUT%", false},
};
INSTANTIATE_TEST_SUITE_P(Encoders, At44100, ::testing::ValuesIn(k44100), EncodingName);

// ffmpeg does not decode free-format streams: the conversion is held against
// the encoder's input instead (length exact, and as close as the codec gets).
TEST(FreeFormat, LameFreeFormatKeepsLengthAndSignal)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    const size_t kFrames = 44100 * 2 + 5;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 44100, 2, kFrames));
    ASSERT_TRUE(RunCommand("lame --quiet --freeformat -b 400 '" + dir.Path("in.wav") + "' '" +
                           dir.Path("free.mp3") + "'"));
    Wave w = ConvertToWave(dir, dir.Path("free.mp3"));
    Wave input = ReadWave(dir.Path("in.wav"));
    ASSERT_EQ(w.Frames(), kFrames);
    EXPECT_GE(Compare(w.samples.data(), input.samples.data(), input.samples.size()).snr, 20.0);
}

// ---- Other rates: resampled to 44.1 kHz ---------------------------------------

// The conversion of a stream at another rate, measured three ways:
//  - its length is within one sample of the native length scaled to 44.1 kHz;
//  - against `native` (a decode at the stream's own rate) resampled by
//    ffmpeg's libsoxr resampler, at least 60 dB SNR: this is our resampling,
//    channel copying and block slicing;
//  - against ffmpeg's own decode, resampled the same way, at least 60 dB SNR,
//    unless ffmpeg's and our decode already disagree at the native rate.
void ExpectResampledMatch(const ScratchDir& dir, const std::string& mp, long rate, int channels,
                          const std::vector<int16_t>& native, bool compareWithFfmpeg)
{
    Wave w = ConvertToWave(dir, mp);
    size_t nativeFrames = native.size() / static_cast<size_t>(channels);
    double expected = floor(static_cast<double>(nativeFrames) * 44100.0 / static_cast<double>(rate) + 0.5);
    EXPECT_NEAR(static_cast<double>(w.Frames()), expected, 1.0);

    ASSERT_TRUE(WriteRawPcm(dir.Path("native.raw"), native.data(), native.size()));
    ASSERT_TRUE(FfmpegResampleRaw(dir.Path("native.raw"), rate, channels, dir.Path("native44.raw")));
    double own = BestStereoSnr(w.samples, ToStereo(ReadRawPcm(dir.Path("native44.raw")), channels), 2);
    EXPECT_GE(own, 60.0);

    double agreement = 0, ffmpeg = 0;
    if (compareWithFfmpeg) {
        ASSERT_TRUE(FfmpegDecode(mp, dir.Path("ff.raw")));
        std::vector<int16_t> ff = ToStereo(ReadRawPcm(dir.Path("ff.raw")), channels);
        agreement = BestStereoSnr(ToStereo(native, channels), ff, 0);
        ASSERT_TRUE(FfmpegDecode(mp, dir.Path("ff44.raw"), 44100));
        ffmpeg = BestStereoSnr(w.samples, ToStereo(ReadRawPcm(dir.Path("ff44.raw")), channels), 2);
        if (agreement >= 60.0) {
            EXPECT_GE(ffmpeg, 60.0);
        }
    }
    printf("[ resampled ] %ld Hz x%d: %zu frames (expected %.0f); SNR %.1f dB against the native decode "
           "resampled",
           rate, channels, w.Frames(), expected, own);
    if (compareWithFfmpeg)
        printf(", %.1f dB against ffmpeg's (the decoders agree to %.1f dB at %ld Hz)", ffmpeg, agreement, rate);
    printf("\n");
}

class OtherRates : public ::testing::TestWithParam<Encoding> {};

TEST_P(OtherRates, ResampledLengthAndSnr)
{
    const Encoding& e = GetParam();
    if (!HaveTool(e.tool) || !HaveTool("ffmpeg"))
        GTEST_SKIP() << e.tool << " or ffmpeg not available";
    ScratchDir dir;
    size_t inputFrames = 0;
    std::string mp = Encode(dir, e, &inputFrames);
    ASSERT_FALSE(mp.empty());
    NativeDecode native = DecodeNative(ReadFile(mp));
    ASSERT_EQ(native.formats.size(), 1u);
    ASSERT_EQ(native.formats[0].rate, e.rate) << "the encoder changed the rate";
    ASSERT_EQ(native.formats[0].channels, e.channels);
    if (e.lame) {
        EXPECT_EQ(native.frames, inputFrames) << "encoder delay or padding left in";
    }
    ExpectResampledMatch(dir, mp, e.rate, e.channels, native.samples, true);
}

const Encoding kOtherRates[] = {
    {"lame_8000_mono", "lame", 8000, 1, "lame --quiet -b 24 %IN% %OUT%", true},
    {"lame_11025_stereo", "lame", 11025, 2, "lame --quiet -b 32 %IN% %OUT%", true},
    {"lame_12000_mono", "lame", 12000, 1, "lame --quiet -b 32 %IN% %OUT%", true},
    {"lame_16000_stereo", "lame", 16000, 2, "lame --quiet -b 64 %IN% %OUT%", true},
    {"lame_22050_mono", "lame", 22050, 1, "lame --quiet -V 4 %IN% %OUT%", true},
    {"lame_24000_stereo", "lame", 24000, 2, "lame --quiet -b 96 %IN% %OUT%", true},
    {"lame_32000_stereo", "lame", 32000, 2, "lame --quiet -b 128 %IN% %OUT%", true},
    {"lame_48000_mono", "lame", 48000, 1, "lame --quiet -b 96 %IN% %OUT%", true},
    {"twolame_16000_mono", "twolame", 16000, 1, "twolame --quiet -b 64 %IN% %OUT%", false},
    {"twolame_24000_stereo", "twolame", 24000, 2, "twolame --quiet -b 128 %IN% %OUT%", false},
    {"twolame_32000_stereo", "twolame", 32000, 2, "twolame --quiet -b 192 %IN% %OUT%", false},
    {"twolame_48000_stereo", "twolame", 48000, 2, "twolame --quiet -b 256 %IN% %OUT%", false},
};
INSTANTIATE_TEST_SUITE_P(Encoders, OtherRates, ::testing::ValuesIn(kOtherRates), EncodingName);

// Layer I has no encoder in Debian: the conformance streams at 32 and 48 kHz,
// against their reference decodes resampled.
TEST(OtherRatesLayer1, ConformanceStreamsResampled)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not available";
    for (const ConformanceVector& v : StandardVectors()) {
        std::string name = v.name;
        if (name != "l1-fl1" && name != "l1-fl4" && name != "l1-fl5")
            continue;
        SCOPED_TRACE(name);
        ScratchDir scratch;
        std::vector<int16_t> ref = ReadRawPcm(dir + "/standard/" + name + ".pcm");
        ref.resize(v.frames * static_cast<size_t>(v.channels));  // the reference runs on past the stream
        ExpectResampledMatch(scratch, dir + "/standard/" + name + ".bit", v.rate, v.channels, ref, false);
    }
}

// ---- Conformance at 44.1 kHz, end to end --------------------------------------

TEST(Conformance44100, EndToEndWithinOneLsb)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    ScratchDir scratch;
    for (const ConformanceVector& v : StandardVectors()) {
        if (v.rate != 44100)
            continue;
        SCOPED_TRACE(v.name);
        Wave w = ConvertToWave(scratch, dir + "/standard/" + v.name + ".bit");
        EXPECT_EQ(w.Frames(), v.frames);
        ConformanceResult r = MeasureConformance(v, w.samples);
        printf("[ end to end ] %-14s max |diff| %d, PSNR %.1f dB %s\n", v.name, r.maxAbs, r.psnr, r.note.c_str());
        if (v.gated) {
            EXPECT_LE(r.maxAbs, 1);
            EXPECT_GE(r.psnr, 96.0);
        }
    }
}

// The odd streams end to end: no crash, no hang; a WAV when there is audio,
// result 9 and no file when there is none.
TEST(OddStreamsEndToEnd, ResultAndFileAgree)
{
    std::string dir = ConformanceDir();
    if (dir.empty())
        GTEST_SKIP() << ConformanceMissing();
    ScratchDir scratch;
    std::vector<std::string> files;
    for (const char* sub : {"/nonstandard", "/extra"}) {
        DIR* d = opendir((dir + sub).c_str());
        ASSERT_TRUE(d);
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pcm") != 0 && n[0] != '.')
                files.push_back(dir + sub + "/" + n);
        }
        closedir(d);
    }
    ASSERT_GE(files.size(), 40u);
    std::string out = scratch.Path("out.wav");
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        remove(out.c_str());
        int rc = Convert(f, out);
        ASSERT_TRUE(rc == QV_OK || rc == QV_ERR_NO_AUDIO) << rc;
        EXPECT_EQ(FileExists(out), rc == QV_OK);
        if (rc == QV_OK) {
            Wave w = ReadWave(out);
            EXPECT_TRUE(w.valid && w.sampleRate == 44100 && w.channels == 2);
        }
    }
    // The MPEG-2.5 silence at 12 kHz: 44217 frames, resampled, all zero.
    Wave w = ConvertToWave(scratch, dir + "/extra/silence-44-s-mpeg25.mp3");
    EXPECT_NEAR(static_cast<double>(w.Frames()), floor(44217.0 * 44100.0 / 12000.0 + 0.5), 1.0);
    for (int16_t s : w.samples)
        ASSERT_EQ(s, 0);
}

// ---- Input that holds no MPEG audio ------------------------------------------

TEST(NotMpeg, GivesResultNineAndNoFile)
{
    ScratchDir dir;
    std::mt19937 rng(11);
    std::vector<unsigned char> random(1 << 20);
    for (unsigned char& c : random)
        c = static_cast<unsigned char>(rng());
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png.insert(png.end(), random.begin(), random.begin() + 5000);
    std::string text = "Just some words.\nNothing to hear here.\n";
    std::vector<std::pair<std::string, std::vector<unsigned char>>> inputs = {
        {"empty.mp3", {}},
        {"text.mp3", std::vector<unsigned char>(text.begin(), text.end())},
        {"image.mp3", png},
        {"random.mp3", random},
        // A system program: this test's own binary holds the frames the
        // tests are made of, which are audio.
        {"program.mp3", ReadFile("/usr/bin/ls")},
        {"shell.mp3", ReadFile("/bin/sh")},
        {"zeros.mp3", std::vector<unsigned char>(1 << 20, 0)},
    };
    ASSERT_TRUE(WriteTestSignal(dir.Path("signal.wav"), 44100, 2, 44100 * 2));
    inputs.push_back({"wave.mp3", ReadFile(dir.Path("signal.wav"))});
    if (HaveTool("ffmpeg") && RunCommand("ffmpeg -nostdin -v error -y -i '" + dir.Path("signal.wav") + "' '" +
                                  dir.Path("signal.flac") + "'"))
        inputs.push_back({"flac.mp3", ReadFile(dir.Path("signal.flac"))});
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.first);
        std::string in = dir.Path(input.first), out = dir.Path(input.first + ".wav");
        ASSERT_TRUE(WriteFile(in, input.second));
        EXPECT_EQ(Convert(in, out), QV_ERR_NO_AUDIO);
        EXPECT_FALSE(FileExists(out));
    }
}

// ---- Damage, end to end -------------------------------------------------------

TEST(Damage, JunkAndTruncationAreSkippedAndTheRestConverted)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    const size_t kFrames = 44100 * 3;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 44100, 2, kFrames));
    ASSERT_TRUE(RunCommand("lame --quiet -b 128 '" + dir.Path("in.wav") + "' '" + dir.Path("clean.mp3") + "'"));
    std::vector<unsigned char> clean = ReadFile(dir.Path("clean.mp3"));
    Wave reference = ConvertToWave(dir, dir.Path("clean.mp3"));
    ASSERT_EQ(reference.Frames(), kFrames);

    std::mt19937 rng(5);
    std::vector<unsigned char> junk(30000);
    for (unsigned char& c : junk)
        c = static_cast<unsigned char>(rng());
    std::vector<unsigned char> front = junk;
    front.insert(front.end(), clean.begin(), clean.end());
    std::vector<unsigned char> middle(clean.begin(), clean.begin() + 25000);
    middle.insert(middle.end(), junk.begin(), junk.end());
    middle.insert(middle.end(), clean.begin() + 25000, clean.end());
    std::vector<unsigned char> cut(clean.begin(), clean.begin() + static_cast<ptrdiff_t>(clean.size() * 3 / 4));

    ASSERT_TRUE(WriteFile(dir.Path("front.mp3"), front));
    Wave w = ConvertToWave(dir, dir.Path("front.mp3"));
    EXPECT_EQ(w.samples, reference.samples);

    ASSERT_TRUE(WriteFile(dir.Path("middle.mp3"), middle));
    w = ConvertToWave(dir, dir.Path("middle.mp3"));
    EXPECT_GE(w.Frames() + 3 * 1152, kFrames);
    ASSERT_GE(w.samples.size(), 44100u);
    EXPECT_TRUE(std::equal(w.samples.end() - 44100, w.samples.end(), reference.samples.end() - 44100))
        << "the end after the junk is not the stream's end";

    // A stray byte after every frame costs nothing.
    ASSERT_TRUE(WriteFile(dir.Path("junky.mp3"), WithJunkAfterFrames(clean, 1, 1, 1, 8)));
    w = ConvertToWave(dir, dir.Path("junky.mp3"));
    EXPECT_EQ(w.samples, reference.samples);

    ASSERT_TRUE(WriteFile(dir.Path("cut.mp3"), cut));
    w = ConvertToWave(dir, dir.Path("cut.mp3"));
    EXPECT_GE(w.Frames() + 3 * 1152, kFrames * 3 / 4);
    ASSERT_LE(w.samples.size(), reference.samples.size());
    EXPECT_TRUE(std::equal(w.samples.begin(), w.samples.end(), reference.samples.begin()));
}

// ---- Many conversions in one process -------------------------------------------

size_t OpenDescriptors()
{
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

long ResidentKiB()
{
    long kib = -1;
    if (FILE* f = fopen("/proc/self/status", "r")) {
        char line[256];
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmRSS: %ld", &kib) == 1)
                break;
        fclose(f);
    }
    return kib;
}

bool ModuleMapped()
{
    std::vector<unsigned char> maps = ReadFile("/proc/self/maps");
    std::string s(maps.begin(), maps.end());
    return s.find("libmasd32.so") != std::string::npos || s.find("libma32.so") != std::string::npos;
}

TEST(Cycles, HundredsOfConversionsLeakNoDescriptorsMemoryOrModules)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 22050, 2, 22050 / 2));
    ASSERT_TRUE(RunCommand("lame --quiet -b 64 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp3") + "'"));
    std::string in = dir.Path("a.mp3"), out = dir.Path("a.wav");
    // Warm up: first-time allocations of the C library and the loader.
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(Convert(in, out), QV_OK);
    size_t fds = OpenDescriptors();
    long rss = ResidentKiB();
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(Convert(in, out), QV_OK) << "conversion " << i;
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_FALSE(ModuleMapped()) << "a module stayed loaded after its conversion";
    long growth = ResidentKiB() - rss;
    printf("[ cycles ] resident memory grew by %ld KiB over 300 conversions\n", growth);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(growth, 8 * 1024);
#endif
}

// Twenty calls in one process, one of them for a file that does not exist.
// The test decoders_valgrind runs this one under valgrind, which must find no
// memory lost: the modules are loaded and unloaded at every call.
TEST(Cycles, TwentyCallsInOneProcess)
{
    if (!HaveTool("lame"))
        GTEST_SKIP() << "lame not available";
    ScratchDir dir;
    ASSERT_TRUE(WriteTestSignal(dir.Path("in.wav"), 22050, 1, 22050 / 4));
    ASSERT_TRUE(RunCommand("lame --quiet -b 32 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp3") + "'"));
    std::string in = dir.Path("a.mp3"), out = dir.Path("a.wav");
    EXPECT_EQ(Convert(dir.Path("missing.mp3"), out), QV_ERR_OPEN_INPUT);
    for (int i = 1; i < 20; ++i)
        ASSERT_EQ(Convert(in, out), QV_OK) << "conversion " << i;
}

}  // namespace
