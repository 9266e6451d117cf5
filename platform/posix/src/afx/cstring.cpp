// CString: a length-counted, always terminated 8-bit string. Every string owns
// its buffer (no sharing between copies); the empty string uses a static
// representation, so constructing and clearing never allocate.
#include <afx.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <new>

struct CString::Data {
    int nDataLength;
    int nAllocLength;
    char* chars() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

// Header (two ints, both 0) and terminator of the shared empty string.
const size_t kHeaderSize = 2 * sizeof(int);
alignas(int) char g_emptyStorage[kHeaderSize + 1] = {};

#ifdef QUORVAN_AFX_TEST_HOOKS
std::atomic<int> g_allocationsLeft{-1};
std::atomic<bool> g_failOnlyOne{false};
#endif

char* EmptyChars()
{
    return g_emptyStorage + kHeaderSize;
}

}  // namespace

#ifdef QUORVAN_AFX_TEST_HOOKS
// Only in the build of this library that the tests run with (never installed):
// after n more string allocations succeed, every further one fails, until
// called again with n < 0.
AFX_API void AfxTestFailAllocationsAfter(int n)
{
    g_failOnlyOne = false;
    g_allocationsLeft = n < 0 ? -1 : n;
}

// The same, but only the one allocation fails: the ones after it succeed.
AFX_API void AfxTestFailOneAllocationAfter(int n)
{
    g_failOnlyOne = true;
    g_allocationsLeft = n < 0 ? -1 : n;
}
#endif

CString::Data* CString::GetData() const
{
    static_assert(sizeof(Data) == kHeaderSize, "string header layout");
    return reinterpret_cast<Data*>(m_pchData) - 1;
}

// Makes room for nLength characters; keeps the contents when asked.
void CString::Reserve(int nLength, bool keep)
{
    if (nLength < 0)
        AfxThrowMemoryException();
    Data* old = GetData();
    if (m_pchData != EmptyChars() && old->nAllocLength >= nLength)
        return;
#ifdef QUORVAN_AFX_TEST_HOOKS
    int left = g_allocationsLeft.load();
    if (left == 0) {
        if (g_failOnlyOne)
            g_allocationsLeft = -1;
        AfxThrowMemoryException();
    }
    if (left > 0)
        g_allocationsLeft = left - 1;
#endif
    if (static_cast<size_t>(nLength) > static_cast<size_t>(INT_MAX) - sizeof(Data) - 1)
        AfxThrowMemoryException();
    Data* d = static_cast<Data*>(malloc(sizeof(Data) + static_cast<size_t>(nLength) + 1));
    if (!d)
        AfxThrowMemoryException();
    d->nAllocLength = nLength;
    d->nDataLength = 0;
    d->chars()[0] = '\0';
    if (keep) {
        memcpy(d->chars(), m_pchData, static_cast<size_t>(old->nDataLength) + 1);
        d->nDataLength = old->nDataLength;
    }
    if (m_pchData != EmptyChars())
        free(old);
    m_pchData = d->chars();
}

void CString::Assign(const char* psz, int nLength)
{
    if (nLength == 0) {
        Empty();
        return;
    }
    if (psz >= m_pchData && psz <= m_pchData + GetData()->nDataLength) {
        CString copy(*this);  // assigning a part of ourselves
        Assign(copy.m_pchData + (psz - m_pchData), nLength);
        return;
    }
    Reserve(nLength, false);
    memcpy(m_pchData, psz, static_cast<size_t>(nLength));
    m_pchData[nLength] = '\0';
    GetData()->nDataLength = nLength;
}

void CString::Append(const char* psz, int nLength)
{
    if (nLength == 0)
        return;
    int oldLength = GetLength();
    if (nLength > INT_MAX - oldLength)
        AfxThrowMemoryException();
    if (psz >= m_pchData && psz <= m_pchData + oldLength) {
        CString copy;
        copy.Assign(psz, nLength);
        Append(copy.m_pchData, nLength);
        return;
    }
    int newLength = oldLength + nLength;
    int alloc = GetData()->nAllocLength;
    if (m_pchData == EmptyChars() || alloc < newLength) {
        int grown = alloc > INT_MAX / 2 ? INT_MAX - 64 : alloc * 2;
        Reserve(newLength > grown ? newLength : grown, true);
    }
    memcpy(m_pchData + oldLength, psz, static_cast<size_t>(nLength));
    m_pchData[newLength] = '\0';
    GetData()->nDataLength = newLength;
}

CString::CString() : m_pchData(EmptyChars()) {}

CString::CString(const CString& other) : m_pchData(EmptyChars())
{
    Assign(other.m_pchData, other.GetLength());
}

CString::CString(LPCSTR psz) : m_pchData(EmptyChars())
{
    if (psz)
        Assign(psz, static_cast<int>(strlen(psz)));
}

CString::CString(char ch, int nRepeat) : m_pchData(EmptyChars())
{
    if (nRepeat > 0) {
        Reserve(nRepeat, false);
        memset(m_pchData, ch, static_cast<size_t>(nRepeat));
        m_pchData[nRepeat] = '\0';
        GetData()->nDataLength = nRepeat;
    }
}

CString::~CString()
{
    if (m_pchData != EmptyChars())
        free(GetData());
}

const CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_pchData, other.GetLength());
    return *this;
}

const CString& CString::operator=(LPCSTR psz)
{
    Assign(psz ? psz : "", psz ? static_cast<int>(strlen(psz)) : 0);
    return *this;
}

const CString& CString::operator=(char ch)
{
    Assign(&ch, 1);
    return *this;
}

const CString& CString::operator+=(const CString& other)
{
    Append(other.m_pchData, other.GetLength());
    return *this;
}

const CString& CString::operator+=(LPCSTR psz)
{
    if (psz)
        Append(psz, static_cast<int>(strlen(psz)));
    return *this;
}

const CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

int CString::GetLength() const
{
    return GetData()->nDataLength;
}

BOOL CString::IsEmpty() const
{
    return GetLength() == 0;
}

void CString::Empty()
{
    if (m_pchData != EmptyChars()) {
        free(GetData());
        m_pchData = EmptyChars();
    }
}

char CString::GetAt(int nIndex) const
{
    return (nIndex >= 0 && nIndex < GetLength()) ? m_pchData[nIndex] : '\0';
}

char CString::operator[](int nIndex) const
{
    return GetAt(nIndex);
}

CString::operator LPCTSTR() const
{
    return m_pchData;
}

int CString::Compare(LPCSTR psz) const
{
    return strcmp(m_pchData, psz ? psz : "");
}

int CString::Find(char ch) const
{
    const char* p = static_cast<const char*>(memchr(m_pchData, ch, static_cast<size_t>(GetLength())));
    return p ? static_cast<int>(p - m_pchData) : -1;
}

int CString::Find(LPCSTR pszSub) const
{
    const char* p = strstr(m_pchData, pszSub ? pszSub : "");
    return p ? static_cast<int>(p - m_pchData) : -1;
}

int CString::ReverseFind(char ch) const
{
    for (int i = GetLength() - 1; i >= 0; --i)
        if (m_pchData[i] == ch)
            return i;
    return -1;
}

CString CString::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    if (nCount >= GetLength())
        return *this;
    CString s;
    s.Assign(m_pchData, nCount);
    return s;
}

CString CString::Right(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    if (nCount >= GetLength())
        return *this;
    CString s;
    s.Assign(m_pchData + GetLength() - nCount, nCount);
    return s;
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    int length = GetLength();
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst > length)
        nFirst = length;
    if (nCount < 0)
        nCount = 0;
    if (nCount > length - nFirst)
        nCount = length - nFirst;
    CString s;
    s.Assign(m_pchData + nFirst, nCount);
    return s;
}

LPSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < GetLength())
        nMinBufLength = GetLength();
    if (nMinBufLength == 0) {
        // Even an empty request gets a writable buffer.
        Reserve(1, true);
        return m_pchData;
    }
    Reserve(nMinBufLength, true);
    return m_pchData;
}

LPSTR CString::GetBufferSetLength(int nNewLength)
{
    GetBuffer(nNewLength);
    m_pchData[nNewLength] = '\0';
    GetData()->nDataLength = nNewLength;
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == EmptyChars())
        return;
    Data* d = GetData();
    if (nNewLength < 0)
        nNewLength = static_cast<int>(strnlen(m_pchData, static_cast<size_t>(d->nAllocLength)));
    if (nNewLength > d->nAllocLength)
        nNewLength = d->nAllocLength;
    d->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

CString operator+(const CString& a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(const CString& a, LPCSTR b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(LPCSTR a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
CString operator+(const CString& a, char b)
{
    CString s(a);
    s += b;
    return s;
}
bool operator==(const CString& a, const CString& b)
{
    return a.GetLength() == b.GetLength() && a.Compare(b) == 0;
}
bool operator==(const CString& a, LPCSTR b)
{
    return a.Compare(b) == 0;
}
bool operator==(LPCSTR a, const CString& b)
{
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b)
{
    return !(a == b);
}
bool operator!=(const CString& a, LPCSTR b)
{
    return !(a == b);
}
bool operator!=(LPCSTR a, const CString& b)
{
    return !(b == a);
}
