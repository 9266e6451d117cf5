// CFile and CFileFind, less the system calls (fileos.h). Open reports the
// file's failures by its result; Close and Remove throw CFileException* with
// the system's code. Out of memory (CMemoryException*, from the strings)
// passes to the caller from every member, as from the framework's own: a
// member that turned it into a file failure would send its caller down
// another path instead of ending the operation.
#include "fileos.h"

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile()
{
    // A destructor cannot report anything: errors are dropped.
    if (m_hFile != hFileNull)
        afxos::CloseFile(m_hFile);
}

namespace {

void Report(CFileException* pError, LONG lOsError, LPCSTR lpszFileName)
{
    if (!pError)
        return;
    pError->m_cause = CFileException::OsErrorToException(lOsError);
    pError->m_lOsError = lOsError;
    pError->m_strFileName = lpszFileName;
}

[[noreturn]] void Throw(LONG lOsError, LPCSTR lpszFileName)
{
    AfxThrowFileException(CFileException::OsErrorToException(lOsError), lOsError, lpszFileName);
}

}  // namespace

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != hFileNull || !lpszFileName) {
        Report(pError, m_hFile != hFileNull ? afxos::kBusy : afxos::kInvalidArgument, lpszFileName);
        return FALSE;
    }
    UINT access = nOpenFlags & 3;
    if (access != modeRead && access != modeWrite && access != modeReadWrite) {
        Report(pError, afxos::kInvalidArgument, lpszFileName);
        return FALSE;
    }
    // The name first: once the file is open nothing can fail any more.
    m_strFileName = lpszFileName;
    AFX_FILE_HANDLE handle = hFileNull;
    LONG error = afxos::OpenFile(lpszFileName, access, nOpenFlags, &handle);
    if (error != 0) {
        m_strFileName.Empty();
        Report(pError, error, lpszFileName);
        return FALSE;
    }
    m_hFile = handle;
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
    // The handle is gone whatever the system says (retrying could close one
    // that another thread has just been given).
    AFX_FILE_HANDLE handle = m_hFile;
    m_hFile = hFileNull;
    LONG error = afxos::CloseFile(handle);
    if (error != 0) {
        try {
            Throw(error, m_strFileName);
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
        AfxThrowFileException(CFileException::badPath, afxos::kInvalidArgument, nullptr);
    LONG error = afxos::RemoveFile(lpszFileName);
    if (error != 0)
        Throw(error, lpszFileName);
}

// CFileFind, as far as asking whether a name is taken. No wildcards.
CFileFind::CFileFind() : m_bFound(FALSE) {}

CFileFind::~CFileFind()
{
    Close();
}

BOOL CFileFind::FindFile(LPCSTR pstrName, DWORD /*dwUnused*/)
{
    Close();
    if (!pstrName || !*pstrName)
        return FALSE;
    m_bFound = afxos::EntryExists(pstrName) ? TRUE : FALSE;
    return m_bFound;
}

void CFileFind::Close()
{
    m_bFound = FALSE;
}
