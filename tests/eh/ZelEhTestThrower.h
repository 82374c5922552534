// A shared library of its own, to throw an error whose class only it knows across the boundary.
#pragma once

#include "platform/ZelExport.h"

#if defined(ZEL_BUILDING_EH_TEST_THROWER)
#define ZEL_EH_TEST_API ZEL_DLL_EXPORT
#else
#define ZEL_EH_TEST_API ZEL_DLL_IMPORT
#endif

// Throws a heap-allocated error numbered 4711 that owns a heap-allocated CMemoryException.
[[noreturn]] ZEL_EH_TEST_API void ZelEhTestThrowFromModule();
