// How a ZelEhBasis tells about itself: its one-line message, its report and the log file.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>

#include "ZelEhBasis.h"
#include "ZelEhProgram.h"

namespace {

constexpr const char* kLogFileVariable = "ZEL_EH_LOGFILE";

// Copies as much of the text as fits, always terminated.
void CopyTruncated(char* pszBuffer, size_t nSize, const std::string& strText) {
    const size_t nCopy = std::min(strText.size(), nSize - 1);
    std::memcpy(pszBuffer, strText.data(), nCopy);
    pszBuffer[nCopy] = '\0';
}

}  // namespace

BOOL ZelEhBasis::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext != nullptr) *pnHelpContext = m_nHelpContext;
    if (lpszError == nullptr || nMaxError == 0) return FALSE;
    std::string strMessage = "Fehler " + std::to_string(m_nErrorNo);
    for (const char* pszWhere : {m_pszMethod, m_pszClass, m_pszSource}) {
        if (pszWhere != nullptr && *pszWhere != '\0') {
            strMessage += std::string(" in ") + pszWhere;
            break;
        }
    }
    CopyTruncated(lpszError, nMaxError, strMessage);
    return TRUE;
}

int ZelEhBasis::ReportError(UINT nType, UINT) { return Report(nullptr, nullptr, nType); }

int ZelEhBasis::ReportErrorOnObject(const char* pszObject, const char* pszText) {
    return Report(pszObject, pszText, MB_OK);
}

// Without windows, a window names no object: the report carries only the text.
int ZelEhBasis::ReportErrorOnObject(HWND, const char* pszText) {
    return Report(nullptr, pszText, MB_OK);
}

int ZelEhBasis::Report(const char* pszObject, const char* pszText, UINT nType) {
    if (!m_bReport) return 0;
    // A report is the last thing done with an error; failing to make one must not raise another.
    try {
        std::ostringstream text;
        {
            ZelEhLogFile log(text);
            if (pszObject != nullptr && *pszObject != '\0') {
                log << "Objekt: " << pszObject << "\r\n";
            }
            if (pszText != nullptr && *pszText != '\0') log << pszText << "\r\n";
            WriteLog(log);
        }
        const CString strCaption = ReportCaption();
        const std::string strText = text.str();
        ShowError(nullptr, strCaption, strText.c_str(), nType);
        AppendToLogFile(strCaption, strText.c_str());
        return IDOK;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return 0;
}

CString ZelEhBasis::ReportCaption() const {
    CString strCaption;
    HINSTANCE hModule = LoadResourceModule(GetResourceModulname());
    if (hModule != nullptr) {
        const DWORD nId = GetResIdForCaption();
        if (void* pEntry = GetResourceEntry(nId, hModule)) {
            if (char* pszCaption = GetCaptionText(pEntry, nId)) {
                strCaption = pszCaption;
                FreeCaptionText(pszCaption);
            }
            FreeResourceEntry(pEntry);
        }
        FreeResourceModule(hModule);
    }
    if (strCaption.IsEmpty()) {
        char szApplication[MAX_PATH];
        strCaption = GetApplication(szApplication, MAX_PATH) ? CString("Fehler in ") + szApplication
                                                              : CString("Fehler");
    }
    return strCaption;
}

void ZelEhBasis::ShowError(HWND, const char* pszCaption, const char* pszText, ULONG) const {
    std::cerr << (pszCaption != nullptr ? pszCaption : "") << "\r\n"
              << (pszText != nullptr ? pszText : "") << std::flush;
}

void ZelEhBasis::AppendToLogFile(const char* pszCaption, const char* pszText) const {
    char szPath[MAX_PATH] = "";
    ZelEhLogfileStyle eStyle = ZELEH_LOGFILE_NONE;
    ULONG nMaxSize = 0;
    if (!GetLogFileInfos(szPath, eStyle, nMaxSize) || eStyle == ZELEH_LOGFILE_NONE) return;
    bool bAppend = eStyle == ZELEH_LOGFILE_APPEND;
    if (bAppend && nMaxSize > 0) {
        std::error_code ec;
        const auto nSize = std::filesystem::file_size(szPath, ec);
        if (!ec && nSize >= nMaxSize) bAppend = false;
    }
    ZelEhLogFile log(szPath, bAppend ? TRUE : FALSE);
    if (!log.IsOpen()) {
        std::cerr << "Fehlerprotokoll " << szPath << " kann nicht geoeffnet werden\r\n"
                  << std::flush;
        return;
    }
    log << pszCaption << "\r\n" << pszText;
}

BOOL ZelEhBasis::GetApplication(char* pszBuffer, ULONG nSize) const {
    if (pszBuffer == nullptr || nSize == 0) return FALSE;
    const std::string strName = ZelEhProgramName();
    CopyTruncated(pszBuffer, nSize, strName);
    return strName.empty() ? FALSE : TRUE;
}

BOOL ZelEhBasis::GetLogFileInfos(char* pszPath, ZelEhLogfileStyle& eStyle, ULONG& nMaxSize) const {
    eStyle = ZELEH_LOGFILE_NONE;
    nMaxSize = 0;
    const char* pszConfigured = std::getenv(kLogFileVariable);
    if (pszPath == nullptr || pszConfigured == nullptr || *pszConfigured == '\0' ||
        std::strlen(pszConfigured) >= MAX_PATH) {
        return FALSE;
    }
    std::strcpy(pszPath, pszConfigured);
    eStyle = ZELEH_LOGFILE_APPEND;
    return TRUE;
}
