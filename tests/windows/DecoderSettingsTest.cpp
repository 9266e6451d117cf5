// The decoder module's settings as a Windows host gives them: in the
// process's environment, set with SetEnvironmentVariableA, which the C
// runtime's own copy (getenv, _putenv) never sees.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include "DecoderThreads.h"

TEST(DecoderSettings, TheProcessEnvironmentAsAHostSetsIt)
{
    const char* name = quorvan::kDecoderThreadsVariable;
    char old[64];
    DWORD had = GetEnvironmentVariableA(name, old, sizeof old);
    ASSERT_LT(had, sizeof old);
    for (const char* threads : {"1", "3"}) {
        ASSERT_TRUE(SetEnvironmentVariableA(name, threads));
        EXPECT_EQ(quorvan::DecoderThreads(), atoi(threads));
    }
    // Out of range or not a number: the default, as when it is not set.
    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    int byDefault = quorvan::DecoderThreads();
    for (const char* bad : {"0", "65", "2x", ""}) {
        ASSERT_TRUE(SetEnvironmentVariableA(name, bad));
        EXPECT_EQ(quorvan::DecoderThreads(), byDefault) << bad;
    }
    SetEnvironmentVariableA(name, had > 0 ? old : nullptr);
}
