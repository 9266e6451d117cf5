// The parts of the Microsoft Foundation Classes that Quorvan uses: CString,
// the exception classes, CFile and CFileFind.
//
// The string class and the out-of-memory exception are the backend's
// (<afxcore.h>): on Windows they are MFC42.DLL's own, shared with the host
// that calls the library; elsewhere they live in the project's own shared
// library, libqvafx.so, which the library and every host link, so that caller
// and library share one string implementation and one allocator. The file
// classes below are the same on every backend.
//
// As in the framework, exceptions are thrown as pointers (CException*) and
// released with Delete(). <afxdll.h> (one per backend) says how the classes
// cross a shared library's boundary and what a file handle is.
#ifndef QUORVAN_AFX_H
#define QUORVAN_AFX_H

#include <windows.h>

#include <afxdll.h>

// ---- Exceptions ------------------------------------------------------------
// The root of the framework's exceptions. On Windows it has MFC42's layout
// where the two meet: the virtual table, then m_bAutoDelete.
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

// The backend's part: CMemoryException, AfxThrowMemoryException, CString.
#include <afxcore.h>

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

    // Reports the file's failure by its result (and in *pError when given);
    // out of memory throws CMemoryException*, as every member may.
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
