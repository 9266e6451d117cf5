// Test hook of the framework library: simulated out-of-memory.
#ifndef QUORVAN_AFXTESTING_H
#define QUORVAN_AFXTESTING_H

#include <afx.h>

// After n more string allocations succeed, every further one fails with
// AfxThrowMemoryException, until called again with n < 0.
AFX_API void AfxTestFailAllocationsAfter(int n);

#endif
