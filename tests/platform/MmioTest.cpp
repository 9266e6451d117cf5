// The buffered RIFF file I/O stand-in: chunk bookkeeping and failures.
#include <gtest/gtest.h>

#include <mmsystem.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

using qvtest::ReadFile;
using qvtest::TempDir;

namespace {
HMMIO Create(const std::string& path, LONG buffer = 0)
{
    MMIOINFO info = MMIOINFO();
    info.cchBuffer = buffer;
    return mmioOpenA(const_cast<LPSTR>(path.c_str()), &info, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
}
}  // namespace

TEST(Mmio, NestedChunksGetTheirSizesAndOddOnesAPadByte)
{
    TempDir dir;
    HMMIO h = Create(dir / "f");
    ASSERT_NE(h, nullptr);
    MMCKINFO riff = MMCKINFO(), sub = MMCKINFO();
    riff.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0u);
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.dwDataOffset, 8u);  // the form type starts the data
    sub.ckid = mmioFOURCC('a', 'b', 'c', 'd');
    ASSERT_EQ(mmioCreateChunk(h, &sub, 0), 0u);
    EXPECT_EQ(sub.dwDataOffset, 20u);
    ASSERT_EQ(mmioWrite(h, "xyz", 3), 3);
    ASSERT_EQ(mmioAscend(h, &sub, 0), 0u);
    EXPECT_EQ(sub.cksize, 3u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 24);  // behind the pad byte
    ASSERT_EQ(mmioAscend(h, &riff, 0), 0u);
    EXPECT_EQ(riff.cksize, 16u);
    ASSERT_EQ(mmioClose(h, 0), 0u);

    const unsigned char expected[] = {'R', 'I', 'F', 'F', 16, 0, 0, 0, 'T', 'E', 'S', 'T',
                                      'a', 'b', 'c', 'd', 3, 0, 0, 0, 'x', 'y', 'z', 0};
    EXPECT_EQ(ReadFile(dir / "f"), std::vector<unsigned char>(expected, expected + sizeof expected));
}

TEST(Mmio, WritesLargerThanTheBufferAndSeeksKeepTheirOrder)
{
    TempDir dir;
    HMMIO h = Create(dir / "f", 16);
    ASSERT_NE(h, nullptr);
    std::vector<unsigned char> big = qvtest::Pattern(7, 100);
    ASSERT_EQ(mmioWrite(h, "0123456789", 10), 10);
    ASSERT_EQ(mmioWrite(h, reinterpret_cast<const char*>(big.data()), 100), 100);
    ASSERT_EQ(mmioSeek(h, 2, SEEK_SET), 2);
    ASSERT_EQ(mmioWrite(h, "AB", 2), 2);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_END), 110);
    ASSERT_EQ(mmioClose(h, 0), 0u);
    std::vector<unsigned char> file = ReadFile(dir / "f");
    ASSERT_EQ(file.size(), 110u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 10), "01AB456789");
    EXPECT_EQ(std::vector<unsigned char>(file.begin() + 10, file.end()), big);
}

TEST(Mmio, CreatingEmptiesAnExistingFile)
{
    TempDir dir;
    qvtest::WriteFile(dir / "f", "an older and longer file");
    qvtest::WriteFile(dir / "empty", "");
    for (const char* name : {"f", "empty"}) {
        HMMIO h = Create(dir / name);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(mmioWrite(h, "new", 3), 3);
        ASSERT_EQ(mmioClose(h, 0), 0u);
        std::vector<unsigned char> file = ReadFile(dir / name);
        EXPECT_EQ(std::string(file.begin(), file.end()), "new") << name;
    }
}

TEST(Mmio, OpenFailuresSayWhy)
{
    TempDir dir;
    MMIOINFO info = MMIOINFO();
    EXPECT_EQ(mmioOpenA(const_cast<LPSTR>((dir / "no/f").c_str()), &info, MMIO_CREATE | MMIO_WRITE), nullptr);
    EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMIOERR_PATHNOTFOUND));
    EXPECT_EQ(mmioOpenA(const_cast<LPSTR>(dir.path().c_str()), &info, MMIO_CREATE | MMIO_WRITE), nullptr);
    EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMIOERR_ACCESSDENIED));
}

TEST(Mmio, FailedFlushIsReportedByWriteAndClose)
{
    HMMIO h = Create("/dev/full", 16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "0123456789", 10), 10);  // still buffered
    EXPECT_EQ(mmioWrite(h, "0123456789", 10), -1);  // the flush fails
    EXPECT_EQ(mmioWrite(h, "01", 2), 2);
    EXPECT_NE(mmioClose(h, 0), 0u);
}

TEST(Mmio, ShortWriteLeavesThePositionAtTheRealEnd)
{
    TempDir dir;
    std::string path = dir / "f";
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {50, 50};
        setrlimit(RLIMIT_FSIZE, &limit);
        HMMIO h = Create(path, 16);
        std::vector<char> bytes(100, 'x');
        bool ok = h && mmioWrite(h, bytes.data(), 100) == -1 && mmioSeek(h, 0, SEEK_CUR) == 50;
        MMCKINFO ck = MMCKINFO();
        ok = ok && mmioSeek(h, 0, SEEK_SET) == 0 && mmioWrite(h, "ok", 2) == 2 && mmioClose(h, 0) == 0;
        (void)ck;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<unsigned char> file = ReadFile(path);
    ASSERT_EQ(file.size(), 50u);
    EXPECT_EQ(file[0], 'o');
    EXPECT_EQ(file[49], 'x');
}
