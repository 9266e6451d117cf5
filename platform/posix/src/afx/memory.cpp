// The framework's out-of-memory exception: one static object, never deleted.
#include <afx.h>

CMemoryException::CMemoryException() : CException(FALSE) {}

void AfxThrowMemoryException()
{
    static CMemoryException outOfMemory;
    throw static_cast<CMemoryException*>(&outOfMemory);
}
