// What DecodeMpegToWav hands back when it chose the name: the path on result
// 0, and nothing at all otherwise.
#include <dirent.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Quorvan.h"
#include "TestSupport.h"

using qvtest::DoubleRig;
using qvtest::Exists;
using qvtest::ReadFile;
using qvtest::ScopedEnv;
using qvtest::TempDir;
using qvtest::WriteFile;

namespace {

// Whether this process still has a descriptor on the file.
bool HeldOpen(const std::string& path)
{
    char wanted[PATH_MAX];
    if (!realpath(path.c_str(), wanted))
        return false;
    bool found = false;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            char target[PATH_MAX];
            ssize_t n = readlink((std::string("/proc/self/fd/") + e->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == wanted)
                found = true;
        }
        closedir(dir);
    }
    return found;
}

std::vector<std::string> List(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(dir);
    }
    return names;
}

const char kTwoBlocks[] = "block 0 2 4 1\nblock 0 2 576 2\n";

// A rig with its own temporary directory (made first: TempDir lives in TMPDIR).
class HandBack : public ::testing::Test {
protected:
    HandBack() : tmpdir_("TMPDIR", temp_.path()) { rig_.WatchOutput(rig_.Path("inputmp3.wav")); }

    int Decode(CString& output) { return DecodeMpegToWav(CString(rig_.input().c_str()), output); }

    TempDir temp_;
    DoubleRig rig_;
    ScopedEnv tmpdir_;
};

}  // namespace

TEST_F(HandBack, ChosenPathOnSuccess)
{
    rig_.Script(kTwoBlocks);
    CString output;
    ASSERT_EQ(Decode(output), 0);
    EXPECT_EQ(std::string(output), rig_.Path("inputmp3.wav"));
    EXPECT_EQ(ReadFile(rig_.Path("inputmp3.wav")).size(), 44u + 2304u);

    // Now that name is taken: the next run goes to the temporary directory and
    // the first file stays as it was.
    CString second;
    ASSERT_EQ(Decode(second), 0);
    std::string chosen(second);
    EXPECT_EQ(chosen.compare(0, temp_.path().size() + 4, temp_.path() + "/Tmp"), 0) << chosen;
    EXPECT_EQ(ReadFile(chosen).size(), 44u + 2304u);
    EXPECT_EQ(ReadFile(rig_.Path("inputmp3.wav")).size(), 44u + 2304u);
}

TEST_F(HandBack, EmptyStaysEmptyOnEveryFailure)
{
    const struct {
        const char* script;
        int result;
    } runs[] = {
        {"init 1\n", QV_ERR_DECODER_INIT},
        {"block 1001 0 0 0\n", QV_ERR_NO_AUDIO},
        // The second block does not fit the buffer: the file made so far stays.
        {"block 0 2 4 1\nblock 0 2 2305 1\n", QV_ERR_WRITE_BLOCK},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.script);
        rig_.Script(run.script);
        unlink(rig_.Path("inputmp3.wav").c_str());
        CString output;
        EXPECT_EQ(Decode(output), run.result);
        EXPECT_TRUE(output.IsEmpty());
        EXPECT_EQ(Exists(rig_.Path("inputmp3.wav")), run.result == QV_ERR_WRITE_BLOCK);
    }

    // No name at all: the derived one is taken and the temporary directory
    // is gone.
    rig_.Script(kTwoBlocks);
    WriteFile(rig_.Path("inputmp3.wav"), "taken");
    {
        ScopedEnv missing("TMPDIR", temp_ / "missing");
        CString output;
        EXPECT_EQ(Decode(output), QV_ERR_CREATE_WAVE);
        EXPECT_TRUE(output.IsEmpty());
    }

    CString output;
    EXPECT_EQ(DecodeMpegToWav(CString(rig_.Path("missing.mp3").c_str()), output), QV_ERR_OPEN_INPUT);
    EXPECT_TRUE(output.IsEmpty());
}

TEST(HandBackModules, EmptyStaysEmptyWithoutModules)
{
    QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES();
    DoubleRig rig("full", qvtest::kNone);
    CString output;
    EXPECT_EQ(DecodeMpegToWav(CString(rig.input().c_str()), output), QV_ERR_LOAD_MODULES);
    EXPECT_TRUE(output.IsEmpty());
}

TEST_F(HandBack, OutOfMemoryWhileNamingPassesOutAfterTheTeardown)
{
    // Fail the first, second, ... string allocation until a run gets through.
    // Each failure must come out as the framework's exception, with the input
    // closed, the modules unloaded, the caller's string empty and no stray
    // file; at least one must happen while naming (after the first decode).
    rig_.Script(kTwoBlocks);
    WriteFile(rig_.Path("inputmp3.wav"), "taken");  // through the fallback too
    int failedWhileNaming = 0;
    bool done = false;
    for (int n = 0; n < 100 && !done; ++n) {
        SCOPED_TRACE("failing after " + std::to_string(n));
        WriteFile(rig_.Path("log"), "");
        CString output;
        qvtest::FailAllocationsAfter(n);
        try {
            EXPECT_EQ(Decode(output), 0);
            done = true;
        } catch (CMemoryException* e) {
            e->Delete();
        }
        qvtest::FailAllocationsAfter(-1);
        if (done)
            break;
        EXPECT_TRUE(output.IsEmpty());
        EXPECT_FALSE(HeldOpen(rig_.input()));
        // A run that got to the end and failed only in handing the name back
        // has written its file (the caller cannot learn its name).
        bool finished = !rig_.LogLines("decode 1001").empty();
        for (const std::string& name : List(temp_.path())) {
            EXPECT_TRUE(finished) << name << " left in the temporary directory";
            unlink((temp_ / name).c_str());
        }
        if (!rig_.LogLines("load masd32").empty()) {
            EXPECT_EQ(rig_.LogLines("close ").size(), 1u);
            EXPECT_EQ(rig_.LogLines("unload masd32 input=0").size(), 1u);
        }
        if (rig_.LogLines("decode ").size() == 1)
            ++failedWhileNaming;
    }
    EXPECT_TRUE(done);
    EXPECT_GT(failedWhileNaming, 0);
}
