// Quorvan.dll called as a Visual C++ 6 host calls it: the library loaded
// with LoadLibraryA, DecodeMpegToWav found with GetProcAddress (by name and
// by ordinal 1) and called with the host's own MFC42 CStrings, framework
// exceptions caught as CException*. MFC42.DLL is the stand-in, which checks
// every buffer that reaches it and counts the live ones.
//   vchost GROUP QUORVAN_DLL SAMPLE_MP3
// GROUP: Boundary (names, strings, the WAV file, the modules found beside
// the library), Errors (results 1, 4, 9), OutOfMemory (each allocation inside
// the call failed in turn, with the ones after it and alone).
// One line per check; the exit code is 1 after any failure.
#include <afx.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "HostRig.h"
#include "VcTest.h"

namespace {

bool SameString(const CString& s, const char* text)
{
    return strcmp(s, text) == 0 && s.GetLength() == static_cast<int>(strlen(text));
}

bool PointsAtEmptyString(const CString& s)
{
    return static_cast<LPCTSTR>(s) == static_cast<LPCTSTR>(AfxGetEmptyString());
}

void NoLeakNoFault(const HostRig& rig, int live)
{
    Check(rig.mfc.LiveBuffers() == live && rig.mfc.Faults() == 0, "no string buffer left (%d live, %d before), no fault",
          rig.mfc.LiveBuffers(), live);
}

// quorvan.exe beside the library converts the same input, as a reference:
// the host's WAV file must be the command's, byte for byte. MFC42.DLL is
// offered to it from this program's folder.
void CompareWithTheCommand(const HostRig& rig, const char* wave)
{
    char command[3 * MAX_PATH], exe[MAX_PATH], reference[MAX_PATH];
    _snprintf(exe, sizeof exe, "%s\\quorvan.exe", rig.libraryDir);
    if (!Exists(exe)) {
        printf("note: no quorvan.exe beside the library, no comparison with the command\n");
        return;
    }
    rig.Path(reference, "reference.wav");
    _snprintf(command, sizeof command, "\"%s\" -q -f -o \"%s\" \"%s\"", exe, reference, rig.input);
    char* path = static_cast<char*>(malloc(32768));
    DWORD n = GetEnvironmentVariableA("PATH", path, 32768);
    char* extended = static_cast<char*>(malloc(32768 + MAX_PATH));
    sprintf(extended, "%s;%s", rig.hostDir, n < 32768 ? path : "");
    SetEnvironmentVariableA("PATH", extended);
    ChildRun run = RunChild(command, 0);
    SetEnvironmentVariableA("PATH", n < 32768 ? path : 0);
    free(extended);
    free(path);
    Check(run.exitCode == 0 && SameFileContents(wave, reference),
          "the WAV file is the one quorvan.exe writes for the input (its exit code %lu)", run.exitCode);
    if (run.exitCode != 0)
        printf("  it wrote: %s\n", run.output);
    Remove(reference);
}

// The PATH holds the system folder alone while it lives: nothing offers the
// modules but the folders a test chooses.
struct SystemPathOnly {
    char* old;
    DWORD length;
    SystemPathOnly()
    {
        old = static_cast<char*>(malloc(32768));
        length = GetEnvironmentVariableA("PATH", old, 32768);
        char system[MAX_PATH];
        GetSystemDirectoryA(system, sizeof system);
        SetEnvironmentVariableA("PATH", system);
    }
    ~SystemPathOnly()
    {
        SetEnvironmentVariableA("PATH", length > 0 && length < 32768 ? old : 0);
        free(old);
    }
};

// The library, loaded by full path from a folder of its own, finds the
// modules beside itself, though neither this program's folder, the current
// one nor the PATH holds them; and it takes those even when the current
// folder offers files of the same names (here not modules at all, which
// would fail to load).
void ModulesBesideTheLibrary(const HostRig& rig, const char* chosen)
{
    static const char* const kModules[] = {"ma32.dll", "masd32.dll"};
    SystemPathOnly path;
    SetCurrentDirectoryA(rig.noModules);
    for (int planted = 0; planted < 2; ++planted) {
        for (int i = 0; planted && i < 2; ++i) {
            FILE* f = fopen(kModules[i], "wb");
            if (f) {
                fputs("not a module\n", f);
                fclose(f);
            }
        }
        CString input(rig.input), output;
        int rc = rig.decode(input, output);
        Check(rc == 0 && SameString(output, chosen) && IsGoodWave(chosen),
              "the modules beside the library are found from a folder without them%s: result %d",
              planted ? ", which offers others of the same names" : "", rc);
        Remove(chosen);
    }
    for (int i = 0; i < 2; ++i)
        Remove(kModules[i]);
    SetCurrentDirectoryA(rig.libraryDir);
}

void Boundary(HostRig& rig)
{
    Check(rig.decode == rig.decodeByOrdinal, "DecodeMpegToWav by name and by ordinal 1 is one address (%p, %p)",
          rig.decode, rig.decodeByOrdinal);
    int live = rig.mfc.LiveBuffers();
    char chosen[MAX_PATH], given[MAX_PATH];
    rig.Path(chosen, "inputmp3.wav");
    rig.Path(given, "given.wav");
    Remove(chosen);
    Remove(given);
    {
        CString input(rig.input), output;
        LPCTSTR inputData = input;
        int rc = rig.decodeByOrdinal(input, output);
        Check(rc == 0, "an empty output string: result %d", rc);
        Check(SameString(output, chosen), "the chosen name comes back in it: %s", static_cast<LPCTSTR>(output));
        Check(HeaderOf(output)->nRefs == 1, "the host's string holds its buffer alone (nRefs %ld)",
              HeaderOf(output)->nRefs);
        Check(IsGoodWave(chosen), "the WAV file's header: 44100 Hz, 2 channels, 16 bits, sizes that match");
        Check(input == inputData && HeaderOf(input)->nRefs == 1 && SameString(input, rig.input),
              "the input string is unchanged");
        Check(!ModulesLoaded(), "both modules are unloaded after the call");
        CompareWithTheCommand(rig, chosen);
    }
    {
        CString input(rig.input), output(given), alias(output);
        LPCTSTR data = output;
        long refs = HeaderOf(output)->nRefs;
        int rc = rig.decode(input, output);
        Check(rc == 0, "a given output name: result %d", rc);
        Check(output == data && alias == data && HeaderOf(output)->nRefs == refs && refs == 2 &&
                  SameString(output, given) && SameString(alias, given),
              "its string and another sharing the buffer are unchanged: one buffer, same text, nRefs %ld",
              HeaderOf(output)->nRefs);
        Check(SameFileContents(given, chosen), "the given name gets the same WAV file as the chosen one");
    }
    Remove(chosen);
    Remove(given);
    ModulesBesideTheLibrary(rig, chosen);
    NoLeakNoFault(rig, live);
}

void Errors(HostRig& rig)
{
    int live = rig.mfc.LiveBuffers();
    char missing[MAX_PATH], nowhere[MAX_PATH], notMpeg[MAX_PATH], notMpegWave[MAX_PATH];
    rig.Path(missing, "missing.mp3");
    rig.Path(nowhere, "no-such-folder\\out.wav");
    rig.Path(notMpeg, "notmpeg.mp3");
    rig.Path(notMpegWave, "notmpegmp3.wav");
    {
        CString input(missing), output;
        int rc = rig.decode(input, output);
        Check(rc == 1 && PointsAtEmptyString(output), "a missing input: result %d (1), the output string empty", rc);
    }
    {
        CString input(rig.input), output(nowhere);
        LPCTSTR data = output;
        int rc = rig.decode(input, output);
        Check(rc == 4 && output == data && SameString(output, nowhere) && !Exists(nowhere),
              "an output folder that does not exist: result %d (4), the string unchanged", rc);
    }
    {
        CString input(rig.input), output(rig.input);
        int rc = rig.decode(input, output);
        Check(rc == 4 && SameFileContents(rig.input, rig.sample),
              "an output that names the input: result %d (4), the input untouched", rc);
    }
    {
        FILE* f = fopen(notMpeg, "wb");
        for (int i = 0; f && i < 400; ++i)
            fputs("No MPEG audio here, only text: line after line of it.\n", f);
        bool written = f && fclose(f) == 0;
        CString input(notMpeg), output;
        int rc = rig.decode(input, output);
        Check(written && rc == 9 && PointsAtEmptyString(output) && !Exists(notMpegWave),
              "a file with no MPEG audio: result %d (9), no WAV file, the output string empty", rc);
        Remove(notMpeg);
    }
    Check(!ModulesLoaded(), "no module stays loaded after the failures");
    NoLeakNoFault(rig, live);
}

// For n = 0, 1, 2, ...: the allocation after the first n inside the call
// fails, either with every one after it or alone, until a call gets through.
// Each failure must reach this catch, whatever the allocation was for (none
// may turn into a result code or a fallback name), with the run torn down:
// modules unloaded, the input deletable (no handle left open), no WAV file
// left, no buffer leaked; and the next call must convert as before.
void OutOfMemoryAtEachAllocation(HostRig& rig, bool alone, const CString& input, const char* chosen,
                                 const char* reference, int allocationsOfACall)
{
    const char* mode = alone ? "alone" : "and every one after it";
    void(__cdecl * failAfter)(int) = alone ? rig.mfc.FailOneAllocationAfter : rig.mfc.FailAllocationsAfter;
    int live = rig.mfc.LiveBuffers();
    int caught = 0;
    bool done = false;
    for (int n = 0; n < 1000 && !done; ++n) {
        int rc = -1;
        bool gotException = false, outputEmpty = false;
        {
            CString output;
            failAfter(n);
            try {
                rc = rig.decode(input, output);
            } catch (CException* e) {
                rig.mfc.FailAllocationsAfter(-1);
                gotException = true;
                outputEmpty = PointsAtEmptyString(output);
                e->Delete();
            }
            rig.mfc.FailAllocationsAfter(-1);
            if (!gotException) {
                done = true;
                Check(rc == 0 && SameString(output, chosen) && SameFileContents(chosen, reference),
                      "failing allocation %d %s: the call gets through (result %d) with the same name and WAV file",
                      n + 1, mode, rc);
                Check(n == allocationsOfACall, "every one of the call's %d allocations failed in turn (%d did)",
                      allocationsOfACall, n);
                Remove(chosen);
                continue;
            }
        }
        ++caught;
        bool unloaded = !ModulesLoaded();
        bool leaked = rig.mfc.LiveBuffers() != live;
        bool inputFree = DeleteFileA(rig.input) != 0;
        bool restored = rig.RestoreInput();
        bool leftWave = Exists(chosen);
        bool waveFree = Remove(chosen);
        CString output;
        int next = rig.decode(input, output);
        bool same = next == 0 && SameString(output, chosen) && SameFileContents(chosen, reference);
        Remove(chosen);
        Check(outputEmpty && unloaded && !leaked && inputFree && restored && !leftWave && waveFree && same,
              "failing allocation %d %s: CException* caught; output string %s;%s modules unloaded; %s; input %s; %s; "
              "next call %s",
              n + 1, mode, outputEmpty ? "empty" : "CHANGED", unloaded ? "" : " NOT",
              leaked ? "buffers LEAKED" : "no buffer leaked", inputFree ? "deletable" : "HELD OPEN",
              leftWave ? (waveFree ? "a WAV file LEFT" : "a WAV file LEFT HELD OPEN") : "no WAV file left",
              same ? "converts the same" : "DIFFERS");
    }
    Check(done && caught > 0, "failing each allocation %s: %d failures, each caught", mode, caught);
}

void OutOfMemory(HostRig& rig)
{
    char chosen[MAX_PATH], reference[MAX_PATH];
    rig.Path(chosen, "inputmp3.wav");
    rig.Path(reference, "reference.wav");
    Remove(chosen);
    CString input(rig.input);
    int live = rig.mfc.LiveBuffers();
    int allocations = rig.mfc.Allocations();
    {
        CString output;
        int rc = rig.decode(input, output);
        allocations = rig.mfc.Allocations() - allocations;
        if (!Check(rc == 0 && CopyFileA(chosen, reference, FALSE) && Remove(chosen),
                   "a conversion to compare with: result %d, %d allocations", rc, allocations))
            return;
    }
    OutOfMemoryAtEachAllocation(rig, false, input, chosen, reference, allocations);
    OutOfMemoryAtEachAllocation(rig, true, input, chosen, reference, allocations);
    Remove(chosen);
    Remove(reference);
    Check(rig.mfc.LiveBuffers() == live && rig.mfc.Faults() == 0, "no string buffer left, no fault");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: vchost Boundary|Errors|OutOfMemory QUORVAN_DLL SAMPLE_MP3\n");
        return 2;
    }
    HostRig rig;
    if (Check(rig.Open(argv[2], argv[3]), "Quorvan.dll loaded from %s", argv[2])) {
        if (strcmp(argv[1], "Boundary") == 0)
            Boundary(rig);
        else if (strcmp(argv[1], "Errors") == 0)
            Errors(rig);
        else if (strcmp(argv[1], "OutOfMemory") == 0)
            OutOfMemory(rig);
        else
            Check(false, "a group named %s", argv[1]);
    }
    rig.Close();
    return FinishChecks();
}
