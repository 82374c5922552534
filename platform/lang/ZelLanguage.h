// The language library: which module holds the language-dependent resources, and a scope
// that makes it the current resource module.
#pragma once

#include <mutex>

#include "../afx/ZelAfx.h"

// The process's one publisher of the language-dependent resource module. It starts with no
// module and an empty name; the program announces its module with SetLangDependentResource.
// All operations may be called from any thread.
class ZEL_LANG_API ZelLanguagePublisher {
public:
    // Never null; the publisher lives until the process ends.
    static ZelLanguagePublisher* PASCAL Instance();

    HINSTANCE GetLangDependentResource() const;
    // A copy sharing the publisher's text: its GetString() stays valid, even after the copy
    // is gone, for as long as the publisher holds that name.
    CString GetLangDependentResourceName() const;
    // A null name counts as empty. Throws CMemoryException* (and changes nothing) when the
    // name cannot be stored.
    void SetLangDependentResource(HINSTANCE hModule, const char* pszName);

    ZelLanguagePublisher(const ZelLanguagePublisher&) = delete;
    ZelLanguagePublisher& operator=(const ZelLanguagePublisher&) = delete;

private:
    ZelLanguagePublisher();

    mutable std::mutex m_mutex;
    HINSTANCE m_hModule;
    CString m_strName;
};

// While it lives, hModule is the current resource module; the previous one comes back when
// it ends, also when an exception unwinds its scope.
class ZEL_LANG_API ZelLanguageResManager {
public:
    explicit ZelLanguageResManager(HINSTANCE hModule);
    ZelLanguageResManager(const ZelLanguageResManager&) = delete;
    ZelLanguageResManager& operator=(const ZelLanguageResManager&) = delete;
    virtual ~ZelLanguageResManager();

private:
    HINSTANCE m_hPrevious;
};
