// CFileFind, as far as asking whether a name is taken: any directory entry
// counts, folders and links (even dangling ones) included. No wildcards.
#include <afx.h>

#include <sys/stat.h>

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
    struct stat st;
    m_bFound = lstat(pstrName, &st) == 0 ? TRUE : FALSE;
    return m_bFound;
}

void CFileFind::Close()
{
    m_bFound = FALSE;
}
