// The module's entry function, called by the platform when the module is loaded and
// unloaded, and for every thread start and end.
#pragma once

#include "ZelPlatform.h"

// DLL_PROCESS_ATTACH: joins the host framework as an extension module; FALSE refuses the load.
// DLL_PROCESS_DETACH: leaves it again. Thread notifications do nothing.
extern "C" ZEL_OFSET_API BOOL WINAPI ZelModuleEntry(HINSTANCE hInstance, DWORD dwReason,
                                                    LPVOID lpReserved);
