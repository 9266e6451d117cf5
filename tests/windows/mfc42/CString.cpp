// MFC42's CString members: reference-counted buffers from the stand-in's own
// allocator, copied on write, the shared empty string for every empty one.
// Each member first checks the buffers it is handed (StringHeap.cpp).
//
// Members that replace a buffer release the old one before they allocate
// when the old one is shared (it stays alive for its other owners), and
// allocate first when its characters are still needed: a failed allocation
// leaves the string either as it was or empty, never dangling.
#include <string.h>

#include "StandIn.h"

using standin::CheckBuffer;

namespace {

// CString's protected parts, for the members' helpers below.
struct Access : CString {
    static char*& Data(CString& s) { return static_cast<Access&>(s).m_pchData; }
    static CStringData* Header(const CString& s) { return static_cast<const Access&>(s).GetData(); }
};

CStringData* HeaderOf(char* pchData)
{
    return reinterpret_cast<CStringData*>(pchData) - 1;
}

bool IsEmptyString(const CStringData* header)
{
    return reinterpret_cast<const char*>(header + 1) == standin::EmptyData();
}

// A buffer for nLength characters, or the empty string for none.
char* Allocate(int nLength)
{
    return nLength == 0 ? standin::EmptyData() : standin::AllocateBuffer(nLength)->data();
}

void Release(CStringData* header)
{
    if (!IsEmptyString(header) && InterlockedDecrement(&header->nRefs) <= 0)
        standin::FreeBuffer(header);
}

// Drops this string's hold on its buffer: it is the empty string after.
void Release(CString& s)
{
    Release(Access::Header(s));
    Access::Data(s) = standin::EmptyData();
}

void SetLength(CString& s, int nLength)
{
    if (nLength == 0 && IsEmptyString(Access::Header(s)))
        return;
    Access::Header(s)->nDataLength = nLength;
    Access::Data(s)[nLength] = 0;
}

// Makes s hold a copy of nLength characters, in its own buffer when that is
// unshared and large enough. An empty value makes it the empty string.
void AssignCopy(CString& s, int nLength, const char* chars)
{
    CStringData* header = Access::Header(s);
    if (nLength == 0) {
        Release(s);
        return;
    }
    if (header->nRefs > 1 || nLength > header->nAllocLength) {
        char* fresh = Allocate(nLength);
        memcpy(fresh, chars, nLength);  // chars may lie in the old buffer
        Release(header);
        Access::Data(s) = fresh;
    } else {
        memmove(Access::Data(s), chars, nLength);
    }
    SetLength(s, nLength);
}

// Appends nLength characters, which may be s's own.
void ConcatInPlace(CString& s, int nLength, const char* chars)
{
    if (nLength == 0)
        return;
    CStringData* header = Access::Header(s);
    int oldLength = header->nDataLength;
    if (nLength > 0x7FFFFFFF - oldLength)
        AfxThrowMemoryException();
    if (header->nRefs > 1 || oldLength + nLength > header->nAllocLength) {
        char* fresh = Allocate(oldLength + nLength);
        memcpy(fresh, Access::Data(s), oldLength);
        memcpy(fresh + oldLength, chars, nLength);
        Release(header);
        Access::Data(s) = fresh;
    } else {
        memmove(Access::Data(s) + oldLength, chars, nLength);
    }
    SetLength(s, oldLength + nLength);
}

// Gives s a buffer of its own (nRefs 1) before it is written.
void CopyBeforeWrite(CString& s)
{
    CStringData* header = Access::Header(s);
    if (header->nRefs <= 1)
        return;
    Release(s);  // still alive: others hold it
    char* fresh = Allocate(header->nDataLength);
    memcpy(fresh, header->data(), header->nDataLength);
    Access::Data(s) = fresh;
    SetLength(s, header->nDataLength);
}

int LengthOf(const char* psz)
{
    return psz ? static_cast<int>(strlen(psz)) : 0;
}

}  // namespace

CString::CString()
{
    m_pchData = standin::EmptyData();
}

CString::CString(const CString& stringSrc)
{
    m_pchData = standin::EmptyData();
    CheckBuffer(stringSrc.m_pchData, "source", "CString::CString(const CString&)");
    if (IsEmptyString(stringSrc.GetData()))
        return;
    m_pchData = stringSrc.m_pchData;
    InterlockedIncrement(&GetData()->nRefs);
}

CString::CString(char ch, int nRepeat)
{
    m_pchData = standin::EmptyData();
    standin::CheckEmptyString("CString::CString(char, int)");
    if (nRepeat > 0) {
        m_pchData = Allocate(nRepeat);
        memset(m_pchData, ch, nRepeat);
    }
}

CString::CString(LPCSTR lpsz)
{
    m_pchData = standin::EmptyData();
    standin::CheckEmptyString("CString::CString(const char*)");
    // Values below 64 KiB are resource identifiers; this DLL has no string
    // resources, so they give the empty string.
    if (reinterpret_cast<unsigned long>(lpsz) < 0x10000)
        return;
    AssignCopy(*this, LengthOf(lpsz), lpsz);
}

CString::CString(LPCSTR lpch, int nLength)
{
    m_pchData = standin::EmptyData();
    standin::CheckEmptyString("CString::CString(const char*, int)");
    if (nLength < 0)
        standin::Fault("CString::CString(const char*, int)", "a negative length (%d)", nLength);
    AssignCopy(*this, nLength, lpch);
}

CString::~CString()
{
    CheckBuffer(m_pchData, "string", "CString::~CString");
    Release(*this);
}

const CString& CString::operator=(const CString& stringSrc)
{
    const char* member = "CString::operator=(const CString&)";
    CheckBuffer(m_pchData, "string", member);
    CheckBuffer(stringSrc.m_pchData, "source", member);
    if (m_pchData == stringSrc.m_pchData)
        return *this;
    if (IsEmptyString(stringSrc.GetData())) {
        Release(*this);
        return *this;
    }
    Release(*this);
    m_pchData = stringSrc.m_pchData;
    InterlockedIncrement(&GetData()->nRefs);
    return *this;
}

const CString& CString::operator=(char ch)
{
    CheckBuffer(m_pchData, "string", "CString::operator=(char)");
    AssignCopy(*this, 1, &ch);
    return *this;
}

const CString& CString::operator=(LPCSTR lpsz)
{
    CheckBuffer(m_pchData, "string", "CString::operator=(const char*)");
    AssignCopy(*this, LengthOf(lpsz), lpsz);
    return *this;
}

const CString& CString::operator+=(const CString& string)
{
    const char* member = "CString::operator+=(const CString&)";
    CheckBuffer(m_pchData, "string", member);
    CheckBuffer(string.m_pchData, "source", member);
    ConcatInPlace(*this, string.GetData()->nDataLength, string.m_pchData);
    return *this;
}

const CString& CString::operator+=(char ch)
{
    CheckBuffer(m_pchData, "string", "CString::operator+=(char)");
    ConcatInPlace(*this, 1, &ch);
    return *this;
}

const CString& CString::operator+=(LPCSTR lpsz)
{
    CheckBuffer(m_pchData, "string", "CString::operator+=(const char*)");
    ConcatInPlace(*this, LengthOf(lpsz), lpsz);
    return *this;
}

void CString::Empty()
{
    CheckBuffer(m_pchData, "string", "CString::Empty");
    Release(*this);
}

LPTSTR CString::GetBuffer(int nMinBufLength)
{
    const char* member = "CString::GetBuffer";
    CheckBuffer(m_pchData, "string", member);
    if (nMinBufLength < 0)
        standin::Fault(member, "a negative length (%d)", nMinBufLength);
    CStringData* header = GetData();
    // The empty string itself is returned for GetBuffer(0): its one
    // character, the NUL, must stay as it is.
    if (header->nRefs > 1 || nMinBufLength > header->nAllocLength) {
        int oldLength = header->nDataLength;
        int length = nMinBufLength > oldLength ? nMinBufLength : oldLength;
        if (length == 0) {
            Release(*this);
            return m_pchData;
        }
        char* fresh = Allocate(length);
        memcpy(fresh, m_pchData, oldLength + 1);
        HeaderOf(fresh)->nDataLength = oldLength;
        Release(header);
        m_pchData = fresh;
    }
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    const char* member = "CString::ReleaseBuffer";
    CheckBuffer(m_pchData, "string", member);
    CopyBeforeWrite(*this);
    int allocLength = GetData()->nAllocLength;
    if (nNewLength == -1) {
        const void* nul = memchr(m_pchData, 0, allocLength + 1);
        if (!nul)
            standin::Fault(member, "ReleaseBuffer(-1) on a buffer with no NUL within its %d characters", allocLength);
        nNewLength = static_cast<int>(static_cast<const char*>(nul) - m_pchData);
    }
    if (nNewLength < 0 || nNewLength > allocLength)
        standin::Fault(member, "ReleaseBuffer(%d) on a buffer of %d characters", nNewLength, allocLength);
    SetLength(*this, nNewLength);
}

