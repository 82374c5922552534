// Base exception class of the error-handling library: keeps an error's texts and numbers,
// owns its cause, and logs, reports and shows the error.
#pragma once

#include <cstdint>

#include "../afx/ZelAfx.h"
#include "ZelEhLogFile.h"

/// How a report is written to the error log file.
enum ZelEhLogfileStyle : int32_t {
    ZELEH_LOGFILE_NONE = 0,      ///< nothing is logged
    ZELEH_LOGFILE_APPEND = 1,    ///< entries are appended
    ZELEH_LOGFILE_OVERWRITE = 2  ///< each entry replaces the file
};

/// Base exception class of the error-handling library: keeps an error's texts and numbers,
/// owns its cause, and logs, reports and shows the error.
///
/// Reports go to standard error (there is no message box); when GetLogFileInfos names a log
/// file, they are appended to it as well. The stand-in keeps no resource texts: the resource
/// hooks of the base find nothing, and a derived class may supply them (texts it hands out
/// are copies made with ZelEhCopyString, which FreeErrorText and FreeCaptionText release).
class ZEL_EH_API ZelEhBasis : public CException {
    DECLARE_DYNAMIC(ZelEhBasis)
public:
    /// Class-level heap: exceptions of this family are allocated from the framework's heap.
    /// Throws CMemoryException* when memory runs out.
    static void* PASCAL operator new(size_t nSize);
    /// Releases an exception of this family to the framework's heap.
    static void PASCAL operator delete(void* p) noexcept;

    /// Releases the cause when it is owned.
    ~ZelEhBasis() override;

    /// One line: "Fehler", the error number and "in" the method (else the class, else the
    /// source).
    /// @return TRUE, or FALSE without a buffer.
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
    /// Writes the report: a caption line and the logged chain, to standard error and to the
    /// log file. `nMessageID` is not used: the error always has a text of its own.
    /// @return IDOK, or 0 when nothing was reported because the report flag is FALSE or the
    ///         report failed.
    int ReportError(UINT nType = MB_OK, UINT nMessageID = 0) override;

protected:
    /// Writes the error's own lines, then its cause's entry nested below them.
    virtual void Log(ZelEhLogFile& log) const;

public:
    /// As ReportError(), with the object's name and a text of the caller before the chain.
    /// @return IDOK, or 0 when nothing was reported.
    virtual int ReportErrorOnObject(const char* pszObject, const char* pszText);
    /// As ReportError(), with a text of the caller before the chain; the window names no
    /// object here.
    /// @return IDOK, or 0 when nothing was reported.
    virtual int ReportErrorOnObject(HWND hWnd, const char* pszText);
    /// @return the number of the error's description text.
    virtual ULONG GetErrorTextNo() const;
    /// Sets the number of the error's description text.
    virtual void SetErrorTextNo(ULONG nTextNo);
    /// @return the error number; for the library's exceptions the conversion number, 1001
    ///         or 1002.
    virtual ULONG GetErrorNo() const;
    /// Sets the error number.
    virtual void SetErrorNo(ULONG nErrorNo);
    /// The running program's file name, truncated to fit.
    /// @return TRUE, or FALSE without buffer or name.
    virtual BOOL GetApplication(char* pszBuffer, ULONG nSize) const;
    /// The error log of the application: the file named by the environment variable
    /// ZEL_EH_LOGFILE (`pszPath` must hold MAX_PATH characters), appended to without a size
    /// limit (`nMaxSize` 0; otherwise a file that has reached `nMaxSize` bytes is started
    /// anew).
    /// @return FALSE when no log file is configured or its path does not fit into MAX_PATH.
    virtual BOOL GetLogFileInfos(char* pszPath, ZelEhLogfileStyle& eStyle, ULONG& nMaxSize) const;
    /// @return the name of the module that holds the error's texts; null here.
    virtual const char* GetResourceModulname() const;
    /// @return the resource entry of the error texts; 0 here.
    virtual DWORD GetResIdForTextInfo() const;
    /// @return the resource entry of the caption; 0 here.
    virtual DWORD GetResIdForCaption() const;

protected:
    /// @return the loaded resource module of that name; null here.
    virtual HINSTANCE LoadResourceModule(const char* pszName) const;
    /// Releases a module from LoadResourceModule().
    virtual void FreeResourceModule(HINSTANCE hModule) const;
    /// @return the resource entry `nId` of the module; null here.
    virtual void* GetResourceEntry(ULONG nId, HINSTANCE& hModule) const;
    /// Releases an entry from GetResourceEntry().
    virtual void FreeResourceEntry(void* pEntry) const;
    /// The help identifier, style and version of text `nTextNo` in the entry.
    /// @return TRUE when the entry holds that text; FALSE here, with every output 0.
    virtual BOOL GetErrorTextInfo(void* pEntry, ULONG nTextNo, ULONG& nHelpId, ULONG& nStyle,
                                  short& nMinor, short& nMajor) const;
    /// Releases a text handed out by the resource hooks (ZelEhDeleteString).
    virtual void FreeErrorText(char* pszText) const;
    /// @return a copy of the caption `nId` of the entry; null here.
    virtual char* GetCaptionText(void* pEntry, ULONG nId) const;
    /// Releases a caption from GetCaptionText() (ZelEhDeleteString).
    virtual void FreeCaptionText(char* pszText) const;
    /// Writes caption and text to standard error; window and style have no meaning there.
    virtual void ShowError(HWND hWnd, const char* pszCaption, const char* pszText,
                           ULONG nStyle) const;
    /// Reports on standard error an exception object that is destroyed a second time; its
    /// destructor then does not release the cause again.
    virtual void CheckBeforeDelete();

public:
    /// @return the source unit that converted the error, such as `.\ZelRegistrySet`; empty
    ///         when none was given.
    const char* GetSourceName() const;
    /// @return the class that converted the error; empty when none was given.
    const char* GetClassText() const;
    /// @return the method that converted the error; empty when none was given.
    const char* GetMethodText() const;
    /// @return the closing text of the conversion; empty when none was given.
    const char* GetClosingText() const;
    /// @return the exception that led to this one, still owned by this exception; null when
    ///         there is none.
    CException* GetCause() const;

    /// Writes this exception's whole entry, its causes included, to the log: the entry starts
    /// at the log's current indentation, which is in force again afterwards.
    void WriteLog(ZelEhLogFile& log) const;

protected:
    /// `pszSource`, `pszClass`, `pszMethod`, `pszClosing`: static texts naming where the
    /// error was caught. `nErrorNo`: the error number; `nTextNo` and `nSubNo`: text number
    /// and sub-number of the error's description. `pCause`: the exception that led to this
    /// one; with `bOwnCause` it is released with this exception. `nHelpContext`: help context
    /// of the report. `bReport`: whether ReportError() writes the report at all.
    ZelEhBasis(const char* pszSource, const char* pszClass, const char* pszMethod,
               const char* pszClosing, DWORD nErrorNo, DWORD nTextNo, DWORD nSubNo,
               CException* pCause, BOOL bOwnCause, DWORD nHelpContext, BOOL bReport);

private:
    int Report(const char* pszObject, const char* pszText, UINT nType);
    CString ReportCaption() const;
    void AppendToLogFile(const char* pszCaption, const char* pszText) const;
    void LogCause(ZelEhLogFile& log) const;

    const char* m_pszSource;
    const char* m_pszClass;
    const char* m_pszMethod;
    const char* m_pszClosing;
    ULONG m_nErrorNo;
    ULONG m_nTextNo;
    ULONG m_nSubNo;
    CException* m_pCause;
    BOOL m_bOwnCause;
    DWORD m_nHelpContext;
    BOOL m_bReport;
    uint32_t m_nLifeTag;  // tells a living object from a destroyed one
};
