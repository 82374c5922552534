// The framework's exceptions: thrown by pointer, released with Delete().
#pragma once

#include "AfxCore.h"

/// @file
/// The framework's exceptions: thrown by pointer, released with Delete().

/// The root of the framework's exceptions. They are thrown by pointer; whoever catches one
/// owns it and releases it with Delete(), never with `delete`.
class ZEL_AFX_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    /// An exception that Delete() releases.
    CException();
    /// An exception that Delete() releases when `bAutoDelete` is set, and leaves alone
    /// otherwise (a static one).
    explicit CException(BOOL bAutoDelete);
    /// Destroys the exception.
    ~CException() override = 0;

    /// Releases the exception if it was allocated for one throw (m_bAutoDelete); statically
    /// allocated exceptions stay. Always the right way to be done with a caught exception.
    void Delete();

    /// Copies a one-line description into `lpszError` (at most `nMaxError` characters with
    /// the NUL).
    /// @return TRUE when there is a description; FALSE here: the root has none.
    virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr);
    /// Reports the error on standard error: the class name and the description.
    /// @return IDOK.
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

    /// Whether Delete() releases the exception.
    BOOL m_bAutoDelete;
};

/// Memory exhaustion. The framework throws one preallocated instance, since there may be no
/// memory left to allocate a new one; Delete() leaves it alone.
class ZEL_AFX_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    /// A memory exception that Delete() releases.
    CMemoryException();
    /// A memory exception that Delete() releases when `bAutoDelete` is set.
    explicit CMemoryException(BOOL bAutoDelete);
    /// Destroys the exception.
    ~CMemoryException() override;
    /// Copies the description of memory exhaustion into `lpszError`.
    /// @return TRUE, or FALSE without a buffer.
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

/// An argument that the callee cannot work with (a null list position, for example).
class ZEL_AFX_API CInvalidArgException : public CException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    /// An invalid-argument exception that Delete() releases.
    CInvalidArgException();
    /// An invalid-argument exception that Delete() releases when `bAutoDelete` is set.
    explicit CInvalidArgException(BOOL bAutoDelete);
    /// Destroys the exception.
    ~CInvalidArgException() override;
    /// Copies the description of an invalid argument into `lpszError`.
    /// @return TRUE, or FALSE without a buffer.
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

/// Throws the framework's one preallocated CMemoryException*.
[[noreturn]] ZEL_AFX_API void AFXAPI AfxThrowMemoryException();
/// Throws a new CInvalidArgException*.
[[noreturn]] ZEL_AFX_API void AFXAPI AfxThrowInvalidArgException();
