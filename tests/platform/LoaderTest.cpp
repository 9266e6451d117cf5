// Where modules are found, and what a lookup without a module sees. Runs the
// loader_probe host from folders prepared by the build.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

using qvtest::TempDir;

namespace {

const std::string kBare = std::string(QUORVAN_TEST_DIR) + "/probe/loader_probe";
const std::string kWithModule = std::string(QUORVAN_TEST_DIR) + "/probe-with-module/loader_probe";
const std::string kDoubles = QUORVAN_DOUBLES_DIR;

std::string RunProbe(const std::string& cwd, const std::string& program, const std::string& args)
{
    std::string cmd = "cd '" + cwd + "' && '" + program + "' " + args;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (p && fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        pclose(p);
    return out;
}

void Offer(const TempDir& dir, const std::string& variant, const char* module)
{
    std::string from = kDoubles + "/" + variant + "/" + module;
    ASSERT_EQ(symlink(from.c_str(), (dir / module).c_str()), 0);
}

}  // namespace

TEST(Loader, SearchesTheProgramFolderThenTheSystemThenTheCurrentDirectory)
{
    TempDir cwd;
    Offer(cwd, "full", "libma32.so");
    // The program's own folder holds the variant without ma_mpegBitrateString.
    EXPECT_EQ(RunProbe(cwd.path(), kWithModule, "load ma32.dll"), "loaded bitrate=0\n");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load ma32.dll"), "loaded bitrate=1\n");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load ma32"), "loaded bitrate=1\n");
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    TempDir empty;
    EXPECT_EQ(RunProbe(empty.path(), kBare, "load ma32.dll load masd32.dll"), "none\nnone\n");
}

TEST(Loader, NamesWithAFolderAreLoadedFromThereOnly)
{
    TempDir cwd, other;
    Offer(other, "no_bitrate", "libma32.so");
    Offer(cwd, "full", "libma32.so");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load '" + other.path() + "/ma32.dll'"), "loaded bitrate=0\n");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load '" + other.path() + "\\ma32.dll'"), "loaded bitrate=0\n");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load /nonexistent/ma32.dll"), "none\n");
}

TEST(Loader, LookupWithoutAModuleSeesOnlyTheHostProgram)
{
    TempDir cwd;
    Offer(cwd, "full", "libmasd32.so");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "sym ma_mpegModeString sym main sym masd_init sym fopen"),
              "found\nfound\nmissing\nmissing\n");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load masd32.dll sym masd_init"), "loaded bitrate=0\nmissing\n");
}

TEST(Loader, HostExportingTheMa32NamesBindsWithMasd32Alone)
{
    TempDir cwd;
    Offer(cwd, "full", "libmasd32.so");
    qvtest::WriteFile(cwd / "in.mp3", "x");
    qvtest::WriteFile(cwd / "script", "block 0 2 4 1\nblock 0 2 4 2\n");
    qvtest::ScopedEnv script("QV_DOUBLE_SCRIPT", cwd / "script");
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "convert in.mp3 out.wav"), "0\n");
    EXPECT_EQ(qvtest::ReadFile(cwd / "out.wav").size(), 60u);
}

namespace {

// Loads dir/libma32.so by an explicit folder; "" when it loaded, else the
// loader's reason.
std::string LoadFailure(const TempDir& dir)
{
    HMODULE h = LoadLibraryA((dir.path() + "/ma32.dll").c_str());
    if (!h)
        return QvLoaderError();
    FreeLibrary(h);
    return "";
}

}  // namespace

TEST(Loader, DamagedOrForeignFilesFailToLoadWithTheirReason)
{
    std::vector<unsigned char> whole = qvtest::ReadFile(kDoubles + "/full/libma32.so");
    ASSERT_GT(whole.size(), 4000u);
    auto bytes = [&](size_t n) { return std::string(whole.begin(), whole.begin() + n); };
    std::string otherClass = bytes(whole.size()), otherMachine = otherClass;
    otherClass[4] = otherClass[4] == 1 ? 2 : 1;
    otherMachine[18] = static_cast<char>(otherMachine[18] == 62 ? 183 : 62);
    otherMachine[19] = 0;
    const struct {
        const char* kind;
        std::string contents;
        const char* reason;
    } cases[] = {
        {"the first 3000 bytes", bytes(3000), "segment runs past the end"},
        {"too short for its program headers", bytes(100), "program headers run past the end"},
        {"too short for an ELF header", bytes(40), "too short for an ELF header"},
        {"its section headers cut off", bytes(whole.size() - 10), "section headers run past the end"},
        {"another class", otherClass, "-bit ELF file"},
        {"another machine", otherMachine, "another machine"},
        {"a text file", "INPUT(libc.so.6)\n", "not an ELF file"},
        {"an empty file", "", "an empty file"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        qvtest::WriteFile(dir / "libma32.so", c.contents);
        std::string why = LoadFailure(dir);
        EXPECT_NE(why.find(dir / "libma32.so"), std::string::npos) << c.kind << ": " << why;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.kind << ": " << why;
    }

    TempDir folder, program, complete;
    ASSERT_EQ(mkdir((folder / "libma32.so").c_str(), 0755), 0);
    EXPECT_NE(LoadFailure(folder).find("Is a directory"), std::string::npos);
    // The system loader's own refusal is kept too: a program is no module.
    ASSERT_EQ(symlink("/proc/self/exe", (program / "libma32.so").c_str()), 0);
    EXPECT_NE(LoadFailure(program).find(program / "libma32.so"), std::string::npos);
    qvtest::WriteFile(complete / "libma32.so", bytes(whole.size()));
    EXPECT_EQ(LoadFailure(complete), "");
    EXPECT_STREQ(QvLoaderError(), "");

    // Found by the system loader's search, checked the same way.
    TempDir cwd, damaged;
    qvtest::WriteFile(damaged / "libma32.so", bytes(3000));
    qvtest::ScopedEnv path("LD_LIBRARY_PATH", damaged.path());
    EXPECT_EQ(RunProbe(cwd.path(), kBare, "load ma32.dll"), "none\n");
}

TEST(Loader, AMissingEntryPointIsNamed)
{
    TempDir dir;
    Offer(dir, "no_bitrate", "libma32.so");
    HMODULE h = LoadLibraryA((dir.path() + "/ma32.dll").c_str());
    ASSERT_TRUE(h) << QvLoaderError();
    EXPECT_TRUE(GetProcAddress(h, "ma_mpegModeString"));
    EXPECT_STREQ(QvLoaderError(), "");
    EXPECT_FALSE(GetProcAddress(h, "ma_mpegBitrateString"));
    EXPECT_NE(std::string(QvLoaderError()).find("undefined symbol: ma_mpegBitrateString"), std::string::npos);
    FreeLibrary(h);
    EXPECT_FALSE(GetProcAddress(nullptr, "masd_init"));
    EXPECT_STREQ(QvLoaderError(), "masd_init: not defined by the host program");
}
