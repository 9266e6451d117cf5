// The framework's core on POSIX: the out-of-memory exception and CString,
// of the project's own shared library (libqvafx.so), which the Quorvan
// library and every host link, as is the root of the exceptions. Included by
// <afx.h>, after CException.
#ifndef QUORVAN_POSIX_AFXCORE_H
#define QUORVAN_POSIX_AFXCORE_H

#include <windows.h>

#include <afxdll.h>

// ---- Exceptions (CException is <afx.h>'s) ------------------------------------
class AFX_API CMemoryException : public CException {
public:
    CMemoryException();
};

// Throws the framework's (static) out-of-memory exception.
[[noreturn]] AFX_API void AfxThrowMemoryException();

class CString;

// ---- CString ----------------------------------------------------------------
// An 8-bit string. Copies are independent; an empty string allocates nothing.
// Out of memory is reported by AfxThrowMemoryException.
class AFX_API CString {
public:
    CString();
    CString(const CString& other);
    CString(LPCSTR psz);  // null gives an empty string
    CString(char ch, int nRepeat = 1);
    ~CString();

    const CString& operator=(const CString& other);
    const CString& operator=(LPCSTR psz);
    const CString& operator=(char ch);
    const CString& operator+=(const CString& other);
    const CString& operator+=(LPCSTR psz);
    const CString& operator+=(char ch);

    int GetLength() const;
    BOOL IsEmpty() const;
    void Empty();
    char GetAt(int nIndex) const;
    char operator[](int nIndex) const;
    operator LPCTSTR() const;

    int Compare(LPCSTR psz) const;
    int Find(char ch) const;
    int Find(LPCSTR pszSub) const;
    int ReverseFind(char ch) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;

    // Direct access to the buffer: room for at least nMinBufLength characters
    // plus a terminator. ReleaseBuffer(-1) takes the length from the terminator.
    LPSTR GetBuffer(int nMinBufLength);
    LPSTR GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    struct Data;
    Data* GetData() const;
    void Assign(const char* psz, int nLength);
    void Append(const char* psz, int nLength);
    void Reserve(int nLength, bool keep);

    char* m_pchData;  // points into a Data block, or at the shared empty string
};

AFX_API CString operator+(const CString& a, const CString& b);
AFX_API CString operator+(const CString& a, LPCSTR b);
AFX_API CString operator+(LPCSTR a, const CString& b);
AFX_API CString operator+(const CString& a, char b);
AFX_API bool operator==(const CString& a, const CString& b);
AFX_API bool operator==(const CString& a, LPCSTR b);
AFX_API bool operator==(LPCSTR a, const CString& b);
AFX_API bool operator!=(const CString& a, const CString& b);
AFX_API bool operator!=(const CString& a, LPCSTR b);
AFX_API bool operator!=(LPCSTR a, const CString& b);

// Runs a call that may raise the framework's exceptions, so that they arrive
// as C++ exceptions of this program (CMemoryException*). Here they are that
// already; on Windows the framework is another compiler's code.
template <typename Call>
void AfxFrameworkCall(Call&& call)
{
    call();
}

#endif
