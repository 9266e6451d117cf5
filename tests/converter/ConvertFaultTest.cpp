// The conversion run where it needs POSIX seams: a file size limit in a child
// process, hard and symbolic links, a device that refuses every write.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ConvertSupport.h"

using namespace qvtest;

namespace {

// Runs a conversion in a child whose files may not grow past maxFileBytes.
int ConvertWithFileSizeLimit(const DoubleRig& rig, const std::string& output, rlim_t maxFileBytes)
{
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {maxFileBytes, maxFileBytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(Convert(rig, output));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ConvertFailures, OutputNamingTheInputGives4AndLeavesTheInputAlone)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nblock 0 2 4 2\n");
    std::vector<unsigned char> before = ReadFile(rig.input());
    ASSERT_EQ(link(rig.input().c_str(), rig.Path("hardlink.mp3").c_str()), 0);
    ASSERT_EQ(symlink(rig.input().c_str(), rig.Path("symlink.wav").c_str()), 0);
    for (std::string output : {rig.input(), std::string("./input.mp3"), rig.Path("../") +
                                   rig.dir().substr(rig.dir().rfind('/') + 1) + "/input.mp3",
                               rig.Path("hardlink.mp3"), rig.Path("symlink.wav")}) {
        EXPECT_EQ(Convert(rig, output), QV_ERR_CREATE_WAVE) << output;
        EXPECT_EQ(ReadFile(rig.input()), before) << output;
    }
}

TEST(ConvertFailures, FailedWriteGives6AndFinishesTheFileWithWhatWasWritten)
{
    DoubleRig rig;
    rig.Script("block 0 2 4 1\nrepeat 100 block 0 2 2304 0\n");
    EXPECT_EQ(ConvertWithFileSizeLimit(rig, rig.Path("out.wav"), 200000), QV_ERR_WRITE_BLOCK);
    std::vector<unsigned char> file = ReadFile(rig.Path("out.wav"));
    ASSERT_EQ(file.size(), 200000u);
    ExpectFinished(file);
    // What is there is the blocks' bytes, in order.
    std::vector<unsigned char> expected;
    for (uint32_t seed = 0; expected.size() < file.size() - 44; ++seed) {
        std::vector<unsigned char> block = Pattern(seed, 9216);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    expected.resize(file.size() - 44);
    EXPECT_EQ(Data(file), expected);
}

TEST(ConvertFailures, UnfinishableFileIsNotASuccess)
{
    DoubleRig rig;
    // Everything stays in the write buffer until the close, which then fails.
    rig.Script("block 0 2 4 1\nrepeat 10 block 0 2 100 0\n");
    EXPECT_EQ(ConvertWithFileSizeLimit(rig, rig.Path("out.wav"), 1000), QV_ERR_CLOSE_WAVE);
}

TEST(WaveFile, HeadersThatCannotBeWrittenGive4)
{
    // Every write fails on this device; the stand-in's buffered writer sees it
    // when the headers are written.
    CMpegToWavConverter full("in.mp3", "/dev/full");
    EXPECT_EQ(full.CreateWaveFile(), QV_ERR_CREATE_WAVE);
}
