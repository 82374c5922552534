// A module of its own that throws a ZelEhBasis subclass defined in it, so that the tests
// catch it across a shared library boundary.
#pragma once

#include "platform/ZelExport.h"

#if defined(ZEL_BUILDING_EH_TEST_THROWER)
#define ZEL_EH_TEST_API ZEL_DLL_EXPORT
#else
#define ZEL_EH_TEST_API ZEL_DLL_IMPORT
#endif

// Throws a heap-allocated error with error number 4711 whose owned cause is a
// CMemoryException made on the heap.
[[noreturn]] ZEL_EH_TEST_API void ZelEhTestThrowFromModule();
