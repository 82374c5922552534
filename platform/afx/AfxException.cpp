// The framework's exception classes and their throw functions.
#include "AfxException.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Copies a message into a caller's buffer, truncating it; FALSE when there is no room at all.
BOOL CopyMessage(LPCSTR pszText, LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext != nullptr) *pnHelpContext = 0;
    if (lpszError == nullptr || nMaxError == 0) return FALSE;
    size_t n = std::strlen(pszText);
    if (n > nMaxError - 1) n = nMaxError - 1;
    std::memcpy(lpszError, pszText, n);
    lpszError[n] = '\0';
    return TRUE;
}

// The one memory exception of the process. Never destroyed: other modules may still run out
// of memory while they are being unloaded at exit.
CMemoryException* StaticMemoryException() {
    alignas(CMemoryException) static unsigned char storage[sizeof(CMemoryException)];
    static CMemoryException* const pException = new (storage) CMemoryException(FALSE);
    return pException;
}

}  // namespace

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CException)

CException::CException() : m_bAutoDelete(TRUE) {}

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}

CException::~CException() {}

void CException::Delete() {
    if (m_bAutoDelete) delete this;
}

// The base class has no text of its own.
BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    CopyMessage("", lpszError, nMaxError, pnHelpContext);
    return FALSE;
}

// There is no message box on this side, so the style (nType) has nowhere to go; the report
// goes to standard error instead and counts as acknowledged.
int CException::ReportError(UINT, UINT nMessageID) {
    char szText[512];
    if (!GetErrorMessage(szText, sizeof szText)) {
        if (nMessageID != 0) {
            std::snprintf(szText, sizeof szText, "Error message %u (no text available).", nMessageID);
        } else {
            std::snprintf(szText, sizeof szText, "No error message is available.");
        }
    }
    std::fprintf(stderr, "%s: %s\n", GetRuntimeClass()->m_lpszClassName, szText);
    return IDOK;
}

CMemoryException::CMemoryException() = default;

CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete) {}

CMemoryException::~CMemoryException() = default;

BOOL CMemoryException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    return CopyMessage("Out of memory.", lpszError, nMaxError, pnHelpContext);
}

CInvalidArgException::CInvalidArgException() = default;

CInvalidArgException::CInvalidArgException(BOOL bAutoDelete) : CException(bAutoDelete) {}

CInvalidArgException::~CInvalidArgException() = default;

BOOL CInvalidArgException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError,
                                           UINT* pnHelpContext) {
    return CopyMessage("Invalid argument.", lpszError, nMaxError, pnHelpContext);
}

void AFXAPI AfxThrowMemoryException() { throw StaticMemoryException(); }

// A fresh, auto-deleting exception per throw; if even that cannot be allocated, the
// allocation itself throws the memory exception instead.
void AFXAPI AfxThrowInvalidArgException() { throw new CInvalidArgException; }
