// CFile: an unbuffered file over a POSIX descriptor. Open reports failure by
// its result; Close and Remove throw CFileException*.
#include <afx.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

const AFX_FILE_HANDLE CFile::hFileNull = -1;

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile()
{
    // A destructor cannot report anything: errors are dropped.
    if (m_hFile != hFileNull)
        close(m_hFile);
}

namespace {

void Report(CFileException* pError, LONG lOsError, LPCSTR lpszFileName)
{
    if (!pError)
        return;
    pError->m_cause = CFileException::OsErrorToException(lOsError);
    pError->m_lOsError = lOsError;
    try {
        pError->m_strFileName = lpszFileName;
    } catch (CException* e) {
        // Out of memory: the report goes without the name.
        e->Delete();
        pError->m_strFileName.Empty();
    }
}

}  // namespace

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != hFileNull || !lpszFileName) {
        Report(pError, m_hFile != hFileNull ? EBUSY : EINVAL, lpszFileName);
        return FALSE;
    }
    // The name first: once the file is open nothing can fail any more.
    try {
        m_strFileName = lpszFileName;
    } catch (CException* e) {
        e->Delete();
        Report(pError, ENOMEM, nullptr);
        return FALSE;
    }

    int flags = O_CLOEXEC;
    switch (nOpenFlags & 3) {
    case modeRead:
        flags |= O_RDONLY;
        break;
    case modeWrite:
        flags |= O_WRONLY;
        break;
    case modeReadWrite:
        flags |= O_RDWR;
        break;
    default:
        m_strFileName.Empty();
        Report(pError, EINVAL, lpszFileName);
        return FALSE;
    }
    if (nOpenFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(nOpenFlags & modeNoTruncate))
            flags |= O_TRUNC;
    }

    int fd;
    do
        fd = open(lpszFileName, flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int error = errno;
        m_strFileName.Empty();
        Report(pError, error, lpszFileName);
        return FALSE;
    }
    m_hFile = fd;
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
    // The descriptor is gone whatever close says (retrying could close a
    // descriptor another thread has just been given).
    int fd = m_hFile;
    m_hFile = hFileNull;
    int error = close(fd) == 0 ? 0 : errno;
    if (error != 0) {
        try {
            AfxThrowFileException(CFileException::OsErrorToException(error), error, m_strFileName);
        } catch (...) {
            m_strFileName.Empty();
            throw;
        }
    }
    m_strFileName.Empty();
}

void CFile::Remove(LPCSTR lpszFileName)
{
    // Files only, as on Windows: unlink refuses folders.
    if (!lpszFileName)
        AfxThrowFileException(CFileException::badPath, EINVAL, nullptr);
    if (unlink(lpszFileName) != 0) {
        int error = errno;
        AfxThrowFileException(CFileException::OsErrorToException(error), error, lpszFileName);
    }
}
