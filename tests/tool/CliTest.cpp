// The built quorvan program, run as a user runs it: exit statuses, the lines
// it prints, what it refuses to touch, several files at once, the progress
// line, and real conversions when the real decoder modules are built.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void Write(const std::string& path, const std::string& contents) { std::ofstream(path, std::ios::binary) << contents; }

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char t[] = "/tmp/quorvan-cli-XXXXXX";
        path = mkdtemp(t);
    }
    ~TempDir() { (void)!system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

int Status(int wstatus) { return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus); }

[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args, const std::string& cwd)
{
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(126);
    unsetenv("LD_LIBRARY_PATH");  // the program must find everything by itself
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// Runs the program with stdout and stderr on pipes.
Result Quorvan(const std::vector<std::string>& args, const std::string& cwd = "",
           const std::string& program = QUORVAN_TOOL_PATH)
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        Exec(program, args, cwd);
    }
    close(out[1]);
    close(err[1]);
    Result r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
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
    waitpid(pid, &ws, 0);
    r.status = Status(ws);
    return r;
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

std::string ProgramFolder()
{
    std::string p = QUORVAN_TOOL_PATH;
    return p.substr(0, p.rfind('/') + 1);
}

bool RealModulesBuilt()
{
    return Exists(ProgramFolder() + "libma32.so") && Exists(ProgramFolder() + "libmasd32.so");
}

#define REQUIRE_REAL_MODULES()                                                         \
    if (!RealModulesBuilt())                                                           \
    GTEST_SKIP() << "the real decoder modules are not built next to " QUORVAN_TOOL_PATH

// The "fmt " fields and data size of a WAV file; false if it is none.
bool ReadWav(const std::string& path, int* channels, int* rate, int* bits, uint32_t* dataBytes)
{
    std::string f = Slurp(path);
    auto u32 = [&](size_t at) {
        return at + 4 <= f.size() ? uint32_t(uint8_t(f[at])) | uint32_t(uint8_t(f[at + 1])) << 8 |
                                        uint32_t(uint8_t(f[at + 2])) << 16 | uint32_t(uint8_t(f[at + 3])) << 24
                                  : 0u;
    };
    if (f.compare(0, 4, "RIFF") != 0 || f.compare(8, 4, "WAVE") != 0)
        return false;
    bool fmt = false;
    for (size_t at = 12; at + 8 <= f.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
        if (f.compare(at, 4, "fmt ") == 0) {
            fmt = (u32(at + 8) & 0xffff) == 1;  // PCM
            *channels = u32(at + 8) >> 16;
            *rate = static_cast<int>(u32(at + 12));
            *bits = u32(at + 22) & 0xffff;
        } else if (f.compare(at, 4, "data") == 0) {
            *dataBytes = u32(at + 4);
            return fmt && at + 8 + *dataBytes <= f.size();
        }
    }
    return false;
}

void ExpectConvertedSample(const std::string& wav, unsigned copies = 1)
{
    int channels = 0, rate = 0, bits = 0;
    uint32_t data = 0;
    ASSERT_TRUE(ReadWav(wav, &channels, &rate, &bits, &data)) << wav;
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(bits, 16);
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
    for (const char* option : {"--output", "--force", "--jobs", "--quiet", "--version", "Exit status"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    Result version = Quorvan({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quorvan " QUORVAN_VERSION "\n");
}

// A copy of the program in a folder of its own, run there, finds no module:
// every file fails with code 7, in input order, and the exit status says so.
TEST(Cli, WithoutDecoderModulesEveryFileFailsInOrder)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    TempDir dir;
    std::string program = dir / "quorvan";
    ASSERT_EQ(system(("cp '" QUORVAN_TOOL_PATH "' '" + program + "'").c_str()), 0);
    Result r = Quorvan({"-j", "3", "c.mp3", "a.mp3", "b.mp3"}, dir.path, program);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    std::string line = ": the decoder modules (libma32.so, libmasd32.so) cannot be loaded (code 7)\n";
    EXPECT_EQ(r.err, "quorvan: c.mp3" + line + "quorvan: a.mp3" + line + "quorvan: b.mp3" + line);
}

TEST(Cli, OutputThatExistsOrIsTheInputIsLeftAlone)
{
    TempDir dir;
    std::string input = dir / "in.mp3", wav = dir / "keep.wav";
    Write(input, "not really audio");
    Write(wav, "precious");

    Result r = Quorvan({input, "-o", wav});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvan: " + input + ": " + wav + " already exists and was left alone (use -f to replace it)\n");
    EXPECT_EQ(Slurp(wav), "precious");

    // The input itself, by its own name or another, is refused even with -f.
    ASSERT_EQ(symlink(input.c_str(), (dir / "alias.wav").c_str()), 0);
    for (const std::string& target : {input, dir / "alias.wav"}) {
        r = Quorvan({"-f", input, "-o", target});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quorvan: " + input + ": the output file is the input file itself\n");
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
    Write(dir / "a.mp3", "x");
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
    Write(input, Slurp(QUORVAN_SAMPLE_PATH));

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
    EXPECT_EQ(r.err, "quorvan: " + input + ": the WAV file cannot be created (code 4): " + (dir / "no/such") +
                         ": No such file or directory\n");
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
    Write(dir / "a.mp3", longer);
    Write(dir / "text.mp3", std::string(5000, 'x'));
    Write(dir / "c.mp2", sample);

    Result r = Quorvan({"-j", "2", "a.mp3", "text.mp3", "missing.mp3", "c.mp2", "a.mp3"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "quorvan: text.mp3: no MPEG audio found in the file (code 9)\n"
              "quorvan: missing.mp3: the input file cannot be opened (code 1): No such file or directory\n");
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
    ExpectConvertedSample(again[0] == '/' ? again : dir / again, 20);
    unlink(again.c_str());
}

}  // namespace
