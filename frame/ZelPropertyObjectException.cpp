#include "ZelPropertyObjectException.h"

IMPLEMENT_DYNAMIC(ZelPropertyObjectException, ZelEhBasis)

namespace {
// Entries that describe this library's errors in the language-dependent resource module.
constexpr DWORD kResIdTextInfo = 321;
constexpr DWORD kResIdCaption = 322;
}  // namespace

ZelPropertyObjectException::ZelPropertyObjectException(
    CException* pCause, BOOL bCauseFlag, const char* pszSource, const char* pszClass,
    const char* pszMethod, const char* pszClosing, DWORD nErrorNo, DWORD nTextNo, DWORD nSubNo,
    const char* pszAdditional, DWORD nHelpContext, BOOL bReport)
    : ZelEhBasis(pszSource, pszClass, pszMethod, pszClosing, nErrorNo, nTextNo, nSubNo, pCause,
                 bCauseFlag, nHelpContext, bReport),
      m_pszAdditional(nullptr) {
    // An exception must come into being even when its extra text cannot be copied: the
    // error it reports matters more than the text.
    char* pszCopy = nullptr;
    try {
        if (pszAdditional) pszCopy = ZelEhCopyString(pszAdditional);
        m_pszAdditional = pszCopy;
    } catch (CException* e) {
        ZelEhDeleteString(pszCopy);
        e->Delete();
    } catch (...) {
        ZelEhDeleteString(pszCopy);
    }
}

ZelPropertyObjectException::~ZelPropertyObjectException() {
    try {
        CheckBeforeDelete();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    ZelEhDeleteString(m_pszAdditional);
    m_pszAdditional = nullptr;
}

void ZelPropertyObjectException::Log(ZelEhLogFile& log) const {
    try {
        log << "Fehlerart: ZelPropertyObjectException" << "\r\n";
        log.SetBlanks(6);
        ZelEhBasis::Log(log);
        log << "Weitere Informationen:" << (m_pszAdditional ? m_pszAdditional : "") << "\r\n";
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

const char* ZelPropertyObjectException::GetResourceModulname() const {
    // The returned copy shares its buffer with the publisher's, so its text stays valid
    // while the publisher keeps that name.
    try {
        return ZelLanguagePublisher::Instance()->GetLangDependentResourceName().GetString();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return nullptr;
}

DWORD ZelPropertyObjectException::GetResIdForTextInfo() const { return kResIdTextInfo; }

DWORD ZelPropertyObjectException::GetResIdForCaption() const { return kResIdCaption; }
