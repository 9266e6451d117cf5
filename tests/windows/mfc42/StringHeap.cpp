// The stand-in's private allocator for string buffers, and the checks that
// tell its buffers from anyone else's. Every buffer it hands out is recorded
// (its header's address and the nAllocLength it was made with) and followed
// by guard bytes; a freed buffer is filled and kept for a while before its
// memory is reused, so that a string still pointing at it is caught. Only
// the records are consulted for a pointer the stand-in did not allocate:
// foreign memory is never read.
#include <string.h>

#include "StandIn.h"

namespace {

const int kGuardBytes = 4;
const unsigned char kGuard = 0xFD;
const unsigned char kFreedFill = 0xDD;
// The largest buffer: header, characters, NUL and guard within 2 GiB.
const int kMaxLength = 0x7FFFFF00;

struct Record {
    const CStringData* header;
    int allocLength;
    bool freed;
    Record* next;
};

const unsigned kBuckets = 4096;
const int kQuarantine = 1024;  // freed buffers kept before their memory is reused

struct Heap {
    CRITICAL_SECTION lock;
    HANDLE heap;
    Record* buckets[kBuckets];
    Record* quarantine[kQuarantine];
    int quarantineNext;
    int failAfter;  // < 0: allocations do not fail
    bool failOnce;  // only the allocation that failAfter counts down to fails
    int allocations;
    int live;
};
Heap g_heap;

struct EmptyString {
    CStringData header;
    char chars[4];
};
EmptyString g_empty = {{-1, 0, 0}, {0, 0, 0, 0}};
// What AfxGetEmptyString returns: a CString is its one pointer.
char* const g_emptyCString = g_empty.chars;

unsigned BucketOf(const CStringData* header)
{
    return (reinterpret_cast<unsigned long>(header) >> 4) % kBuckets;
}

Record* Find(const CStringData* header)
{
    for (Record* r = g_heap.buckets[BucketOf(header)]; r; r = r->next)
        if (r->header == header)
            return r;
    return 0;
}

void Forget(Record* record)
{
    Record** link = &g_heap.buckets[BucketOf(record->header)];
    while (*link != record)
        link = &(*link)->next;
    *link = record->next;
    HeapFree(g_heap.heap, 0, const_cast<CStringData*>(record->header));
    HeapFree(g_heap.heap, 0, record);
}

unsigned char* GuardOf(const CStringData* header, int allocLength)
{
    return reinterpret_cast<unsigned char*>(const_cast<CStringData*>(header) + 1) + allocLength + 1;
}

struct Lock {
    Lock() { EnterCriticalSection(&g_heap.lock); }
    ~Lock() { LeaveCriticalSection(&g_heap.lock); }
};

}  // namespace

void standin::StartUp()
{
    InitializeCriticalSection(&g_heap.lock);
    g_heap.heap = HeapCreate(0, 0, 0);
    g_heap.failAfter = -1;
}

char* standin::EmptyData()
{
    return g_empty.chars;
}

void standin::CheckEmptyString(const char* member)
{
    const CStringData& h = g_empty.header;
    if (h.nRefs != -1 || h.nDataLength != 0 || h.nAllocLength != 0 || g_empty.chars[0] != 0)
        Fault(member, "the shared empty string was written: nRefs %ld, nDataLength %d, nAllocLength %d, "
                      "first character 0x%02x",
              h.nRefs, h.nDataLength, h.nAllocLength, static_cast<unsigned char>(g_empty.chars[0]));
}

CStringData* standin::AllocateBuffer(int nLength)
{
    bool fail = false;
    {
        Lock lock;
        if (g_heap.failAfter == 0) {
            fail = true;
            if (g_heap.failOnce)
                g_heap.failAfter = -1;
        } else if (g_heap.failAfter > 0) {
            --g_heap.failAfter;
        }
    }
    if (fail || nLength > kMaxLength)
        AfxThrowMemoryException();
    SIZE_T bytes = sizeof(CStringData) + nLength + 1 + kGuardBytes;
    CStringData* header = static_cast<CStringData*>(HeapAlloc(g_heap.heap, 0, bytes));
    Record* record = static_cast<Record*>(HeapAlloc(g_heap.heap, 0, sizeof(Record)));
    if (!header || !record) {
        if (header)
            HeapFree(g_heap.heap, 0, header);
        if (record)
            HeapFree(g_heap.heap, 0, record);
        AfxThrowMemoryException();
    }
    header->nRefs = 1;
    header->nDataLength = nLength;
    header->nAllocLength = nLength;
    header->data()[nLength] = 0;
    memset(GuardOf(header, nLength), kGuard, kGuardBytes);
    record->header = header;
    record->allocLength = nLength;
    record->freed = false;
    Lock lock;
    record->next = g_heap.buckets[BucketOf(header)];
    g_heap.buckets[BucketOf(header)] = record;
    ++g_heap.allocations;
    ++g_heap.live;
    return header;
}

void standin::FreeBuffer(CStringData* data)
{
    Lock lock;
    Record* record = Find(data);
    // The members check a buffer before they release it; a record missing
    // here means two threads released one buffer.
    if (!record || record->freed)
        Fault("CString::Release", "a buffer was freed twice: %p", static_cast<void*>(data->data()));
    record->freed = true;
    memset(data, kFreedFill, sizeof(CStringData) + record->allocLength + 1);
    --g_heap.live;
    Record*& slot = g_heap.quarantine[g_heap.quarantineNext];
    if (slot)
        Forget(slot);
    slot = record;
    g_heap.quarantineNext = (g_heap.quarantineNext + 1) % kQuarantine;
}

void standin::CheckBuffer(const char* pchData, const char* role, const char* member)
{
    CheckEmptyString(member);
    if (pchData == g_empty.chars)
        return;
    if (!pchData)
        Fault(member, "%s holds a null buffer pointer", role);
    const CStringData* header = reinterpret_cast<const CStringData*>(pchData) - 1;
    int allocLength = 0;
    bool known = false, freed = false;
    {
        Lock lock;
        if (Record* record = Find(header)) {
            known = true;
            freed = record->freed;
            allocLength = record->allocLength;
        }
    }
    const void* p = pchData;
    if (!known)
        Fault(member, "%s holds a buffer this MFC42 did not allocate: %p", role, p);
    if (freed)
        Fault(member, "%s holds a buffer that was already freed: %p", role, p);
    if (header->nAllocLength != allocLength)
        Fault(member, "%s holds a buffer whose nAllocLength is %d, not the %d it was allocated with "
                      "(grown or shrunk outside MFC42): %p",
              role, header->nAllocLength, allocLength, p);
    if (header->nRefs < 1)
        Fault(member, "%s holds a buffer whose reference count is %ld: %p", role, header->nRefs, p);
    if (header->nDataLength < 0 || header->nDataLength > allocLength)
        Fault(member, "%s holds a buffer whose nDataLength %d is outside its nAllocLength %d: %p", role,
              header->nDataLength, allocLength, p);
    const unsigned char* guard = GuardOf(header, allocLength);
    for (int i = 0; i < kGuardBytes; ++i)
        if (guard[i] != kGuard)
            Fault(member, "%s holds a buffer written past its end (nAllocLength %d): %p", role, allocLength, p);
}

const CString& AFXAPI AfxGetEmptyString()
{
    return *reinterpret_cast<const CString*>(&g_emptyCString);
}

void standin::FailAllocationsAfter(int n, bool onlyOne)
{
    Lock lock;
    g_heap.failAfter = n < 0 ? -1 : n;
    g_heap.failOnce = onlyOne;
}

int standin::Allocations()
{
    Lock lock;
    return g_heap.allocations;
}

int standin::LiveBuffers()
{
    Lock lock;
    return g_heap.live;
}
