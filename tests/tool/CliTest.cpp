// The built quorvan program, run as a user runs it: exit statuses, the lines
// it prints, what it refuses to touch, several files at once, the progress
// line, and real conversions when the real decoder modules are built.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qvtest::Exists;
using qvtest::TempDir;
using qvtest::WriteFile;

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

std::string Slurp(const std::string& path)
{
    std::vector<unsigned char> bytes = qvtest::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

int Status(int wstatus) { return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus); }

[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args, const std::string& cwd)
{
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(126);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// How to start the program: where, with what on standard input, and what
// else to set up in its process first.
struct Launch {
    std::string cwd;
    std::string program = QUORVAN_TOOL_PATH;
    std::string input = "/dev/null";
    std::function<void()> inChild;
};

// The program running in a process group of its own, with stdout and stderr
// on pipes.
class Running {
public:
    Running(const std::vector<std::string>& args, const Launch& launch = Launch())
    {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            abort();
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            int in = open(launch.input.c_str(), O_RDONLY);
            dup2(in, 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            unsetenv("LD_LIBRARY_PATH");  // the program must find everything by itself
            if (launch.inChild)
                launch.inChild();
            Exec(launch.program, args, launch.cwd);
        }
        setpgid(pid_, pid_);
        close(out[1]);
        close(err[1]);
        fds_[0] = out[0];
        fds_[1] = err[0];
    }

    pid_t pid() const { return pid_; }

    Result Wait()
    {
        Result r;
        pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
        std::string* sinks[2] = {&r.out, &r.err};
        int open = 2;
        while (open > 0 && poll(fds, 2, -1) > 0) {
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || fds[k].revents == 0)
                    continue;
                char buf[4096];
                ssize_t n = read(fds[k].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[k]->append(buf, static_cast<size_t>(n));
                } else {
                    close(fds[k].fd);
                    fds[k].fd = -1;
                    --open;
                }
            }
        }
        int ws;
        waitpid(pid_, &ws, 0);
        r.status = Status(ws);
        return r;
    }

private:
    pid_t pid_;
    int fds_[2];
};

Result Quorvan(const std::vector<std::string>& args, const Launch& launch = Launch())
{
    return Running(args, launch).Wait();
}

// True once no process is left in the group, within about two seconds.
bool GroupEnds(pid_t group)
{
    for (int i = 0; i < 200; ++i) {
        if (kill(-group, 0) != 0 && errno == ESRCH)
            return true;
        usleep(10000);
    }
    return false;
}

// Runs the program with stderr on a terminal; returns what the terminal got.
std::string RunOnTerminal(const std::vector<std::string>& args, int* status)
{
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(slave, 2);
        close(master);
        unsetenv("LD_LIBRARY_PATH");
        Exec(QUORVAN_TOOL_PATH, args, "");
    }
    close(slave);
    std::string screen;
    char buf[4096];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0)  // EIO once the program is gone
        screen.append(buf, static_cast<size_t>(n));
    close(master);
    int ws;
    waitpid(pid, &ws, 0);
    *status = Status(ws);
    return screen;
}

bool RealModulesBuilt()
{
    return Exists(QUORVAN_MODULE_DIR "/libma32.so") && Exists(QUORVAN_MODULE_DIR "/libmasd32.so");
}

#define REQUIRE_REAL_MODULES()                                                         \
    if (!RealModulesBuilt())                                                           \
    GTEST_SKIP() << "the real decoder modules are not built in " QUORVAN_MODULE_DIR

// A WAV file as the command writes it, with sizes that match the file.
void ExpectValidWav(const std::string& wav, uint32_t* dataBytes)
{
    std::vector<unsigned char> f = qvtest::ReadFile(wav);
    qvtest::WavHeader h = qvtest::ParseWavHeader(f);
    ASSERT_EQ(h.riff + h.wave + h.fmt + h.data, "RIFFWAVEfmt data") << wav;
    EXPECT_EQ(h.formatTag, 1);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.sampleRate, 44100u);
    EXPECT_EQ(h.bitsPerSample, 16);
    EXPECT_EQ(h.riffSize, f.size() - 8);
    EXPECT_EQ(h.dataSize, f.size() - 44);
    *dataBytes = h.dataSize;
}

void ExpectConvertedSample(const std::string& wav, unsigned copies = 1)
{
    uint32_t data = 0;
    ExpectValidWav(wav, &data);
    // The sample speaks for about six and a half seconds.
    EXPECT_GT(data, copies * 6u * 176400);
    EXPECT_LT(data, copies * 7u * 176400);
}

const char* const kTryHelp = "Try 'quorvan --help' for more information.\n";

TEST(Cli, UsageErrorsExitWithTwoAndSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "quorvan: no input file given\n"},
        {{"a.mp3", "b.mp3", "-o", "x.wav"}, "quorvan: -o needs exactly one input file, not 2\n"},
        {{"-j", "none", "a.mp3"}, "quorvan: -j needs a number of worker processes from 1 to 1024, not 'none'\n"},
        {{"--frobnicate", "a.mp3"}, "quorvan: unknown option --frobnicate\n"},
        {{"a.mp3", "-o"}, "quorvan: option -o needs a value\n"},
    };
    for (const Case& c : cases) {
        Result r = Quorvan(c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, c.message + kTryHelp);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Cli, HelpAndVersion)
{
    Result help = Quorvan({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: quorvan ", 0), 0u);
    for (const char* option : {"--output", "--force", "--jobs", "--quiet", "--version", "Exit status", "Result codes", "Ctrl-C"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    Result version = Quorvan({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quorvan " QUORVAN_VERSION "\n");
}

// A copy of the program in a folder of its own, run there with a copy of the
// library that has no modules beside it, finds no module: every file fails
// with code 7, in input order, and the exit status says so.
TEST(Cli, WithoutDecoderModulesEveryFileFailsInOrder)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    TempDir dir;
    std::string program = dir / "quorvan";
    ASSERT_EQ(system(("cp '" QUORVAN_TOOL_PATH "' '" + program + "'").c_str()), 0);
    Launch launch;
    launch.cwd = dir.path();
    launch.program = program;
    launch.inChild = [] { setenv("LD_LIBRARY_PATH", QUORVAN_LIBRARY_ALONE_DIR, 1); };
    Result r = Quorvan({"-j", "3", "c.mp3", "a.mp3", "b.mp3"}, launch);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    std::string line = ": the decoder modules (libma32.so, libmasd32.so) cannot be loaded (code 7): "
                       "libma32.so: cannot open shared object file: No such file or directory; "
                       "libmasd32.so: cannot open shared object file: No such file or directory\n";
    EXPECT_EQ(r.err, "quorvan: c.mp3" + line + "quorvan: a.mp3" + line + "quorvan: b.mp3" + line);

    // A damaged module beside the program is a failed load with its reason,
    // not a crash of the system loader.
    std::string real = QUORVAN_MODULE_DIR "/libmasd32.so";
    if (!Exists(real))
        return;
    WriteFile(dir / "libmasd32.so", Slurp(real).substr(0, 3000));
    r = Quorvan({"a.mp3"}, launch);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(code 7): libma32.so: cannot open shared object file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir / "libmasd32.so: not a loadable shared object: truncated"), std::string::npos) << r.err;
}

TEST(Cli, OutputThatExistsOrIsTheInputIsLeftAlone)
{
    TempDir dir;
    std::string input = dir / "in.mp3", wav = dir / "keep.wav";
    WriteFile(input, "not really audio");
    WriteFile(wav, "precious");

    Result r = Quorvan({input, "-o", wav});
    EXPECT_EQ(r.status, 1);
    const std::string cannot = "quorvan: " + input + ": the WAV file cannot be created (code 4): ";
    EXPECT_EQ(r.err, cannot + wav + " already exists and was left alone (use -f to replace it)\n");
    EXPECT_EQ(Slurp(wav), "precious");
    // A folder is no place for it, said at once.
    r = Quorvan({input, "-o", dir.path()});
    EXPECT_EQ(r.err, cannot + dir.path() + " is a folder\n");

    // The input itself, by its own name or another, is refused even with -f.
    ASSERT_EQ(symlink(input.c_str(), (dir / "alias.wav").c_str()), 0);
    for (const std::string& target : {input, dir / "alias.wav"}) {
        r = Quorvan({"-f", input, "-o", target});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, cannot + target + " is the input file itself\n");
    }
    EXPECT_EQ(Slurp(input), "not really audio");

    // -f lets the library have the existing file (it fails here for its own reasons).
    r = Quorvan({"-f", input, "-o", wav});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("already exists"), std::string::npos) << r.err;
}

TEST(Cli, ProgressLineOnlyOnATerminal)
{
    TempDir dir;
    WriteFile(dir / "a.mp3", "x");
    Result piped = Quorvan({dir / "a.mp3", dir / "a.mp3"});
    EXPECT_EQ(piped.err.find_first_of("\r\033"), std::string::npos) << piped.err;

    int status;
    std::string screen = RunOnTerminal({dir / "a.mp3", dir / "a.mp3"}, &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(screen.find("2/2 files  0:0"), std::string::npos) << screen;
    // Cleared at the end: the last thing written erases the line.
    ASSERT_GE(screen.size(), 4u);
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\033[K") << screen;
    EXPECT_TRUE(RunOnTerminal({"-q", dir / "a.mp3"}, &status).find("files") == std::string::npos);
}

TEST(Cli, ConvertsTheBundledSample)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    std::string input = dir / "sample.mp3";
    WriteFile(input, Slurp(QUORVAN_SAMPLE_PATH));

    Result r = Quorvan({input});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, input + " -> " + (dir / "samplemp3.wav") + "\n");
    EXPECT_EQ(r.err, "");
    ExpectConvertedSample(dir / "samplemp3.wav");

    // Named with -o; -q prints nothing on success.
    r = Quorvan({"-q", input, "-o", dir / "named.wav"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    ExpectConvertedSample(dir / "named.wav");

    // A WAV file that cannot be made says why.
    r = Quorvan({input, "-o", dir / "no/such/folder.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvan: " + input + ": the WAV file cannot be created (code 4): " +
                         (dir / "no/such/folder.wav") + ": No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

// Good and bad files at once: the good ones convert, every line comes in
// input order though the long first file finishes last, and the exit status
// reports the failures. The same file twice gets two WAV files, not one
// written twice.
TEST(Cli, SeveralFilesAtOnceWithSomeBad)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    std::string sample = Slurp(QUORVAN_SAMPLE_PATH), longer;
    for (int i = 0; i < 20; ++i)
        longer += sample;
    WriteFile(dir / "a.mp3", longer);
    WriteFile(dir / "text.mp3", std::string(5000, 'x'));
    WriteFile(dir / "c.mp2", sample);

    Launch launch;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", dir.path().c_str(), 1); };
    Result r = Quorvan({"-j", "2", "a.mp3", "text.mp3", "missing.mp3", "c.mp2", "a.mp3"}, launch);
    EXPECT_EQ(r.status, 1);
    const std::string failures =
        "quorvan: text.mp3: no MPEG audio found in the file (code 9)\n"
        "quorvan: missing.mp3: the input file cannot be opened (code 1): No such file or directory\n"
        "quorvan: a.mp3: amp3.wav is written by another input of this run, so the WAV file went to " +
        dir.path() + "/Tmp";
    EXPECT_EQ(r.err.substr(0, failures.size()), failures);
    std::istringstream lines(r.out);
    std::string first, second, third, rest;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    std::getline(lines, rest);
    EXPECT_EQ(first, "a.mp3 -> amp3.wav");
    EXPECT_EQ(second, "c.mp2 -> cmp2.wav");
    ASSERT_EQ(third.rfind("a.mp3 -> ", 0), 0u) << r.out;
    EXPECT_EQ(rest, "");
    std::string again = third.substr(9);
    EXPECT_NE(again, "amp3.wav");
    ExpectConvertedSample(dir / "amp3.wav", 20);
    ExpectConvertedSample(dir / "cmp2.wav");
    ExpectConvertedSample(again, 20);
    // Nothing is left of the failed ones.
    EXPECT_FALSE(Exists(dir / "textmp3.wav") || Exists(dir / "missingmp3.wav"));
}

// Two inputs that derive the same WAV name, converted at once again and
// again, always end in two files.
TEST(Cli, TwoInputsOfTheSameNameNeverShareAFile)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    std::string sample = Slurp(QUORVAN_SAMPLE_PATH);
    WriteFile(dir / "a.mp3", sample.substr(0, 20000));
    WriteFile(dir / "amp3", sample.substr(0, 20000));
    Launch launch;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", (dir / "tmp").c_str(), 1); };
    ASSERT_EQ(mkdir((dir / "tmp").c_str(), 0700), 0);
    for (int run = 0; run < 40; ++run) {
        Result r = Quorvan({"-q", "-j", "2", "a.mp3", "amp3"}, launch);
        ASSERT_EQ(r.status, 3) << r.err;  // the second went to the temporary folder
        ASSERT_EQ(system(("n=$(ls '" + dir.path() + "/tmp' | wc -l); [ \"$n\" = 1 ] && [ -s '" + dir.path() +
                          "/amp3.wav' ] && rm '" + dir.path() + "/amp3.wav' '" + dir.path() + "'/tmp/*")
                             .c_str()),
                  0)
            << "run " << run;
    }
}

// A name beside the input that is taken is said (unless -q), and -f replaces
// it instead.
TEST(Cli, SaysWhereTheFileWentWhenItsNameWasTakenAndForceReplacesIt)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    WriteFile(dir / "a.mp3", Slurp(QUORVAN_SAMPLE_PATH));
    WriteFile(dir / "amp3.wav", "older");
    Launch launch;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", (dir / "tmp").c_str(), 1); };
    ASSERT_EQ(mkdir((dir / "tmp").c_str(), 0700), 0);

    // Exit status 3, and a last line that names the file, even with -q.
    Result r = Quorvan({"a.mp3"}, launch);
    EXPECT_EQ(r.status, 3);
    std::string notice = "quorvan: a.mp3: amp3.wav already exists (-f replaces it), so the WAV file went to ";
    ASSERT_EQ(r.err.substr(0, notice.size()), notice) << r.err;
    std::string went = r.err.substr(notice.size(), r.err.find('\n') - notice.size());
    EXPECT_EQ(r.out, "a.mp3 -> " + went + "\n");
    const std::string last =
        "quorvan: 1 of 1 WAV file went to the temporary folder, not beside its input: a.mp3 -> ";
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), last + went + "\n");
    ExpectConvertedSample(went);
    r = Quorvan({"-q", "a.mp3"}, launch);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.rfind(last, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    r = Quorvan({"-f", "a.mp3"}, launch);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "a.mp3 -> amp3.wav\n");
    ExpectConvertedSample(dir / "amp3.wav");
}

// "-" reads the standard input (only with -o), "-o -" writes the standard
// output through a staging file that does not stay, and a name inside /dev
// is never derived.
TEST(Cli, StandardInputAndOutput)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    Launch launch;
    launch.input = QUORVAN_SAMPLE_PATH;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", (dir / "tmp").c_str(), 1); };
    ASSERT_EQ(mkdir((dir / "tmp").c_str(), 0700), 0);

    Result r = Quorvan({"-", "-o", "in.wav"}, launch);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "- -> in.wav\n");
    ExpectConvertedSample(dir / "in.wav");

    // Into a pipe the sizes are those of a WAV file of unknown length; every
    // other byte is the file's.
    r = Quorvan({"-", "-o", "-"}, launch);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string file = Slurp(dir / "in.wav");
    ASSERT_EQ(r.out.size(), file.size());
    EXPECT_EQ(r.out.substr(4, 4) + r.out.substr(40, 4), std::string(8, '\xff'));
    EXPECT_TRUE(r.out.compare(8, 32, file, 8, 32) == 0 && r.out.compare(44, std::string::npos, file, 44) == 0);
    EXPECT_EQ(system(("[ -z \"$(ls '" + dir.path() + "/tmp')\" ]").c_str()), 0) << "a staging file stayed";

    r = Quorvan({"-"}, launch);
    EXPECT_EQ(r.status, 2);

    r = Quorvan({"/dev/stdin"}, launch);
    EXPECT_EQ(r.status, 3) << r.err;
    std::string notice = "quorvan: /dev/stdin: no WAV file is put into /dev, so the WAV file went to " + (dir / "tmp/Tmp");
    EXPECT_EQ(r.err.substr(0, notice.size()), notice);
    EXPECT_FALSE(Exists("/dev/stdin.wav"));
}

// -o - streams: the first megabyte comes while the rest is still being
// decoded, a reader that goes away stops the run at once (as SIGPIPE would)
// and leaves nothing, and a standard output that is a file gets the true
// sizes: the same bytes as -o FILE.
TEST(Cli, StandardOutputStreamsAsTheAudioIsDecoded)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    std::string sample = Slurp(QUORVAN_SAMPLE_PATH), longer;
    for (int i = 0; i < 100; ++i)
        longer += sample;
    WriteFile(dir / "long.mp3", longer);
    ASSERT_EQ(mkdir((dir / "tmp").c_str(), 0700), 0);
    Launch launch;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", (dir / "tmp").c_str(), 1); };

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    Launch piped = launch;
    piped.inChild = [&] {
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        dup2(out[1], 1);
        close(out[0]);
    };
    auto start = std::chrono::steady_clock::now();
    Running q({"long.mp3", "-o", "-"}, piped);
    close(out[1]);
    std::string got;
    char buf[65536];
    ssize_t n;
    while (got.size() < 1000000 && (n = read(out[0], buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    auto firstMegabyte = std::chrono::steady_clock::now() - start;
    // How far the staging file had got by then (the WAV file is 115 MB).
    std::string staged = dir / "staged";
    ASSERT_EQ(system(("stat -c %s '" + dir.path() + "'/tmp/* >'" + staged + "'").c_str()), 0);
    long long stagedBytes = atoll(Slurp(staged).c_str());
    close(out[0]);
    Result r = q.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LT(firstMegabyte, std::chrono::seconds(1));
    EXPECT_EQ(r.status, 128 + SIGPIPE);
    EXPECT_EQ(r.err, "quorvan: long.mp3: not converted: the run was stopped (the standard output was closed)\n");
    EXPECT_EQ(system(("[ -z \"$(ls '" + dir.path() + "/tmp')\" ]").c_str()), 0) << "a staging file stayed";

    ASSERT_EQ(Quorvan({"-q", "long.mp3", "-o", "named.wav"}, launch).status, 0);
    std::string named = Slurp(dir / "named.wav");
    EXPECT_LT(stagedBytes, static_cast<long long>(named.size())) << "the first megabyte came only at the end";
    EXPECT_EQ(got.substr(4, 4) + got.substr(40, 4), std::string(8, '\xff'));
    EXPECT_TRUE(got.compare(44, std::string::npos, named, 44, got.size() - 44) == 0);

    // Into a file, after what is there already: the true sizes at the WAV
    // file's own start.
    Launch toFile = launch;
    toFile.inChild = [&] {
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        int fd = open((dir / "out.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (write(fd, "before", 6) != 6)
            _exit(99);
        dup2(fd, 1);
    };
    r = Quorvan({"long.mp3", "-o", "-"}, toFile);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Slurp(dir / "out.bin") == "before" + named) << "not the bytes of -o FILE";
}

// A file-size limit or a full device ends the conversion with the system's
// reason; past the limit the WAV file is valid and holds what was written.
TEST(Cli, WriteFailuresGiveTheSystemsReason)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    Launch launch;
    launch.inChild = [] {
        struct rlimit limit = {100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    Result r = Quorvan({QUORVAN_SAMPLE_PATH, "-o", dir / "limited.wav"}, launch);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvan: " QUORVAN_SAMPLE_PATH ": decoded audio cannot be written to the WAV file (code 6): "
                     "File too large (" + (dir / "limited.wav") + " holds the audio written before)\n");
    uint32_t data = 0;
    ExpectValidWav(dir / "limited.wav", &data);
    EXPECT_GT(data, 0u);

    r = Quorvan({"-f", QUORVAN_SAMPLE_PATH, "-o", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(code 4): No space left on device"), std::string::npos) << r.err;
}

// A worker that crashes mid-file fails that file alone, which leaves
// nothing behind; a new worker takes the next file.
TEST(Cli, ACrashedWorkerFailsOnlyItsFile)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    std::string sample = Slurp(QUORVAN_SAMPLE_PATH), longer;
    for (int i = 0; i < 200; ++i)
        longer += sample;
    WriteFile(dir / "long.mp3", longer);
    WriteFile(dir / "two.mp2", sample);
    Launch launch;
    launch.cwd = dir.path();
    // Under AddressSanitizer the worker's own handler would catch the signal,
    // report and exit 1: let it kill the worker, as in any other build.
    launch.inChild = [] {
        const char* asan = getenv("ASAN_OPTIONS");
        std::string options = asan && *asan ? std::string(asan) + ":" : std::string();
        setenv("ASAN_OPTIONS", (options + "handle_segv=0").c_str(), 1);
    };
    Running q({"-j", "1", "long.mp3", "two.mp2"}, launch);
    struct stat begun = {};
    for (int i = 0; i < 300 && (stat((dir / "longmp3.wav").c_str(), &begun) != 0 || begun.st_size == 0); ++i)
        usleep(10000);
    std::ifstream children("/proc/" + std::to_string(q.pid()) + "/task/" + std::to_string(q.pid()) + "/children");
    pid_t worker = 0;
    ASSERT_TRUE(children >> worker) << "no worker at work";
    kill(worker, SIGSEGV);
    Result r = q.Wait();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvan: long.mp3: the conversion crashed (signal 11, Segmentation fault)\n");
    EXPECT_EQ(r.out, "two.mp2 -> twomp2.wav\n");
    EXPECT_FALSE(Exists(dir / "longmp3.wav"));
    ExpectConvertedSample(dir / "twomp2.wav");
}

// Stopped by SIGINT (to the whole group, as Ctrl-C does), SIGTERM or SIGHUP,
// the command ends its workers at once, leaves no file it had begun, says
// which inputs were not converted and exits with 128 + the signal. Killed
// outright, its workers still end, and remove their file.
TEST(Cli, StoppingTheCommandStopsEverythingAndLeavesNothing)
{
    REQUIRE_REAL_MODULES();
    TempDir dir;
    WriteFile(dir / "later.mp3", Slurp(QUORVAN_SAMPLE_PATH));
    Launch launch;
    launch.cwd = dir.path();
    launch.inChild = [&] { setenv("TMPDIR", dir.path().c_str(), 1); };
    const std::string listing = "ls '" + dir.path() + "'";
    struct {
        int signal;
        bool group;
        bool toStdout;
    } cases[] = {{SIGINT, true, false}, {SIGTERM, false, false}, {SIGHUP, false, false}, {SIGKILL, false, false},
                 {SIGTERM, false, true}};
    for (auto c : cases) {
        // /dev/zero never ends; its WAV file (or the staging file for the
        // standard output) goes to the temporary folder.
        Running q(c.toStdout ? std::vector<std::string>{"/dev/zero", "-o", "-"}
                             : std::vector<std::string>{"-j", "1", "/dev/zero", "later.mp3"},
                  launch);
        const std::string begun = "[ $(" + listing + " | wc -l) = 2 ]";
        for (int i = 0; i < 300 && system(begun.c_str()) != 0; ++i)
            usleep(10000);
        ASSERT_EQ(system(begun.c_str()), 0) << "no file begun";
        usleep(100000);  // the worker is at work
        kill(c.group ? -q.pid() : q.pid(), c.signal);
        auto start = std::chrono::steady_clock::now();
        Result r = q.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_TRUE(GroupEnds(q.pid())) << "a worker outlived the command, signal " << c.signal;
        EXPECT_EQ(r.status, 128 + c.signal);
        EXPECT_EQ(system(("[ \"$(" + listing + ")\" = later.mp3 ]").c_str()), 0) << "signal " << c.signal;
        std::string why = std::string(" (signal ") + std::to_string(c.signal) + ", " + strsignal(c.signal) + ")\n";
        std::string expected = "quorvan: /dev/zero: not converted: the run was stopped" + why;
        if (!c.toStdout)
            expected += "quorvan: later.mp3: not converted: the run was stopped" + why;
        if (c.signal != SIGKILL) {
            EXPECT_EQ(r.out + r.err, expected);
        }
    }
}

}  // namespace
