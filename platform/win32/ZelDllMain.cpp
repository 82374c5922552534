// The DLL's entry point. The C runtime's start-up code builds the module's static objects
// first and then calls DllMain, so the module entry finds them constructed.
#include "../../frame/ZelModule.h"

namespace {

// Whether the module entry accepted the process attach.
bool g_bAttached = false;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    // When the entry refuses the attach, the C runtime calls DllMain once more with
    // DLL_PROCESS_DETACH before it runs the module's exit actions and the load fails. The
    // entry never joined, so it gets no detach for it, as the loader would send none.
    if (dwReason == DLL_PROCESS_DETACH && !g_bAttached) return TRUE;
    const BOOL bResult = ZelModuleEntry(hInstance, dwReason, lpReserved);
    if (dwReason == DLL_PROCESS_ATTACH) g_bAttached = bResult != FALSE;
    if (dwReason == DLL_PROCESS_DETACH) g_bAttached = false;
    return bResult;
}
