// Failures only the operating system produces: close and unlink are replaced
// in this program (the framework library's calls bind to these), and fail on
// request for one named file.
#include <afx.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <errno.h>
#include <string>

#include "MpegToWavConverter.h"
#include "TestSupport.h"

using qvtest::Exists;
using qvtest::ScopedEnv;
using qvtest::TempDir;

namespace {

std::string g_failCloseOf;   // close of a descriptor on this file fails with EIO
std::string g_failUnlinkOf;  // unlink of this name fails with EACCES

std::string FileOf(int fd)
{
    char target[PATH_MAX];
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

}  // namespace

extern "C" int close(int fd)
{
    bool fail = !g_failCloseOf.empty() && FileOf(fd) == g_failCloseOf;
    // The descriptor is released either way, as Linux does.
    long rc = syscall(SYS_close, fd);
    if (fail) {
        g_failCloseOf.clear();
        errno = EIO;
        return -1;
    }
    return static_cast<int>(rc);
}

extern "C" int unlink(const char* path)
{
    if (!g_failUnlinkOf.empty() && g_failUnlinkOf == path) {
        g_failUnlinkOf.clear();
        errno = EACCES;
        return -1;
    }
    return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

namespace {

class ProbeFailure : public ::testing::Test {
protected:
    ProbeFailure() : tmpdir_("TMPDIR", temp_.path()) {}
    ~ProbeFailure() override
    {
        g_failCloseOf.clear();
        g_failUnlinkOf.clear();
    }

    std::string Choose()
    {
        CMpegToWavConverter converter(CString((music_ / "song.mp3").c_str()), CString());
        EXPECT_EQ(converter.ChooseOutputPath(), 0);
        return std::string(converter.GetOutputPath());
    }

    TempDir music_;
    TempDir temp_;
    ScopedEnv tmpdir_;
};

}  // namespace

TEST_F(ProbeFailure, FailedCloseFallsBackWithoutDeleting)
{
    g_failCloseOf = music_ / "songmp3.wav";
    std::string chosen = Choose();
    EXPECT_TRUE(g_failCloseOf.empty()) << "the probe file was never closed";
    EXPECT_EQ(chosen.compare(0, temp_.path().size() + 4, temp_.path() + "/Tmp"), 0) << chosen;
    // A file that may not be complete is not removed.
    EXPECT_TRUE(Exists(music_ / "songmp3.wav"));
}

TEST_F(ProbeFailure, FailedDeleteFallsBack)
{
    g_failUnlinkOf = music_ / "songmp3.wav";
    std::string chosen = Choose();
    EXPECT_TRUE(g_failUnlinkOf.empty()) << "the probe file was never removed";
    EXPECT_EQ(chosen.compare(0, temp_.path().size() + 4, temp_.path() + "/Tmp"), 0) << chosen;
}

TEST(FileStandIn, FailuresAndTheirCauses)
{
    TempDir dir;
    CFileException error;
    CFile file;
    // Open: by result, with the cause, never by exception.
    EXPECT_FALSE(file.Open((dir / "missing/x").c_str(), CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    EXPECT_EQ(std::string(error.m_strFileName), dir / "missing/x");
    EXPECT_EQ(file.m_hFile, CFile::hFileNull);

    // Create truncates.
    qvtest::WriteFile(dir / "f", "old contents");
    ASSERT_TRUE(file.Open((dir / "f").c_str(), CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_TRUE(qvtest::ReadFile(dir / "f").empty());

    // Close: an exception with the cause and the name; the file is closed
    // all the same.
    g_failCloseOf = dir / "f";
    try {
        file.Close();
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::hardIO);
        EXPECT_EQ(e->m_lOsError, EIO);
        EXPECT_EQ(std::string(e->m_strFileName), dir / "f");
        e->Delete();
    }
    EXPECT_EQ(file.m_hFile, CFile::hFileNull);
    EXPECT_NO_THROW(file.Close());

    // Remove: files only.
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
    for (const char* name : {"missing", "folder"}) {
        try {
            CFile::Remove((dir / name).c_str());
            ADD_FAILURE() << name << " removed";
        } catch (CFileException* e) {
            EXPECT_EQ(e->m_cause, std::string(name) == "missing" ? CFileException::fileNotFound
                                                                 : CFileException::accessDenied);
            e->Delete();
        }
    }
    EXPECT_NO_THROW(CFile::Remove((dir / "f").c_str()));
    EXPECT_FALSE(Exists(dir / "f"));
}
