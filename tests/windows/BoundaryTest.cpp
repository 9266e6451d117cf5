// The DLL boundary as a Windows host meets it: the export looked up by name
// and by ordinal 1 and called with the C calling convention, the framework's
// exception raised in MFC42.DLL caught by the host, and the minimal host
// program finding the decoder modules in its own folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Quorvan.h"
#include "TestSupport.h"

using namespace qvtest;

namespace {

typedef int(__cdecl* DecodeFn)(const CString&, CString&);

const char kTwoBlocks[] = "block 0 2 4 1\nblock 0 2 4 2\n";

struct ProgramRun {
    DWORD exitCode = 0xffffffffu;
    std::string output;  // what the program wrote to its standard output
};

// Runs a command line in a folder and waits for it.
ProgramRun RunProgram(const std::string& commandLine, const std::string& cwd, const TempDir& scratch)
{
    ProgramRun run;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    std::string outPath = scratch / "stdout.txt";
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return run;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &si, &pi);
    CloseHandle(out);
    if (!started)
        return run;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::vector<unsigned char> bytes = ReadFile(outPath);
    run.output.assign(bytes.begin(), bytes.end());
    return run;
}

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

}  // namespace

TEST(DllBoundary, TheExportByNameAndByOrdinalOneIsOneCdeclFunction)
{
    HMODULE library = GetModuleHandleA("Quorvan.dll");
    ASSERT_NE(library, nullptr);
    FARPROC byName = GetProcAddress(library, "DecodeMpegToWav");
    FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(1));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName, byOrdinal);
    EXPECT_EQ(GetProcAddress(library, "_DecodeMpegToWav"), nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(2)), nullptr);

    DoubleRig rig;
    rig.Script(kTwoBlocks);
    DecodeFn decode = reinterpret_cast<DecodeFn>(reinterpret_cast<void (*)()>(byOrdinal));
    CString input(rig.input().c_str()), output(rig.Path("out.wav").c_str());
    // The caller cleans the stack: repeated calls through the pointer keep
    // it balanced (a callee that also popped its arguments would not).
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(decode(input, output), QV_OK);
    EXPECT_EQ(ReadFile(rig.Path("out.wav")).size(), 60u);
}

// This program takes the C++ runtime as DLLs, which Quorvan.dll links in:
// its own exceptions (the framework's, on their way to the export) must still
// be caught inside it.
TEST(DllBoundary, OutOfMemoryInTheFrameworkReachesTheHostAfterTheTeardown)
{
    DoubleRig rig;
    rig.Script(kTwoBlocks);
    CString input(rig.input().c_str());
    // Fail the first, second, ... allocation until a run gets through; every
    // failure arrives here as CMemoryException*, raised in MFC42.DLL and
    // passed through Quorvan.dll.
    int caught = 0, caughtWithModulesLoaded = 0;
    bool done = false;
    for (int n = 0; n < 50 && !done; ++n) {
        WriteFile(rig.Path("log"), "");
        CString output;
        FailAllocationsAfter(n);
        try {
            // Raised as MFC42 raises it, for Visual C++ hosts; this program
            // catches it as its own.
            AfxFrameworkCall([&] { done = DecodeMpegToWav(input, output) == QV_OK; });
        } catch (CMemoryException* e) {
            e->Delete();
            ++caught;
            if (!rig.LogLines("load masd32").empty()) {
                ++caughtWithModulesLoaded;
                EXPECT_EQ(rig.LogLines("close ").size(), 1u) << n;
                EXPECT_EQ(rig.LogLines("unload masd32 input=0").size(), 1u) << n;
            }
        }
        FailAllocationsAfter(-1);
    }
    EXPECT_TRUE(done);
    EXPECT_GT(caught, 0);
    EXPECT_GT(caughtWithModulesLoaded, 0);
}

TEST(MinimalHost, FindsTheModulesInItsOwnFolderBeforeTheCurrentOne)
{
    // The current folder offers doubles that lack a required entry point; the
    // host's folder holds complete ones, which are the ones used.
    DoubleRig rig("no_bitrate");
    rig.Script(kTwoBlocks);
    TempDir scratch;
    ProgramRun run = RunProgram(Quoted(QUORVAN_HOST_PATH) + " " + Quoted(rig.input()), rig.dir(), scratch);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, rig.Path("inputmp3.wav") + "\r\n");
    EXPECT_EQ(ReadFile(rig.Path("inputmp3.wav")).size(), 60u);

    run = RunProgram(Quoted(QUORVAN_HOST_PATH) + " " + Quoted(rig.Path("missing.mp3")), rig.dir(), scratch);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output, "");
}
