// Output naming against the real Win32 API and C runtime: drive letters,
// backslashes, and GetTempFileNameA's own names in the temporary folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <ctype.h>

#include <string>
#include <vector>

#include "OutputNaming.h"
#include "Quorvan.h"
#include "TestSupport.h"

using namespace qvtest;

namespace {

std::string Derive(const std::string& input)
{
    return std::string(DeriveOutputPath(CString(input.c_str())));
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// The names in a folder, lower-cased: Windows compares names without case,
// and wine writes GetTempFileNameA's names in lower case where Windows
// documents upper case.
std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(Lower(name));
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return names;
}

// "<folder>\tmp<1 to 4 hex digits>.wav", compared without case.
bool IsTemporaryWavName(const std::string& path, const std::string& folder)
{
    std::string p = Lower(path), prefix = Lower(folder) + "\\tmp";
    if (p.compare(0, prefix.size(), prefix) != 0 || p.size() < prefix.size() + 5)
        return false;
    std::string hex = p.substr(prefix.size(), p.size() - prefix.size() - 4);
    return p.substr(p.size() - 4) == ".wav" && !hex.empty() && hex.size() <= 4 &&
           hex.find_first_not_of("0123456789abcdef") == std::string::npos;
}

const char kTwoBlocks[] = "block 0 2 4 1\nblock 0 2 4 2\n";

}  // namespace

TEST(WindowsNaming, DerivesFromWindowsPaths)
{
    EXPECT_EQ(Derive("C:\\Music\\song.mp3"), "C:\\Music\\songmp3.wav");
    EXPECT_EQ(Derive("C:song.mp3"), "C:songmp3.wav");
    EXPECT_EQ(Derive("\\\\server\\share\\a.b.mp2"), "\\\\server\\share\\a.bmp2.wav");
    EXPECT_EQ(Derive("D:/Music/x.mp3"), "D:/Music/xmp3.wav");
    EXPECT_EQ(Derive("C:\\Music.d\\song"), "C:\\Music.d\\song.wav");
    EXPECT_EQ(Derive("song."), "song.wav");
}

TEST(WindowsNaming, HandsBackTheNameBesideTheInput)
{
    DoubleRig rig;
    rig.Script(kTwoBlocks);
    ASSERT_EQ(rig.dir().substr(1, 2), ":\\") << rig.dir();
    CString output;
    ASSERT_EQ(DecodeMpegToWav(CString(rig.input().c_str()), output), QV_OK);
    EXPECT_EQ(std::string(output), rig.Path("inputmp3.wav"));
    EXPECT_EQ(ReadFile(rig.Path("inputmp3.wav")).size(), 44u + 16u);
}

TEST(WindowsNaming, FallsBackToTheTemporaryFolderAndLeavesNoTmpFile)
{
    TempDir temp;
    DoubleRig rig;
    ScopedEnv tmp("TMP", temp.path());
    rig.Script(kTwoBlocks);
    // A folder holds the derived name: the file goes to the temporary folder.
    ASSERT_TRUE(CreateDirectoryA(rig.Path("inputmp3.wav").c_str(), nullptr));

    std::vector<std::string> chosen;
    for (int i = 0; i < 2; ++i) {
        CString output;
        ASSERT_EQ(DecodeMpegToWav(CString(rig.input().c_str()), output), QV_OK);
        std::string name(output);
        EXPECT_TRUE(IsTemporaryWavName(name, temp.path())) << name;
        EXPECT_EQ(ReadFile(name).size(), 44u + 16u) << name;
        chosen.push_back(Lower(name.substr(temp.path().size() + 1)));
    }
    EXPECT_NE(chosen[0], chosen[1]);
    // Only the two WAV files: every reservation was removed again.
    std::vector<std::string> left = Listing(temp.path());
    EXPECT_EQ(left.size(), 2u);
    for (const std::string& name : left)
        EXPECT_EQ(name.substr(name.size() - 4), ".wav") << name;
}

TEST(WindowsNaming, NoTemporaryFolderGivesNoFileAndAnEmptyString)
{
    TempDir temp;
    DoubleRig rig;
    ScopedEnv tmp("TMP", temp / "missing");
    rig.Script(kTwoBlocks);
    ASSERT_TRUE(CreateDirectoryA(rig.Path("inputmp3.wav").c_str(), nullptr));
    CString output;
    EXPECT_EQ(DecodeMpegToWav(CString(rig.input().c_str()), output), QV_ERR_CREATE_WAVE);
    EXPECT_TRUE(output.IsEmpty());
    EXPECT_TRUE(Listing(temp.path()).empty());
}
