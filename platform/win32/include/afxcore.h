// The framework's core on Windows: MFC42.DLL's own CString, so that a host
// built with Visual C++ against MFC42.DLL and the library share one string
// implementation and one allocator.
//
// A CString is one pointer just past MFC42's 12-byte header (reference count,
// length, capacity). Only MFC42.DLL allocates, grows, shares or frees a
// buffer: every member that does is one of its exports, imported by ordinal
// (mfc42.def); the members written here only read the header and the
// characters, or combine those exports.
//
// MFC42.DLL raises its exceptions (CMemoryException*, when memory runs out)
// as Visual C++ exceptions, which this compiler's code can neither catch nor
// unwind through: every export that may raise one is called through
// AfxFrameworkCall, which turns it into a C++ exception of this program, of
// the same type, so that the frames in between run their destructors.
#ifndef QUORVAN_WIN32_AFXCORE_H
#define QUORVAN_WIN32_AFXCORE_H

#include <string.h>
#include <windows.h>

#include <exception>
#include <utility>

#include <afxdll.h>

// ---- Exceptions (CException is <afx.h>'s) ------------------------------------
// MFC42's out-of-memory exception. Its one object is MFC42's own, static
// (m_bAutoDelete FALSE, so Delete() leaves it alone); it is never made here,
// only caught and thrown on.
class CMemoryException : public CException {
public:
    CMemoryException() = delete;
};

class CString;

extern "C" {
// Raises MFC42's out-of-memory exception, as a Visual C++ exception.
__declspec(dllimport) [[noreturn]] void WINAPI AfxThrowMemoryException(void);
}

// ---- Calls that may raise a framework exception -------------------------------
namespace afxcall {

// A Visual C++ exception that reached a guarded call: its thrown object and
// its type's throw record.
struct Raised {
    void* object;
    const void* throwInfo;
};

// Runs call(context) behind a handler for Visual C++ exceptions. Returns true
// when the call returned; false, with *raised filled in, when one was raised
// below it (the frames in between are unwound by then). `call` must not let a
// C++ exception of this program out.
bool Run(void (*call)(void*), void* context, Raised* raised);

// Throws what Run caught as a C++ exception of this program: the framework
// object as CMemoryException*.
[[noreturn]] void ThrowOn(const Raised& raised);

}  // namespace afxcall

// Runs a call that may raise the framework's exceptions, so that they arrive
// as C++ exceptions of this program (CMemoryException*). Exceptions of this
// program that the call throws pass as they are.
template <typename Call>
void AfxFrameworkCall(Call&& call)
{
    struct Context {
        Call* call;
        std::exception_ptr thrown;
    } context = {&call, nullptr};
    afxcall::Raised raised;
    bool returned = afxcall::Run(
        [](void* p) {
            Context* c = static_cast<Context*>(p);
            try {
                (*c->call)();
            } catch (...) {
                c->thrown = std::current_exception();
            }
        },
        &context, &raised);
    if (!returned)
        afxcall::ThrowOn(raised);
    if (context.thrown)
        std::rethrow_exception(context.thrown);
}

// ---- MFC42.DLL's string exports ------------------------------------------------
// Member functions of MFC42's CString, called with this compiler's __thiscall
// (this in ECX, arguments on the stack, popped by the callee), which is
// Visual C++'s. Imported by ordinal only: the names are this program's own.
#define QV_MFC42_IMPORT __declspec(dllimport)
#define QV_MFC42_THISCALL __attribute__((thiscall))
extern "C" {
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringConstruct(CString* self);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringCopy(CString* self, const CString* other);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringRepeat(CString* self, char ch, int nRepeat);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringFromText(CString* self, const char* psz);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringFromChars(CString* self, const char* pch, int nLength);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringDestroy(CString* self);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAssign(CString* self, const CString* other);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAssignChar(CString* self, char ch);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAssignText(CString* self, const char* psz);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAppend(CString* self, const CString* other);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAppendChar(CString* self, char ch);
QV_MFC42_IMPORT const CString* QV_MFC42_THISCALL Mfc42StringAppendText(CString* self, const char* psz);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringEmpty(CString* self);
QV_MFC42_IMPORT char* QV_MFC42_THISCALL Mfc42StringGetBuffer(CString* self, int nMinBufLength);
QV_MFC42_IMPORT void QV_MFC42_THISCALL Mfc42StringReleaseBuffer(CString* self, int nNewLength);
}

// ---- CString ----------------------------------------------------------------
// An 8-bit string. Copies share their buffer until one of them is written.
// Out of memory raises CMemoryException*.
class CString {
public:
    CString() { Mfc42StringConstruct(this); }
    CString(const CString& other)
    {
        AfxFrameworkCall([&] { Mfc42StringCopy(this, &other); });
    }
    CString(LPCSTR psz)  // null gives an empty string
    {
        AfxFrameworkCall([&] { Mfc42StringFromText(this, psz); });
    }
    CString(char ch, int nRepeat = 1)
    {
        AfxFrameworkCall([&] { Mfc42StringRepeat(this, ch, nRepeat); });
    }
    CString(LPCSTR pch, int nLength)
    {
        AfxFrameworkCall([&] { Mfc42StringFromChars(this, pch, nLength); });
    }
    ~CString() { Mfc42StringDestroy(this); }

    const CString& operator=(const CString& other)
    {
        AfxFrameworkCall([&] { Mfc42StringAssign(this, &other); });
        return *this;
    }
    const CString& operator=(LPCSTR psz)
    {
        AfxFrameworkCall([&] { Mfc42StringAssignText(this, psz); });
        return *this;
    }
    const CString& operator=(char ch)
    {
        AfxFrameworkCall([&] { Mfc42StringAssignChar(this, ch); });
        return *this;
    }
    const CString& operator+=(const CString& other)
    {
        AfxFrameworkCall([&] { Mfc42StringAppend(this, &other); });
        return *this;
    }
    const CString& operator+=(LPCSTR psz)
    {
        AfxFrameworkCall([&] { Mfc42StringAppendText(this, psz); });
        return *this;
    }
    const CString& operator+=(char ch)
    {
        AfxFrameworkCall([&] { Mfc42StringAppendChar(this, ch); });
        return *this;
    }

    int GetLength() const { return GetData()->nDataLength; }
    BOOL IsEmpty() const { return GetLength() == 0; }
    void Empty()
    {
        AfxFrameworkCall([&] { Mfc42StringEmpty(this); });
    }
    char GetAt(int nIndex) const { return m_pchData[nIndex]; }
    char operator[](int nIndex) const { return m_pchData[nIndex]; }
    operator LPCTSTR() const { return m_pchData; }

    int Compare(LPCSTR psz) const { return strcmp(m_pchData, psz); }
    int Find(char ch) const { return Offset(strchr(m_pchData, ch)); }
    int Find(LPCSTR pszSub) const { return Offset(strstr(m_pchData, pszSub)); }
    int ReverseFind(char ch) const { return Offset(strrchr(m_pchData, ch)); }
    CString Left(int nCount) const { return Mid(0, nCount); }
    CString Right(int nCount) const
    {
        nCount = nCount < 0 ? 0 : nCount > GetLength() ? GetLength() : nCount;
        return Mid(GetLength() - nCount, nCount);
    }
    CString Mid(int nFirst) const { return Mid(nFirst, GetLength()); }
    CString Mid(int nFirst, int nCount) const
    {
        int length = GetLength();
        if (nFirst < 0)
            nFirst = 0;
        if (nFirst > length)
            nFirst = length;
        if (nCount < 0)
            nCount = 0;
        if (nCount > length - nFirst)
            nCount = length - nFirst;
        if (nFirst == 0 && nCount == length)
            return *this;  // shares the buffer
        return CString(m_pchData + nFirst, nCount);
    }

    // Direct access to the buffer: room for at least nMinBufLength characters
    // plus a terminator, not shared. ReleaseBuffer(-1) takes the length from
    // the terminator.
    LPSTR GetBuffer(int nMinBufLength)
    {
        char* p = nullptr;
        AfxFrameworkCall([&] { p = Mfc42StringGetBuffer(this, nMinBufLength); });
        return p;
    }
    // GetBuffer, with the length set to nNewLength (the characters beyond the
    // old length are the buffer's as it was).
    LPSTR GetBufferSetLength(int nNewLength)
    {
        GetBuffer(nNewLength);
        ReleaseBuffer(nNewLength);
        return m_pchData;
    }
    void ReleaseBuffer(int nNewLength = -1)
    {
        AfxFrameworkCall([&] { Mfc42StringReleaseBuffer(this, nNewLength); });
    }

private:
    // MFC42's header before the characters.
    struct Data {
        long nRefs;  // -1 for the shared empty string
        int nDataLength;
        int nAllocLength;
    };
    const Data* GetData() const { return reinterpret_cast<const Data*>(m_pchData) - 1; }
    int Offset(const char* p) const { return p ? static_cast<int>(p - m_pchData) : -1; }

    char* m_pchData;
};

static_assert(sizeof(CString) == 4, "MFC42's CString is one pointer");

inline CString operator+(const CString& a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
inline CString operator+(const CString& a, LPCSTR b)
{
    CString s(a);
    s += b;
    return s;
}
inline CString operator+(LPCSTR a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
inline CString operator+(const CString& a, char b)
{
    CString s(a);
    s += b;
    return s;
}
inline bool operator==(const CString& a, const CString& b)
{
    return a.Compare(b) == 0;
}
inline bool operator==(const CString& a, LPCSTR b)
{
    return a.Compare(b) == 0;
}
inline bool operator==(LPCSTR a, const CString& b)
{
    return b.Compare(a) == 0;
}
inline bool operator!=(const CString& a, const CString& b)
{
    return !(a == b);
}
inline bool operator!=(const CString& a, LPCSTR b)
{
    return !(a == b);
}
inline bool operator!=(LPCSTR a, const CString& b)
{
    return !(a == b);
}

#endif
