// Base exception class of the error-handling library: keeps an error's texts and numbers,
// owns its cause, and logs, reports and shows the error.
#pragma once

#include <cstdint>

#include "../afx/ZelAfx.h"
#include "ZelEhLogFile.h"

enum ZelEhLogfileStyle : int32_t {
    ZELEH_LOGFILE_NONE = 0,      // nothing is logged
    ZELEH_LOGFILE_APPEND = 1,    // entries are appended
    ZELEH_LOGFILE_OVERWRITE = 2  // each entry replaces the file
};

// Reports go to standard error (there is no message box); when GetLogFileInfos names a log
// file, they are appended to it as well. The stand-in keeps no resource texts: the resource
// hooks of the base find nothing, and a derived class may supply them (texts it hands out
// are copies made with ZelEhCopyString, which FreeErrorText and FreeCaptionText release).
class ZEL_EH_API ZelEhBasis : public CException {
    DECLARE_DYNAMIC(ZelEhBasis)
public:
    // Class-level heap: exceptions of this family are allocated with these operators.
    static void* PASCAL operator new(size_t nSize);
    static void PASCAL operator delete(void* p) noexcept;

    ~ZelEhBasis() override;

    // One line: the error number and the method (else the class, else the source).
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
    // Writes the report (a caption line and the logged chain); returns IDOK, or 0 when
    // nothing was reported because the report flag is FALSE or the report failed.
    // nMessageID is not used: the error always has a text of its own.
    int ReportError(UINT nType = MB_OK, UINT nMessageID = 0) override;

protected:
    // The error's own lines, then its cause's entry nested below them.
    virtual void Log(ZelEhLogFile& log) const;

public:
    // As ReportError, with the object's name and a text of the caller before the chain.
    virtual int ReportErrorOnObject(const char* pszObject, const char* pszText);
    virtual int ReportErrorOnObject(HWND hWnd, const char* pszText);
    virtual ULONG GetErrorTextNo() const;
    virtual void SetErrorTextNo(ULONG nTextNo);
    virtual ULONG GetErrorNo() const;
    virtual void SetErrorNo(ULONG nErrorNo);
    // The running program's file name, truncated to fit; FALSE without buffer or name.
    virtual BOOL GetApplication(char* pszBuffer, ULONG nSize) const;
    // The error log of the application: the file named by the environment variable
    // ZEL_EH_LOGFILE (pszPath must hold MAX_PATH characters), appended to without a size
    // limit (nMaxSize 0; otherwise a file that has reached nMaxSize bytes is started anew).
    // FALSE when no log file is configured or its path does not fit into MAX_PATH.
    virtual BOOL GetLogFileInfos(char* pszPath, ZelEhLogfileStyle& eStyle, ULONG& nMaxSize) const;
    virtual const char* GetResourceModulname() const;
    virtual DWORD GetResIdForTextInfo() const;
    virtual DWORD GetResIdForCaption() const;

protected:
    virtual HINSTANCE LoadResourceModule(const char* pszName) const;
    virtual void FreeResourceModule(HINSTANCE hModule) const;
    virtual void* GetResourceEntry(ULONG nId, HINSTANCE& hModule) const;
    virtual void FreeResourceEntry(void* pEntry) const;
    virtual BOOL GetErrorTextInfo(void* pEntry, ULONG nTextNo, ULONG& nHelpId, ULONG& nStyle,
                                  short& nMinor, short& nMajor) const;
    virtual void FreeErrorText(char* pszText) const;
    virtual char* GetCaptionText(void* pEntry, ULONG nId) const;
    virtual void FreeCaptionText(char* pszText) const;
    // Writes caption and text to standard error; window and style have no meaning there.
    virtual void ShowError(HWND hWnd, const char* pszCaption, const char* pszText,
                           ULONG nStyle) const;
    // Reports on standard error an exception object that is destroyed a second time; its
    // destructor then does not release the cause again.
    virtual void CheckBeforeDelete();

public:
    // What the error carries (the thrower's static texts themselves; null ones read as "").
    const char* GetSourceName() const;
    const char* GetClassText() const;
    const char* GetMethodText() const;
    const char* GetClosingText() const;
    CException* GetCause() const;  // still owned by this exception

    // Writes this exception's whole entry, its causes included, to the log: the entry starts
    // at the log's current indentation, which is in force again afterwards.
    void WriteLog(ZelEhLogFile& log) const;

protected:
    // pszSource, pszClass, pszMethod, pszClosing: static texts naming where the error was
    // caught. nErrorNo: the error number; nTextNo and nSubNo: text number and sub-number of
    // the error's description. pCause: the exception that led to this one; with bOwnCause
    // it is released with this exception. nHelpContext: help context of the report.
    // bReport: whether ReportError writes the report at all.
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
