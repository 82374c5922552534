#include "ZelModule.h"

#include "ZelPropertyObjectException.h"

namespace {

// Filled by the framework at attach, used again at detach.
AFX_EXTENSION_MODULE g_extensionModule = {};

// Built before the entry function's attach and destroyed after its detach.
ZelEhDeleteAtTerminate g_deleteAtTerminate ZEL_INIT_BEFORE_ENTRY(RUNTIME_CLASS(ZelPropertyObjectException));

}  // namespace

BOOL WINAPI ZelModuleEntry(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        if (!AfxInitExtensionModule(g_extensionModule, hInstance)) return FALSE;
        // The framework owns the link object and releases it at termination.
        new CDynLinkLibrary(g_extensionModule, FALSE);
        return TRUE;
    case DLL_PROCESS_DETACH:
        AfxTermExtensionModule(g_extensionModule, FALSE);
        return TRUE;
    default:
        return TRUE;
    }
}
