// The root of the exceptions and the file exception; how a system error
// number maps to a file exception's cause is the backend's (fileerror.cpp),
// and so is the out-of-memory exception.
#include <afx.h>

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}

CException::~CException() = default;

void CException::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

CFileException::CFileException(int cause, LONG lOsError, LPCSTR pszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(pszFileName)
{
}

void AfxThrowFileException(int cause, LONG lOsError, LPCSTR pszFileName)
{
    throw new CFileException(cause, lOsError, pszFileName);
}
