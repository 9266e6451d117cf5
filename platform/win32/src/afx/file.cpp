// CFile: an unbuffered file over a Win32 handle. Open reports failure by its
// result; Close and Remove throw CFileException* with GetLastError's code.
#include <afx.h>

const AFX_FILE_HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile()
{
    // A destructor cannot report anything: errors are dropped.
    if (m_hFile != hFileNull)
        CloseHandle(m_hFile);
}

namespace {

void Report(CFileException* pError, DWORD dwOsError, LPCSTR lpszFileName)
{
    if (!pError)
        return;
    pError->m_cause = CFileException::OsErrorToException(static_cast<LONG>(dwOsError));
    pError->m_lOsError = static_cast<LONG>(dwOsError);
    try {
        pError->m_strFileName = lpszFileName;
    } catch (CException* e) {
        // Out of memory: the report goes without the name.
        e->Delete();
        pError->m_strFileName.Empty();
    }
}

DWORD ShareMode(UINT nOpenFlags)
{
    switch (nOpenFlags & 0x70) {
    case CFile::shareDenyWrite:
        return FILE_SHARE_READ;
    case CFile::shareDenyRead:
        return FILE_SHARE_WRITE;
    case CFile::shareDenyNone:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:  // shareCompat, shareExclusive
        return 0;
    }
}

}  // namespace

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != hFileNull || !lpszFileName) {
        Report(pError, m_hFile != hFileNull ? ERROR_BUSY : ERROR_INVALID_PARAMETER, lpszFileName);
        return FALSE;
    }
    // The name first: once the file is open nothing can fail any more.
    try {
        m_strFileName = lpszFileName;
    } catch (CException* e) {
        e->Delete();
        Report(pError, ERROR_NOT_ENOUGH_MEMORY, nullptr);
        return FALSE;
    }

    DWORD access;
    switch (nOpenFlags & 3) {
    case modeRead:
        access = GENERIC_READ;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        break;
    case modeReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    default:
        m_strFileName.Empty();
        Report(pError, ERROR_INVALID_PARAMETER, lpszFileName);
        return FALSE;
    }
    DWORD disposition = OPEN_EXISTING;
    if (nOpenFlags & modeCreate)
        disposition = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    // Never inherited by child processes, as on POSIX (O_CLOEXEC).
    HANDLE h = CreateFileA(lpszFileName, access, ShareMode(nOpenFlags), nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        m_strFileName.Empty();
        Report(pError, error, lpszFileName);
        return FALSE;
    }
    m_hFile = h;
    if (pError) {
        pError->m_cause = CFileException::none;
        pError->m_lOsError = 0;
    }
    return TRUE;
}

void CFile::Close()
{
    if (m_hFile == hFileNull)
        return;
    // The handle is gone whatever CloseHandle says.
    HANDLE h = m_hFile;
    m_hFile = hFileNull;
    DWORD error = CloseHandle(h) ? NO_ERROR : GetLastError();
    if (error != NO_ERROR) {
        try {
            AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(error)),
                                  static_cast<LONG>(error), m_strFileName);
        } catch (...) {
            m_strFileName.Empty();
            throw;
        }
    }
    m_strFileName.Empty();
}

void CFile::Remove(LPCSTR lpszFileName)
{
    if (!lpszFileName)
        AfxThrowFileException(CFileException::badPath, ERROR_INVALID_PARAMETER, nullptr);
    if (!DeleteFileA(lpszFileName)) {
        DWORD error = GetLastError();
        AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(error)),
                              static_cast<LONG>(error), lpszFileName);
    }
}
