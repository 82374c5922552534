// The framework's exceptions: thrown by pointer, released with Delete().
#pragma once

#include "AfxCore.h"

class ZEL_AFX_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    CException();
    explicit CException(BOOL bAutoDelete);
    ~CException() override = 0;

    // Releases the exception if it was allocated for one throw (m_bAutoDelete); statically
    // allocated exceptions stay.
    void Delete();

    virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr);
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

    BOOL m_bAutoDelete;
};

// Memory exhaustion. The framework throws one preallocated instance, since there may be no
// memory left to allocate a new one.
class ZEL_AFX_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
    explicit CMemoryException(BOOL bAutoDelete);
    ~CMemoryException() override;
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

// An argument that the callee cannot work with (a null list position, for example).
class ZEL_AFX_API CInvalidArgException : public CException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    CInvalidArgException();
    explicit CInvalidArgException(BOOL bAutoDelete);
    ~CInvalidArgException() override;
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

[[noreturn]] ZEL_AFX_API void AFXAPI AfxThrowMemoryException();
[[noreturn]] ZEL_AFX_API void AFXAPI AfxThrowInvalidArgException();
