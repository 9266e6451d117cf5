// ChooseOutputPath: the name next to the input when a new file can be made
// there, otherwise a fresh "Tmp<hex>.wav" in the temporary directory; never a
// name that is taken, and never a stray file left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>

#include "MpegToWavConverter.h"
#include "OutputNaming.h"
#include "TestSupport.h"

using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::ScopedCwd;
using qvtest::ScopedEnv;
using qvtest::TempDir;
using qvtest::WriteFile;

namespace {

std::set<std::string> List(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string Text(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// "Tmp", an upper-case hexadecimal number, ".wav".
bool IsTemporaryWavName(const std::string& name)
{
    const size_t digits = name.size() < 7 ? 0 : name.size() - 7;
    return digits > 0 && name.compare(0, 3, "Tmp") == 0 && name.compare(3 + digits, 4, ".wav") == 0 &&
           name.find_first_not_of("0123456789ABCDEF", 3) == 3 + digits;
}

std::string Choose(const std::string& input, const std::string& output = "")
{
    CMpegToWavConverter converter(CString(input.c_str()), CString(output.c_str()));
    EXPECT_EQ(converter.ChooseOutputPath(), 0);
    return std::string(converter.GetOutputPath());
}

// A folder for the input and a separate temporary directory (TMPDIR).
class ChooseOutputPath : public ::testing::Test {
protected:
    ChooseOutputPath() : tmpdir_("TMPDIR", temp_.path()) {}
    ~ChooseOutputPath() override { QvTestTempFileNumbersFrom(0); }

    // The fallback's answer: a name of the right form, free, alone in TMPDIR.
    void ExpectTemporaryName(const std::string& chosen, const std::set<std::string>& before = {})
    {
        ASSERT_EQ(chosen.compare(0, temp_.path().size() + 1, temp_.path() + "/"), 0) << chosen;
        ASSERT_TRUE(IsTemporaryWavName(chosen.substr(temp_.path().size() + 1))) << chosen;
        EXPECT_FALSE(Exists(chosen));
        EXPECT_EQ(List(temp_.path()), before) << "nothing left in the temporary directory";
    }

    TempDir music_;
    TempDir temp_;
    ScopedEnv tmpdir_;
};

}  // namespace

TEST_F(ChooseOutputPath, NextToTheInputWhenFree)
{
    EXPECT_EQ(Choose(music_ / "song.mp3"), music_ / "songmp3.wav");
    // The probe file is gone again; the input need not even exist.
    EXPECT_TRUE(List(music_.path()).empty());
    EXPECT_TRUE(List(temp_.path()).empty());

    // Relative stays relative.
    ScopedCwd cwd(music_.path());
    EXPECT_EQ(Choose("song.mp2"), "songmp2.wav");
    EXPECT_EQ(Choose("a.b.mp2"), "a.bmp2.wav");
    EXPECT_TRUE(List(music_.path()).empty());
}

TEST_F(ChooseOutputPath, KeepsTheCallersName)
{
    EXPECT_EQ(Choose(music_ / "song.mp3", "mine.wav"), "mine.wav");
    EXPECT_TRUE(List(music_.path()).empty());
}

TEST_F(ChooseOutputPath, DeepFolderBeyondTheOldLimits)
{
    std::string dir = music_.path();
    for (int i = 0; i < 6; ++i) {
        dir += "/" + std::string(120, static_cast<char>('a' + i)) + ".d";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    }
    ASSERT_GT(dir.size(), 700u);
    EXPECT_EQ(Choose(dir + "/song.mp3"), dir + "/songmp3.wav");
    EXPECT_TRUE(List(dir).empty());
}

TEST_F(ChooseOutputPath, TakenNamesAreNeverTouched)
{
    // A file, a folder, and a link to nowhere (following it would create the
    // link's target).
    WriteFile(music_ / "filemp3.wav", "keep me");
    ASSERT_EQ(mkdir((music_ / "foldermp3.wav").c_str(), 0755), 0);
    ASSERT_EQ(symlink((music_ / "target").c_str(), (music_ / "linkmp3.wav").c_str()), 0);
    const std::set<std::string> before = List(music_.path());

    for (const char* input : {"file.mp3", "folder.mp3", "link.mp3"}) {
        SCOPED_TRACE(input);
        ExpectTemporaryName(Choose(music_ / input));
    }
    EXPECT_EQ(List(music_.path()), before);
    EXPECT_EQ(Text(music_ / "filemp3.wav"), "keep me");
    EXPECT_TRUE(List(music_ / "foldermp3.wav").empty());
}

TEST_F(ChooseOutputPath, FolderThatCannotTakeAFile)
{
    // Root writes anywhere on a normal file system, but not into /proc; a
    // folder that does not exist takes nothing either.
    ExpectTemporaryName(Choose("/proc/song.mp3"));
    ExpectTemporaryName(Choose(music_ / "missing/song.mp3"));
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(music_.path().c_str(), 0555), 0);
        ExpectTemporaryName(Choose(music_ / "song.mp3"));
        chmod(music_.path().c_str(), 0755);
    }
    EXPECT_TRUE(List(music_.path()).empty());
}

TEST_F(ChooseOutputPath, NameTooLongForTheFileSystem)
{
    // Each name fits in memory but not on disk: component over NAME_MAX, and
    // a whole path over PATH_MAX.
    ExpectTemporaryName(Choose(music_ / (std::string(300, 'x') + ".mp3")));
    std::string deep = music_.path();
    while (deep.size() < 5000)
        deep += "/" + std::string(200, 'y');
    ExpectTemporaryName(Choose(deep + "/song.mp3"));
}

TEST_F(ChooseOutputPath, TemporaryNameHonoursTmpdirSpelling)
{
    WriteFile(music_ / "songmp3.wav", "taken");
    // Trailing separator or not: one separator in the result.
    ScopedEnv slash("TMPDIR", temp_.path() + "/");
    ExpectTemporaryName(Choose(music_ / "song.mp3"));
}

TEST_F(ChooseOutputPath, TemporaryNameSkipsExistingWavsAndOthersReservations)
{
    WriteFile(music_ / "songmp3.wav", "taken");
    // Numbers are searched from 0x1234 on: 1234 and 1235 have WAVs, 1236 is
    // another process's reservation.
    QvTestTempFileNumbersFrom(0x1234);
    WriteFile(temp_ / "Tmp1234.wav", "earlier conversion");
    WriteFile(temp_ / "Tmp1235.wav", "another one");
    WriteFile(temp_ / "Tmp1236.TMP", "");
    const std::set<std::string> before = List(temp_.path());

    EXPECT_EQ(Choose(music_ / "song.mp3"), temp_ / "Tmp1237.wav");
    EXPECT_EQ(List(temp_.path()), before);
    EXPECT_EQ(Text(temp_ / "Tmp1234.wav"), "earlier conversion");
    EXPECT_EQ(Text(temp_ / "Tmp1235.wav"), "another one");
}

TEST_F(ChooseOutputPath, NoNameAtAllWhenTheTemporaryDirectoryFails)
{
    WriteFile(music_ / "songmp3.wav", "taken");
    ScopedEnv missing("TMPDIR", temp_ / "missing");
    EXPECT_EQ(Choose(music_ / "song.mp3"), "");
}

TEST_F(ChooseOutputPath, OutOfMemoryLeavesNothingBehind)
{
    // Fail the first, second, ... allocation, with every one after it or
    // alone, until the choice gets through, on both ways: next to the input,
    // and the fallback. Every failure must come out as the framework's
    // exception: one taken for a file that cannot be made would send the
    // name to the temporary directory.
    WriteFile(music_ / "takenmp3.wav", "taken");
    for (bool alone : {false, true}) {
        for (const char* name : {"free.mp3", "taken.mp3"}) {
            CString input((music_ / name).c_str());
            bool done = false;
            for (int n = 0; n < 200 && !done; ++n) {
                SCOPED_TRACE(std::string(name) + " failing allocation " + std::to_string(n + 1) +
                             (alone ? " alone" : " and every one after it"));
                CMpegToWavConverter converter(input, CString());
                if (alone)
                    qvtest::FailOneAllocationAfter(n);
                else
                    qvtest::FailAllocationsAfter(n);
                try {
                    converter.ChooseOutputPath();
                    done = true;
                } catch (CMemoryException* e) {
                    e->Delete();
                }
                qvtest::FailAllocationsAfter(-1);
                std::string chosen(converter.GetOutputPath());
                if (!done)
                    EXPECT_EQ(chosen, "");
                else if (name == std::string("free.mp3"))
                    EXPECT_EQ(chosen, music_ / "freemp3.wav");
                else
                    ExpectTemporaryName(chosen);
                EXPECT_EQ(List(music_.path()), std::set<std::string>{"takenmp3.wav"});
                EXPECT_TRUE(List(temp_.path()).empty());
            }
            EXPECT_TRUE(done);
        }
    }
}

TEST(TemporaryFiles, TempPathLikeWindows)
{
    ScopedEnv env("TMPDIR", "/some/where");
    char buf[64];
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 12u);
    EXPECT_STREQ(buf, "/some/where/");
    // Too small: the size needed, terminator included, and nothing written.
    buf[0] = '#';
    EXPECT_EQ(GetTempPathA(12, buf), 13u);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(GetTempPathA(0, nullptr), 13u);

    ScopedEnv empty("TMPDIR", "");
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 5u);
    EXPECT_STREQ(buf, "/tmp/");
}

TEST(TemporaryFiles, TempFileNames)
{
    TempDir dir;
    char name[256];
    // A number of the caller's: the name only.
    EXPECT_EQ(GetTempFileNameA(dir.path().c_str(), "Prefix", 0xab, name), 0xabu);
    EXPECT_EQ(std::string(name), dir / "PreAB.TMP");
    EXPECT_TRUE(List(dir.path()).empty());

    // Chosen numbers: distinct, hexadecimal, each file created empty.
    std::set<std::string> made;
    for (int i = 0; i < 50; ++i) {
        UINT n = GetTempFileNameA(dir.path().c_str(), "Tmp", 0, name);
        ASSERT_NE(n, 0u);
        char expected[32];
        snprintf(expected, sizeof expected, "Tmp%X.TMP", n);
        EXPECT_EQ(std::string(name), dir / expected);
        made.insert(expected);
    }
    EXPECT_EQ(List(dir.path()), made);

    EXPECT_EQ(GetTempFileNameA((dir / "missing").c_str(), "Tmp", 0, name), 0u);
    EXPECT_STREQ(name, "");
}
