// Extension modules: their records, the process-wide chain of CDynLinkLibrary objects and the
// current resource module.
#include "AfxModule.h"

#include <atomic>
#include <mutex>

#include "AfxException.h"
#include "AfxTestHooks.h"

namespace {

// Both are constant-initialised, so modules may use them from their own load-time statics.
std::mutex g_chainMutex;
CDynLinkLibrary* g_pFirstDLL = nullptr;

std::atomic<HINSTANCE> g_hResource{nullptr};
std::atomic<bool> g_bFailExtensionInit{false};

}  // namespace

BOOL AFXAPI AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
    if (g_bFailExtensionInit.load()) return FALSE;
    if (state.bInitialized) return TRUE;
    state.hModule = hModule;
    state.hResource = hModule;
    state.bInitialized = TRUE;
    return TRUE;
}

// The libraries to delete are unlinked under the lock but deleted after it, since each
// destructor takes the lock itself (and finds itself already gone).
void AFXAPI AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
    if (!state.bInitialized) return;
    CDynLinkLibrary* pDoomed = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_chainMutex);
        CDynLinkLibrary** ppLink = &g_pFirstDLL;
        while (*ppLink != nullptr) {
            CDynLinkLibrary* pDLL = *ppLink;
            if (bAll || pDLL->m_hModule == state.hModule) {
                *ppLink = pDLL->m_pNextDLL;
                pDLL->m_pNextDLL = pDoomed;
                pDoomed = pDLL;
            } else {
                ppLink = &pDLL->m_pNextDLL;
            }
        }
    }
    while (pDoomed != nullptr) {
        CDynLinkLibrary* pNext = pDoomed->m_pNextDLL;
        delete pDoomed;
        pDoomed = pNext;
    }
    state.bInitialized = FALSE;
}

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

// Only a record that AfxInitExtensionModule has filled names a module that can be linked.
CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule),
      m_hResource(state.hResource),
      m_pFirstSharedClass(state.pFirstSharedClass),
      m_bSystem(bSystem),
      m_pNextDLL(nullptr) {
    if (!state.bInitialized) AfxThrowInvalidArgException();
    std::lock_guard<std::mutex> lock(g_chainMutex);
    m_pNextDLL = g_pFirstDLL;
    g_pFirstDLL = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
    std::lock_guard<std::mutex> lock(g_chainMutex);
    CDynLinkLibrary** ppLink = &g_pFirstDLL;
    while (*ppLink != nullptr && *ppLink != this) ppLink = &(*ppLink)->m_pNextDLL;
    if (*ppLink == this) *ppLink = m_pNextDLL;
}

CDynLinkLibrary* AFXAPI AfxGetFirstDynLinkLibrary() {
    std::lock_guard<std::mutex> lock(g_chainMutex);
    return g_pFirstDLL;
}

HINSTANCE AFXAPI AfxGetResourceHandle() { return g_hResource.load(); }

void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource) { g_hResource.store(hInstResource); }

void AFXAPI AfxTestFailExtensionInit(BOOL bFail) { g_bFailExtensionInit.store(bFail != FALSE); }
