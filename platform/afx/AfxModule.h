// Extension modules and the current resource module.
#pragma once

#include "AfxCore.h"

// One per extension module: zero at load, filled by AfxInitExtensionModule.
struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
    CRuntimeClass* pFirstSharedClass;
    void* pFirstSharedFactory;
};

ZEL_AFX_API BOOL AFXAPI AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Unlinks and releases the CDynLinkLibrary objects of this module (all of them when bAll).
ZEL_AFX_API void AFXAPI AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// Links a module into the host's chain of extension modules. Created on the framework's
// heap by the module; the framework owns it and releases it at AfxTermExtensionModule.
class ZEL_AFX_API CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
public:
    CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    ~CDynLinkLibrary() override;

    HMODULE m_hModule;
    HMODULE m_hResource;
    CRuntimeClass* m_pFirstSharedClass;
    BOOL m_bSystem;
    CDynLinkLibrary* m_pNextDLL;
};

// The chain of extension modules, newest first.
ZEL_AFX_API CDynLinkLibrary* AFXAPI AfxGetFirstDynLinkLibrary();

// The module that resources are looked up in; process-wide.
ZEL_AFX_API HINSTANCE AFXAPI AfxGetResourceHandle();
ZEL_AFX_API void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource);

// The framework's most-recently-used file list. Only named in signatures here.
class CRecentFileList;
