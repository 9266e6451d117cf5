// The parts of the Microsoft Foundation Classes that Quorvan uses: CString,
// the exception classes, CFile and CFileFind. They live in their own shared
// library (qvafx.dll, libqvafx.so), which the Quorvan library and every host
// link, so that caller and library share one string implementation, one
// allocator and one set of exception types.
//
// As in the framework, exceptions are thrown as pointers (CException*) and
// released with Delete(). The same source serves every backend; <afxdll.h>
// (one per backend) says how the classes cross the shared library's boundary
// and what a file handle is.
#ifndef QUORVAN_AFX_H
#define QUORVAN_AFX_H

#include <windows.h>

#include <afxdll.h>

// ---- Exceptions ------------------------------------------------------------
class AFX_API CException {
public:
    explicit CException(BOOL bAutoDelete = TRUE);
    virtual ~CException();
    // Frees a heap-allocated exception; static ones are left alone.
    void Delete();
    BOOL m_bAutoDelete;

    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
};

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

// ---- File exceptions -----------------------------------------------------
class AFX_API CFileException : public CException {
public:
    enum {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };
    explicit CFileException(int cause = none, LONG lOsError = -1, LPCSTR pszFileName = nullptr);
    // Maps the system's error number (errno, or GetLastError on Windows) to
    // a cause.
    static int OsErrorToException(LONG lOsError);

    int m_cause;
    LONG m_lOsError;  // the system's error number
    CString m_strFileName;
};

// Throws a new CFileException (released by the catcher with Delete()).
[[noreturn]] AFX_API void AfxThrowFileException(int cause, LONG lOsError = -1,
                                                 LPCSTR pszFileName = nullptr);

// ---- CFile -------------------------------------------------------------------
class AFX_API CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = (int)0x8000
    };
    static const AFX_FILE_HANDLE hFileNull;

    CFile();
    virtual ~CFile();  // closes an open file, ignoring errors

    // Reports failure by its result (and in *pError when given); never throws.
    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Throw CFileException on failure.
    virtual void Close();
    static void Remove(LPCSTR lpszFileName);

    AFX_FILE_HANDLE m_hFile;  // hFileNull when closed
    CString m_strFileName;

    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
};

// ---- CFileFind -------------------------------------------------------------
class AFX_API CFileFind {
public:
    CFileFind();
    virtual ~CFileFind();
    // TRUE when a directory entry (file or folder) of that name exists.
    virtual BOOL FindFile(LPCSTR pstrName = nullptr, DWORD dwUnused = 0);
    void Close();

private:
    BOOL m_bFound;
};

#endif
