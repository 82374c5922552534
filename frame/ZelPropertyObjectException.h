// The one exception class through which the library reports every failure.
#pragma once

#include "ZelPlatform.h"

/// The one exception class through which the library reports every failure.
///
/// It is thrown by pointer; whoever catches it owns it and frees it with Delete(), which frees
/// the causes below it too. Every converting operation that fails throws a new one, holding
/// what it caught as its cause (GetCause()): a failure deep in a tree arrives as a chain, one
/// exception for every level that converted it, down to what went wrong first, which is a
/// ZelPropertyLocalException (local errors 2801 to 2803) or a framework exception
/// (CMemoryException, CInvalidArgException).
///
/// GetErrorNo() is the conversion number: 1001 for any failure, 1002 for memory exhaustion
/// where the operation tells it apart. GetSourceName() (such as `.\ZelRegistrySet`),
/// GetClassText(), GetMethodText() and GetClosingText() (`Catch am Methodenende`, or empty
/// where memory exhaustion is told apart) name where it was converted. These texts, and
/// the German lines that Log() writes, stay as they are from release to release: a program
/// may rely on them.
class ZEL_OFSET_API ZelPropertyObjectException : public ZelEhBasis {
    DECLARE_DYNAMIC(ZelPropertyObjectException)
public:
    /// `pCause`: the exception caught, which this one then owns (`bCauseFlag`). `nErrorNo`
    /// is the conversion number; `nTextNo`, `nSubNo`, `nHelpContext` and `bReport` go to the
    /// base as they are. `pszAdditional` is copied; null for none. The four texts are not
    /// copied: they must outlive the exception.
    ZelPropertyObjectException(CException* pCause, BOOL bCauseFlag, const char* pszSource,
                               const char* pszClass, const char* pszMethod,
                               const char* pszClosing, DWORD nErrorNo, DWORD nTextNo,
                               DWORD nSubNo, const char* pszAdditional, DWORD nHelpContext,
                               BOOL bReport);
    /// Releases the additional text, and the cause when it is owned.
    ~ZelPropertyObjectException() override;

    /// Writes the error with its causes, in the error-handling library's German terms: a
    /// line "Fehlerart: ZelPropertyObjectException", the base's lines (Quelle, Klasse,
    /// Methode, Abschluss, Fehlernummer, Textnummer, Unternummer, then "Ursache:" with the
    /// cause's entry indented below it) and "Weitere Informationen:" with the additional
    /// text. Never throws.
    void Log(ZelEhLogFile& log) const override;
    /// @return the name of the language-dependent resource module that describes this
    ///         library's errors (ZelLanguagePublisher), or null.
    const char* GetResourceModulname() const override;
    /// @return 321, the entry of the error texts in the resource module.
    DWORD GetResIdForTextInfo() const override;
    /// @return 322, the entry of the caption in the resource module.
    DWORD GetResIdForCaption() const override;

    /// @return the additional text, or null; the library's own conversions give none.
    const char* GetAdditionalText() const { return m_pszAdditional; }

private:
    char* m_pszAdditional;
};
