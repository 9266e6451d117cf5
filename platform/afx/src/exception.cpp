// The exception classes; how a system error number maps to a file exception's
// cause is the backend's (fileerror.cpp).
#include <afx.h>

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

void AfxThrowFileException(int cause, LONG lOsError, LPCSTR pszFileName)
{
    throw new CFileException(cause, lOsError, pszFileName);
}
