// The command's parts in-process, on every system: option parsing, messages,
// the progress text, the WAV data size, and output names over the system's
// files. (CliTest.cpp runs the worker pool through the built program.)
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Conversion.h"
#include "WorkerThreads.h"
#include "Messages.h"
#include "Options.h"
#include "OutputPlan.h"
#include "PlatformText.h"
#include "Progress.h"
#include "QuorvanDecoderSettings.h"
#include "TestSupport.h"

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
    // After "--", dashes are file names; "-" is the standard input or output.
    ASSERT_TRUE(Parse({"--", "-o", "--help"}, &o));
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"-o", "--help"}));
    EXPECT_FALSE(o.help);
    ASSERT_TRUE(Parse({"-", "-o", "-"}, &o));
    EXPECT_EQ(o.inputs, std::vector<std::string>{"-"});
    EXPECT_EQ(o.output, "-");
    EXPECT_EQ(o.jobs, 0u);  // the default: one per core
}

TEST(Options, RejectsWhatCannotBeMeant)
{
    Options o;
    std::string error;
    for (auto args : std::vector<std::vector<const char*>>{
             {}, {"-o"}, {"-o", "x"}, {"a", "b", "-o", "x"}, {"-o", "", "a"}, {"-o", "x", "-o", "y", "a"},
             {"-j", "0", "a"}, {"-j", "-2", "a"}, {"-j", "2x", "a"}, {"--jobs=", "a"}, {"-j", "99999", "a"},
             {"-x", "a"}, {"--frobnicate", "a"}, {"--force=yes", "a"}, {"-"}, {"a", "-"},
             {"--worker=1,3,4"}, {"--worker-of", "1,3,4"}}) {
        error.clear();
        EXPECT_FALSE(Parse(args, &o, &error)) << (args.empty() ? "(nothing)" : args[0]);
        EXPECT_FALSE(error.empty());
    }
    Parse({"--force=yes", "a"}, &o, &error);
    EXPECT_EQ(error, "option --force takes no value");
    Parse({"-qx", "a"}, &o, &error);
    EXPECT_EQ(error, "unknown option -x");
    Parse({"a", "--output"}, &o, &error);
    EXPECT_EQ(error, "option --output needs a value");
    // --help and --version need no input.
    EXPECT_TRUE(Parse({"--help"}, &o) && o.help);
    EXPECT_TRUE(Parse({"-V"}, &o) && o.version);
    // Nor does the worker mode, whose option only the command itself writes,
    // whole, and the help keeps to itself.
    EXPECT_TRUE(Parse({"--worker-of=7,3,4"}, &o) && o.workerOf == "7,3,4");
    EXPECT_EQ(UsageText().find("worker-of"), std::string::npos);
}

TEST(Messages, EveryResultCodeHasItsOwnWordsAndItsNumber)
{
    // Every row of the table, and a code the table lacks.
    std::vector<int> codes;
#define QV_RESULT(name, code, about, keeps, message, meaning, left) codes.push_back(code);
#define QV_FIRST_RESULT(name, code, about, keeps, message, meaning, left)
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
    codes.push_back(42);
    std::set<std::string> seen;
    for (int code : codes) {
        std::string text = ResultCodeText(code);
        EXPECT_NE(text.find("(code " + std::to_string(code) + ")"), std::string::npos) << text;
        EXPECT_TRUE(seen.insert(text.substr(0, text.find(" (code"))).second) << text;
    }
    Outcome noAudio;
    noAudio.kind = Outcome::kLibraryError;
    noAudio.code = 9;
    EXPECT_EQ(FailureLine("song.mp3", noAudio), "quorvan: song.mp3: no MPEG audio found in the file (code 9)");
    // The command's own refusals carry the code that means the same.
    Outcome refused;
    refused.kind = Outcome::kRefused;
    refused.code = 4;
    refused.detail = "out is a folder";
    EXPECT_EQ(FailureLine("a.mp3", refused), "quorvan: a.mp3: the WAV file cannot be created (code 4): out is a folder");
}

#ifndef _WIN32
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
#endif

TEST(Progress, ShowsFilesElapsedTimeAudioRateAndEachRunningFile)
{
    std::map<size_t, RunningFile> none, running;
    EXPECT_EQ(FormatProgress(0, 4, 0.2, 0, none, 80), "0/4 files  0:00");
    EXPECT_EQ(FormatProgress(2, 5, 65.5, 131, none, 80), "2/5 files  1:05  2.0 s of audio per second");
    running[3] = RunningFile{"music/a.mp3", 0.424, 12};
    running[1] = RunningFile{"-", -1, 12.25};
    EXPECT_EQ(FormatProgress(2, 5, 65.5, 131, running, 80),
              "2/5 files  1:05  2.0 s of audio per second  - 12.2 s  a.mp3 42%");
    EXPECT_EQ(FormatProgress(2, 5, 65.5, 131, running, 20), "2/5 files  1:05  2.0");
}

// What the line shows as files end and when the run is stopped: a share once
// known stays until the file is done, and after a stop nothing is drawn.
TEST(Progress, KeepsTheShareToTheEndAndDrawsNothingAfterAStop)
{
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    auto screen = [out] {
        std::string text(static_cast<size_t>(ftell(out)), '\0');
        rewind(out);
        text.resize(fread(&text[0], 1, text.size(), out));
        return text;
    };
    ProgressLine line(out, true, 3, 200);
    line.Update(0, RunningFile{"a.mp3", 0.5, 3});
    line.Update(0, RunningFile{"a.mp3", -1, 6});  // its input closed as the WAV file is finished
    line.Tick();
    EXPECT_NE(screen().find("a.mp3 50%"), std::string::npos) << screen();
    EXPECT_EQ(screen().find("6.0 s"), std::string::npos) << screen();

    line.Stop();
    std::string stopped = screen();
    // Erased with the terminal's escape (where the line is padded with spaces instead, by them).
    std::string erase = std::string("\r") + kEraseToEndOfLine;
    if (*kEraseToEndOfLine) {
        EXPECT_EQ(stopped.substr(stopped.size() - erase.size()), erase);
    }
    line.FileDone(0, 0);
    line.FileDone(1, 0);
    line.Tick();
    line.Clear();
    EXPECT_EQ(screen(), stopped) << "drawn after the stop";
    fclose(out);
}

TEST(Messages, TheLastLineNamesEveryFileInTheTemporaryFolder)
{
    EXPECT_EQ(TemporaryFolderLine({{"a.mp3", "/tmp/Tmp1.wav"}, {"b.mp2", "/tmp/Tmp2.wav"}}, 5),
              "quorvan: 2 of 5 WAV files went to the temporary folder, not beside their inputs: "
              "a.mp3 -> /tmp/Tmp1.wav, b.mp2 -> /tmp/Tmp2.wav");
}

TEST(DecoderThreads, TheCoresAreSharedAmongTheWorkersThatRunAtOnce)
{
    EXPECT_EQ(8u, ThreadsPerWorker(8, 8, 1));  // one file: all cores for it
    EXPECT_EQ(4u, ThreadsPerWorker(8, 2, 10));
    EXPECT_EQ(2u, ThreadsPerWorker(8, 4, 3));  // three files run at once
    EXPECT_EQ(1u, ThreadsPerWorker(2, 8, 8));  // more workers than cores
    EXPECT_EQ(1u, ThreadsPerWorker(3, 2, 5));  // rounded down, never oversubscribed

    qvtest::ScopedEnv chosen(quorvan::kDecoderThreadsVariable, "3");
    ShareCoresAmongWorkers(8, 1, 1);
    EXPECT_STREQ("3", getenv(quorvan::kDecoderThreadsVariable));  // the user's choice stands
}

TEST(WavDataBytes, FindsTheDataChunkPastOthers)
{
    qvtest::TempDir dir;
    const std::string path = dir / "data.wav";
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    // An odd-sized chunk is padded to an even size before the next one.
    std::ofstream(path, std::ios::binary) << "RIFF" << le32(0) << "WAVE" << "LIST" << le32(3) << "abc" << '\0'
                                          << "data" << le32(123456);
    EXPECT_EQ(WavDataBytes(path), 123456u);
    std::ofstream(path, std::ios::binary) << "not a wave file at all";
    EXPECT_EQ(WavDataBytes(path), 0u);
}

// A device, whose folder never gets a WAV file.
#ifdef _WIN32
const char* const kDevice = "\\\\.\\pipe\\quorvan.mp3";
const char* const kDeviceFolder = "\\\\.\\pipe";
#else
const char* const kDevice = "/dev/null";
const char* const kDeviceFolder = "/dev";
#endif

// Every name a planner hands out is claimed: another input deriving the same
// name, a name already there (unless -f), a folder, the input itself and a
// system folder all fall back to the temporary folder with a notice.
TEST(OutputNames, NeverTheSameFileTwiceAndEveryFallbackSaysWhy)
{
    qvtest::TempDir dir, temp;
    // The temporary folder's variable on POSIX systems, and on Windows.
    qvtest::ScopedEnv tmpdir("TMPDIR", temp.path()), tmp("TMP", temp.path());
    qvtest::WriteFile(dir / "a.mp3", "a");
    qvtest::WriteFile(dir / "amp3", "b");
    qvtest::WriteFile(dir / "old.mp3", "c");
    qvtest::WriteFile(dir / "oldmp3.wav", "earlier");
    ASSERT_TRUE(std::filesystem::create_directory(dir / "fmp3.wav"));
    qvtest::WriteFile(dir / "f.mp3", "d");

    for (bool force : {false, true}) {
        OutputPlanner planner("", force);
        OutputPlan first, second, old, folder, device;
        Outcome refused;
        ASSERT_TRUE(planner.Plan(dir / "a.mp3", &first, &refused));
        EXPECT_EQ(first.path, dir / "amp3.wav");
        EXPECT_TRUE(first.created && first.notice.empty());
        ASSERT_TRUE(planner.Plan(dir / "amp3", &second, &refused));
        EXPECT_EQ(second.path.rfind(temp / "Tmp", 0), 0u) << second.path;
        EXPECT_EQ(second.notice, dir / "amp3.wav is written by another input of this run");
        ASSERT_TRUE(planner.Plan(dir / "old.mp3", &old, &refused));
        if (force) {
            EXPECT_EQ(old.path, dir / "oldmp3.wav");
            EXPECT_FALSE(old.created);
        } else {
            EXPECT_EQ(old.notice, dir / "oldmp3.wav already exists (-f replaces it)");
        }
        ASSERT_TRUE(planner.Plan(dir / "f.mp3", &folder, &refused));
        EXPECT_EQ(folder.notice, dir / "fmp3.wav is a folder");
        ASSERT_TRUE(planner.Plan(kDevice, &device, &refused));
        EXPECT_EQ(device.notice, std::string("no WAV file is put into ") + kDeviceFolder);

        // Released without a result, what the run made goes again; the file
        // -f replaces stays.
        for (const OutputPlan* p : {&first, &second, &old, &folder, &device})
            planner.Release(*p, false);
        EXPECT_FALSE(qvtest::Exists(dir / "amp3.wav"));
        EXPECT_FALSE(qvtest::Exists(second.path));
        EXPECT_TRUE(qvtest::Exists(dir / "oldmp3.wav"));
    }

    // A named output: a folder or the input is refused even with -f.
    OutputPlanner named(dir / "fmp3.wav", true);
    OutputPlan plan;
    Outcome refused;
    EXPECT_FALSE(named.Plan(dir / "a.mp3", &plan, &refused));
    EXPECT_EQ(refused.detail, dir / "fmp3.wav is a folder");
    OutputPlanner itself(dir / "a.mp3", true);
    EXPECT_FALSE(itself.Plan(dir / "a.mp3", &plan, &refused));
    EXPECT_EQ(refused.detail, dir / "a.mp3 is the input file itself");
}

}  // namespace
