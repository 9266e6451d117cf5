// Where modules are found, and what a lookup without a module sees. Runs the
// loader_probe host from folders prepared by the build.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <string>

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
