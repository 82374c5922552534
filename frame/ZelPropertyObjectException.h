// The one exception class through which the library reports every failure.
#pragma once

#include "ZelPlatform.h"

class ZEL_OFSET_API ZelPropertyObjectException : public ZelEhBasis {
    DECLARE_DYNAMIC(ZelPropertyObjectException)
public:
    // pCause: the exception caught, which this one then owns (bCauseFlag). nErrorNo is the
    // conversion number; nTextNo, nSubNo, nHelpContext and bReport go to the base as they
    // are. pszAdditional is copied; null for none.
    ZelPropertyObjectException(CException* pCause, BOOL bCauseFlag, const char* pszSource,
                               const char* pszClass, const char* pszMethod,
                               const char* pszClosing, DWORD nErrorNo, DWORD nTextNo,
                               DWORD nSubNo, const char* pszAdditional, DWORD nHelpContext,
                               BOOL bReport);
    ~ZelPropertyObjectException() override;

    void Log(ZelEhLogFile& log) const override;
    const char* GetResourceModulname() const override;
    DWORD GetResIdForTextInfo() const override;
    DWORD GetResIdForCaption() const override;

    // The additional text, or null.
    const char* GetAdditionalText() const { return m_pszAdditional; }

private:
    char* m_pszAdditional;
};
