// Fault injection for tests: failures that cannot be produced honestly on demand.
#pragma once

#include "AfxCore.h"

// Makes the nth next allocation through the framework's heap fail with CMemoryException*
// (1: the very next one). 0 disarms. Counts allocations of every thread.
ZEL_AFX_API void AFXAPI AfxTestFailAllocation(unsigned long nth);

// While set, AfxInitExtensionModule fails (returns FALSE and links nothing).
ZEL_AFX_API void AFXAPI AfxTestFailExtensionInit(BOOL bFail);
