#include <afx.h>

#include <errno.h>

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}

CException::~CException() = default;

void CException::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

CMemoryException::CMemoryException() : CException(FALSE) {}

void AfxThrowMemoryException()
{
    static CMemoryException outOfMemory;
    throw static_cast<CMemoryException*>(&outOfMemory);
}

CFileException::CFileException(int cause, LONG lOsError, LPCSTR pszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(pszFileName)
{
}

int CFileException::OsErrorToException(LONG lOsError)
{
    switch (lOsError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case EBUSY:
        return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull;
    case EIO:
        return hardIO;
    case EISDIR:
        return accessDenied;
    default:
        return generic;
    }
}

void AfxThrowFileException(int cause, LONG lOsError, LPCSTR pszFileName)
{
    throw new CFileException(cause, lOsError, pszFileName);
}
