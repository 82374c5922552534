// The language library: which module holds the language-dependent resources, and a scope
// that makes it the current resource module.
#pragma once

#include <mutex>

#include "../afx/ZelAfx.h"

/// The process's one publisher of the language-dependent resource module, which holds the
/// texts of the library's errors. It starts with no module and an empty name; the program
/// announces its module with SetLangDependentResource(). All operations may be called from
/// any thread.
class ZEL_LANG_API ZelLanguagePublisher {
public:
    /// @return the publisher, never null; it lives until the process ends.
    static ZelLanguagePublisher* PASCAL Instance();

    /// @return the module announced, or null.
    HINSTANCE GetLangDependentResource() const;
    /// @return the module's name: a copy sharing the publisher's text, whose GetString()
    ///         stays valid, even after the copy is gone, for as long as the publisher holds
    ///         that name.
    CString GetLangDependentResourceName() const;
    /// Announces the module and its name; a null name counts as empty.
    /// @throws CMemoryException* (changing nothing) when the name cannot be stored.
    void SetLangDependentResource(HINSTANCE hModule, const char* pszName);

    ZelLanguagePublisher(const ZelLanguagePublisher&) = delete;             ///< The one publisher.
    ZelLanguagePublisher& operator=(const ZelLanguagePublisher&) = delete;  ///< The one publisher.

private:
    ZelLanguagePublisher();

    mutable std::mutex m_mutex;
    HINSTANCE m_hModule;
    CString m_strName;
};

/// While it lives, a module is the current resource module of the process
/// (AfxGetResourceHandle()); the previous one comes back when it ends, also when an
/// exception unwinds its scope.
class ZEL_LANG_API ZelLanguageResManager {
public:
    /// Makes `hModule` the current resource module.
    explicit ZelLanguageResManager(HINSTANCE hModule);
    ZelLanguageResManager(const ZelLanguageResManager&) = delete;             ///< A scope, not copyable.
    ZelLanguageResManager& operator=(const ZelLanguageResManager&) = delete;  ///< A scope, not copyable.
    /// Makes the previous resource module current again.
    virtual ~ZelLanguageResManager();

private:
    HINSTANCE m_hPrevious;
};
