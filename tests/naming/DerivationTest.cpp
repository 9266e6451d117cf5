// How the WAV file's name is derived from the input's, and the path functions
// that derivation stands on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "OutputNaming.h"

namespace {

std::string Derive(const std::string& input)
{
    return std::string(DeriveOutputPath(CString(input.c_str())));
}

struct Parts {
    std::string drive, dir, fname, ext;
};

Parts Split(const std::string& path)
{
    // Exactly as large as the contract says, so that ASan sees any overrun.
    std::string d(path.size() + 1, 'x'), p(path.size() + 1, 'x'), f(path.size() + 1, 'x'),
        e(path.size() + 1, 'x');
    _splitpath(path.c_str(), &d[0], &p[0], &f[0], &e[0]);
    return {d.c_str(), p.c_str(), f.c_str(), e.c_str()};
}

}  // namespace

TEST(OutputNameDerivation, NamesTheFileAfterTheInput)
{
    const struct {
        const char* input;
        const char* output;
    } cases[] = {
        {"C:\\Music\\song.mp3", "C:\\Music\\songmp3.wav"},
        {"C:\\Music\\song", "C:\\Music\\song.wav"},
        {"C:\\Music\\song.", "C:\\Music\\song.wav"},
        {"C:\\Music\\a.b.mp2", "C:\\Music\\a.bmp2.wav"},
        {"song.mp3", "songmp3.wav"},
        {"/music/song.mp3", "/music/songmp3.wav"},
        {"/music/song.MP3", "/music/songMP3.wav"},
        // Dots in folders belong to the folders.
        {"/my.music/v1.2/song", "/my.music/v1.2/song.wav"},
        {"C:\\my.music\\v1.2\\song.mpga", "C:\\my.music\\v1.2\\songmpga.wav"},
        {"../up/song.mp1", "../up/songmp1.wav"},
        // Either separator ends the folder, mixed too.
        {"C:/Music\\sub/song.mp3", "C:/Music\\sub/songmp3.wav"},
        {"/music\\song.mp3", "/music\\songmp3.wav"},
        {"C:song.mp3", "C:songmp3.wav"},
        // A name that is all extension, and a folder with a trailing separator.
        {"/music/.mp3", "/music/mp3.wav"},
        {"/music/", "/music/.wav"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Derive(c.input), c.output) << c.input;
}

TEST(OutputNameDerivation, AnyPathLength)
{
    // Far beyond the 256 characters a part once had room for, in every part.
    const std::string folder = "C:\\" + std::string(3000, 'd') + ".x\\" + std::string(2000, 'e') + "/";
    const std::string base = std::string(4000, 'b') + "." + std::string(1000, 'c');
    const std::string ext = std::string(".") + std::string(700, 'm');
    EXPECT_EQ(Derive(folder + base + ext), folder + base + ext.substr(1) + ".wav");
    EXPECT_EQ(Derive(std::string(9000, 'n')), std::string(9000, 'n') + ".wav");

    Parts p = Split(folder + base + ext);
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, folder.substr(2));
    EXPECT_EQ(p.fname, base);
    EXPECT_EQ(p.ext, ext);
}

TEST(PathFunctions, SplitPath)
{
    Parts p = Split("C:\\Music\\song.mp3");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "\\Music\\");
    EXPECT_EQ(p.fname, "song");
    EXPECT_EQ(p.ext, ".mp3");

    // A drive only when a letter and a colon start the path.
    p = Split("1:\\x.mp3");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "1:\\");
    p = Split("/c:/x");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "/c:/");

    p = Split("a.b/c");
    EXPECT_EQ(p.dir, "a.b/");
    EXPECT_EQ(p.fname, "c");
    EXPECT_EQ(p.ext, "");

    p = Split("");
    EXPECT_EQ(p.drive + p.dir + p.fname + p.ext, "");

    // Parts not wanted may be null.
    char fname[16];
    _splitpath("/x/y.z", nullptr, nullptr, fname, nullptr);
    EXPECT_STREQ(fname, "y");
}

TEST(PathFunctions, MakePath)
{
    char buf[64];
    _makepath(buf, "C:", "\\Music", "song", "wav");
    EXPECT_STREQ(buf, "C:\\Music\\song.wav");
    _makepath(buf, "", "/music/", "song", ".wav");
    EXPECT_STREQ(buf, "/music/song.wav");
    _makepath(buf, nullptr, "music", "song", nullptr);
    EXPECT_STREQ(buf, "music/song");
    _makepath(buf, "D", nullptr, "song", "");
    EXPECT_STREQ(buf, "D:song");
}
