// The framework's exception classes and its one out-of-memory exception: a
// static CMemoryException that is never deleted (m_bAutoDelete FALSE), thrown
// as a Visual C++ exception of type CMemoryException*, so that a host's
// catch (CMemoryException*) and catch (CException*) both take it.
#include "StandIn.h"

CObject::~CObject() {}
CException::~CException() {}
CMemoryException::~CMemoryException() {}

inline void* operator new(unsigned int, void* place) noexcept
{
    return place;
}

namespace {

// Made in place when the DLL is loaded and never destroyed: a static object
// with a destructor would need the runtime's exit handling, which this DLL
// does without.
alignas(CMemoryException) unsigned char g_outOfMemoryPlace[sizeof(CMemoryException)];
CMemoryException* g_outOfMemory;

}  // namespace

void standin::InitExceptions()
{
    g_outOfMemory = new (g_outOfMemoryPlace) CMemoryException(FALSE);
}

void AFXAPI AfxThrowMemoryException()
{
    throw g_outOfMemory;
}
