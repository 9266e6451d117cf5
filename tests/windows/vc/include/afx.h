// MFC42.DLL's CString and exception classes as a Visual C++ host sees them,
// for the test programs that are built here with clang-cl and no framework
// headers: the class layouts and the members that MFC42.DLL exports by
// ordinal (MFC42.lib maps each decorated name to its ordinal). The inline
// members read the string's header and nothing else; every member that
// allocates, writes or frees a buffer is MFC42.DLL's.
//
// The stand-in MFC42.DLL of the tests (tests/windows/mfc42/) is built from
// this header too, with QUORVAN_BUILDING_MFC42 defined.
#ifndef QUORVAN_VC_AFX_H
#define QUORVAN_VC_AFX_H

#include <windows.h>

#ifdef QUORVAN_BUILDING_MFC42
#define AFX_IMPORT
#else
#define AFX_IMPORT __declspec(dllimport)
#endif
#define AFXAPI __stdcall

// ---- Exceptions: thrown as pointers, released with Delete() ------------------
class CObject {
public:
    virtual ~CObject();

protected:
    CObject() {}

private:
    CObject(const CObject&);
    void operator=(const CObject&);
};

class CException : public CObject {
public:
    explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
    virtual ~CException();
    // Frees an exception made on the heap; a static one (MFC42's
    // out-of-memory exception) is left alone.
    void Delete()
    {
        if (m_bAutoDelete > 0)
            delete this;
    }

    BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
public:
    explicit CMemoryException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
    virtual ~CMemoryException();
};

__declspec(noreturn) AFX_IMPORT void AFXAPI AfxThrowMemoryException();

// ---- CString -----------------------------------------------------------------
// The header before a string's characters: m_pchData points just past it.
struct CStringData {
    long nRefs;        // -1 for the shared empty string, never written or freed
    int nDataLength;   // characters before the terminating NUL
    int nAllocLength;  // characters the buffer holds, the NUL not counted
    char* data() { return reinterpret_cast<char*>(this + 1); }
};

// An 8-bit, reference-counted string: copies share one buffer, and a member
// that writes first makes its own copy.
class CString {
public:
    AFX_IMPORT CString();
    AFX_IMPORT CString(const CString& stringSrc);
    AFX_IMPORT CString(char ch, int nRepeat = 1);
    AFX_IMPORT CString(LPCSTR lpsz);
    AFX_IMPORT CString(LPCSTR lpch, int nLength);
    AFX_IMPORT ~CString();

    int GetLength() const { return GetData()->nDataLength; }
    BOOL IsEmpty() const { return GetData()->nDataLength == 0; }
    char GetAt(int nIndex) const { return m_pchData[nIndex]; }
    operator LPCTSTR() const { return m_pchData; }

    AFX_IMPORT const CString& operator=(const CString& stringSrc);
    AFX_IMPORT const CString& operator=(char ch);
    AFX_IMPORT const CString& operator=(LPCSTR lpsz);
    AFX_IMPORT const CString& operator+=(const CString& string);
    AFX_IMPORT const CString& operator+=(char ch);
    AFX_IMPORT const CString& operator+=(LPCSTR lpsz);

    AFX_IMPORT void Empty();
    AFX_IMPORT LPTSTR GetBuffer(int nMinBufLength);
    AFX_IMPORT void ReleaseBuffer(int nNewLength = -1);

protected:
    CStringData* GetData() const { return reinterpret_cast<CStringData*>(m_pchData) - 1; }

    LPTSTR m_pchData;
};

AFX_IMPORT const CString& AFXAPI AfxGetEmptyString();

#endif
