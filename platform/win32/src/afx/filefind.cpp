// CFileFind, as far as asking whether a name is taken: any directory entry
// counts, folders included.
#include <afx.h>

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
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pstrName, &data);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(h);
    m_bFound = TRUE;
    return m_bFound;
}

void CFileFind::Close()
{
    m_bFound = FALSE;
}
