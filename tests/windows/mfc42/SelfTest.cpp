// The stand-in MFC42.DLL seen from a Visual C++ host: reference counts, copy
// on write, the shared empty string, GetBuffer/ReleaseBuffer, the failure
// switches (every allocation from the Nth on, or the Nth alone) and their
// CMemoryException*, and, in child processes of this program, each kind of
// fault (exit code 86 and its line) and the report of buffers left at exit.
//   mfc42_selftest               run every check
//   mfc42_selftest child CASE    one child case (see RunChildCase)
#include <afx.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "StandInControls.h"
#include "VcTest.h"

namespace {

StandInControls g_mfc;

// A string whose pointer a test sets by hand, as a faulty library would.
struct ForgedString : CString {
    void PointAt(char* p) { m_pchData = p; }
};

bool Is(const CString& s, const char* text)
{
    return strcmp(s, text) == 0 && s.GetLength() == static_cast<int>(strlen(text));
}

void SharingAndCopyOnWrite()
{
    int live = g_mfc.LiveBuffers();
    CString a("hello");
    CString b(a);
    Check(static_cast<LPCTSTR>(a) == static_cast<LPCTSTR>(b) && HeaderOf(a)->nRefs == 2,
          "a copy shares the buffer (nRefs %ld)", HeaderOf(a)->nRefs);
    b += '!';
    Check(Is(a, "hello") && Is(b, "hello!") && HeaderOf(a)->nRefs == 1 && HeaderOf(b)->nRefs == 1,
          "appending to a copy gives it its own buffer and leaves the original");
    CString c;
    c = a;
    Check(static_cast<LPCTSTR>(c) == static_cast<LPCTSTR>(a) && HeaderOf(a)->nRefs == 2, "assignment shares");
    c = "other";
    Check(Is(c, "other") && Is(a, "hello") && HeaderOf(a)->nRefs == 1, "assigning text to a sharer copies");
    c += c;
    Check(Is(c, "otherother"), "a string appended to itself");
    c = 'x';
    c += "yz";
    Check(Is(c, "xyz"), "operator=(char) and operator+=(const char*)");
    CString d('-', 3), e("a\0b", 3);
    Check(Is(d, "---") && e.GetLength() == 3 && e.GetAt(1) == 0 && e.GetAt(2) == 'b',
          "CString(char, int) and CString(const char*, int) with a NUL inside");
    Check(g_mfc.LiveBuffers() == live + 5, "five buffers live (%d more)", g_mfc.LiveBuffers() - live);
}

void TheEmptyString()
{
    int allocations = g_mfc.Allocations(), live = g_mfc.LiveBuffers();
    const CString& nil = AfxGetEmptyString();
    CString a, b(a), c(""), d(static_cast<LPCSTR>(0)), e('x', 0);
    LPCTSTR p = nil;
    Check(HeaderOf(nil)->nRefs == -1 && HeaderOf(nil)->nDataLength == 0 && nil.IsEmpty(),
          "AfxGetEmptyString: nRefs -1, length 0");
    Check(a == p && b == p && c == p && d == p && e == p, "empty strings of every constructor point at it");
    CString f("text");
    f.Empty();
    Check(f == p && g_mfc.LiveBuffers() == live, "Empty() frees the buffer and points at it");
    f = "text";
    f = "";
    Check(f == p && g_mfc.LiveBuffers() == live, "assigning \"\" frees the buffer and points at it");
    f = "text";
    f = a;
    Check(f == p && g_mfc.LiveBuffers() == live, "assigning an empty string does too");
    Check(g_mfc.Allocations() == allocations + 3 && HeaderOf(nil)->nRefs == -1,
          "only the three texts allocated; nRefs still -1");
}

void Buffers()
{
    CString a("abc");
    CString b(a);
    char* p = b.GetBuffer(10);
    Check(p != static_cast<LPCTSTR>(a) && strcmp(p, "abc") == 0 && HeaderOf(b)->nAllocLength == 10 &&
              HeaderOf(a)->nRefs == 1,
          "GetBuffer on a shared string copies into a buffer of the size asked");
    strcpy(p, "abcdefghij");
    b.ReleaseBuffer();
    Check(Is(b, "abcdefghij") && Is(a, "abc"), "ReleaseBuffer() takes the length up to the NUL");
    b.GetBuffer(4);
    Check(b == static_cast<LPCTSTR>(p), "GetBuffer within the buffer keeps it");
    b.ReleaseBuffer(2);
    Check(Is(b, "ab") && HeaderOf(b)->nAllocLength == 10, "ReleaseBuffer(2) cuts, the buffer stays");
    CString e;
    int allocations = g_mfc.Allocations();
    char* q = e.GetBuffer(0);
    e.ReleaseBuffer();
    Check(q == static_cast<LPCTSTR>(AfxGetEmptyString()) && g_mfc.Allocations() == allocations && e.IsEmpty(),
          "GetBuffer(0) on an empty string hands out the empty string itself");
}

void OutOfMemory()
{
    int live = g_mfc.LiveBuffers();
    CString kept("kept");
    CException* first = 0;
    bool gotMemory = false, gotBase = false;
    g_mfc.FailAllocationsAfter(1);
    try {
        CString one("one");  // the one allowed
        kept += " and more";
    } catch (CMemoryException* e) {
        gotMemory = true;
        first = e;
        Check(e->m_bAutoDelete == FALSE, "the exception is not auto-delete");
        e->Delete();
    }
    try {
        CString two("two");
    } catch (CException* e) {
        gotBase = true;
        Check(e == first, "every failure throws the one static CMemoryException");
        e->Delete();
    }
    g_mfc.FailAllocationsAfter(-1);
    Check(gotMemory && gotBase, "the failures are caught as CMemoryException* and as CException*");
    Check(Is(kept, "kept"), "a failed append leaves the string as it was");
    CString three("three");
    Check(Is(three, "three"), "allocations work again after FailAllocationsAfter(-1)");

    // Only the one: the allocations before and after it succeed.
    bool failedAlone = false;
    g_mfc.FailOneAllocationAfter(1);
    try {
        CString one("one");
        try {
            kept += " and more";
        } catch (CMemoryException* e) {
            failedAlone = true;
            e->Delete();
        }
        CString two("two");
        kept += " and more";
    } catch (CException* e) {
        failedAlone = false;
        e->Delete();
    }
    g_mfc.FailAllocationsAfter(-1);
    Check(failedAlone && Is(kept, "kept and more"), "FailOneAllocationAfter(1) fails the second allocation alone");
    Check(g_mfc.LiveBuffers() == live + 2, "nothing leaked on the way");
}

struct ChildCase {
    const char* name;
    const char* expected;  // in the line; exit code 86, or 0 for "leak"
};

const ChildCase kChildCases[] = {
    {"foreign", "MFC42 stand-in: source holds a buffer this MFC42 did not allocate"},
    {"freed", "MFC42 stand-in: string holds a buffer that was already freed"},
    {"grown", "MFC42 stand-in: string holds a buffer whose nAllocLength is 20, not the 5"},
    {"overrun", "MFC42 stand-in: string holds a buffer written past its end"},
    {"refs", "MFC42 stand-in: source holds a buffer whose reference count is 0"},
    {"sentinel", "MFC42 stand-in: the shared empty string was written: nRefs 1"},
    {"release", "MFC42 stand-in: ReleaseBuffer(9) on a buffer of 4 characters"},
    {"leak", "MFC42 stand-in: 1 string buffers still live at exit"},
    {"env", "switched on at load"},
};

// What one child case does; the faults end the process inside MFC42.DLL.
int RunChildCase(const char* name)
{
    static char forged[32] = {1, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0};
    if (strcmp(name, "foreign") == 0) {
        ForgedString s;
        s.PointAt(forged + 12);
        CString copy(s);
    } else if (strcmp(name, "freed") == 0) {
        CString a("abc");
        ForgedString stale;
        stale.PointAt(const_cast<char*>(static_cast<LPCTSTR>(a)));
        a.Empty();
        stale.Empty();
    } else if (strcmp(name, "grown") == 0) {
        CString a("hello");
        const_cast<CStringData*>(HeaderOf(a))->nAllocLength = 20;
        a += "!";
    } else if (strcmp(name, "overrun") == 0) {
        CString a("abcd");
        char* p = a.GetBuffer(4);
        memcpy(p, "abcdefgh", 8);
        a.ReleaseBuffer(4);
    } else if (strcmp(name, "refs") == 0) {
        CString a("abcd");
        const_cast<CStringData*>(HeaderOf(a))->nRefs = 0;
        CString copy(a);
    } else if (strcmp(name, "sentinel") == 0) {
        const_cast<CStringData*>(HeaderOf(AfxGetEmptyString()))->nRefs = 1;
        CString a("x");
    } else if (strcmp(name, "release") == 0) {
        CString a("abcd");
        a.GetBuffer(4);
        a.ReleaseBuffer(9);
    } else if (strcmp(name, "leak") == 0) {
        CString a("left behind");
        fflush(stdout);
        ExitProcess(0);  // a's destructor never runs
    } else if (strcmp(name, "env") == 0) {
        try {
            CString a("x");
        } catch (CMemoryException*) {
            printf("switched on at load\n");
            return 0;
        }
        return 1;
    }
    return 2;  // a fault should have ended the process
}

void Faults()
{
    char self[MAX_PATH];
    OwnPath(self, sizeof self);
    for (size_t i = 0; i < sizeof kChildCases / sizeof kChildCases[0]; ++i) {
        const ChildCase& c = kChildCases[i];
        bool faults = strncmp(c.expected, "MFC42 stand-in: ", 16) == 0 && strcmp(c.name, "leak") != 0;
        char command[MAX_PATH + 64];
        sprintf(command, "\"%s\" child %s", self, c.name);
        if (strcmp(c.name, "env") == 0)
            SetEnvironmentVariableA("QUORVAN_MFC42_FAIL_AFTER", "0");
        ChildRun run = RunChild(command, 0);
        SetEnvironmentVariableA("QUORVAN_MFC42_FAIL_AFTER", 0);
        DWORD exitCode = faults ? 86 : 0;
        bool lineSeen = strstr(run.output, c.expected) != 0;
        Check(run.started && run.exitCode == exitCode && lineSeen, "%s: exit code %lu (%lu expected), \"%s\" %s",
              c.name, run.exitCode, exitCode, c.expected, lineSeen ? "seen" : "missing");
        if (!lineSeen)
            printf("  it wrote: %s\n", run.output);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (!g_mfc.Load()) {
        fprintf(stderr, "mfc42_selftest: the MFC42.DLL loaded is not the stand-in\n");
        return 1;
    }
    if (argc == 3 && strcmp(argv[1], "child") == 0)
        return RunChildCase(argv[2]);
    int live = g_mfc.LiveBuffers();
    SharingAndCopyOnWrite();
    TheEmptyString();
    Buffers();
    OutOfMemory();
    Check(g_mfc.LiveBuffers() == live && g_mfc.Faults() == 0, "every buffer freed, no fault");
    Faults();
    return FinishChecks();
}
