#include <new>

#include "ZelLanguage.h"

ZelLanguagePublisher::ZelLanguagePublisher() : m_hModule(nullptr) {}

ZelLanguagePublisher* PASCAL ZelLanguagePublisher::Instance() {
    // Built in place on first use (thread-safe, as every function-local static) and never
    // destroyed: objects with static storage in other modules may ask for the name while the
    // process ends, after this module's statics would have been destroyed. Left alive, it
    // also keeps the promise that a name's text stays valid while the publisher holds it.
    alignas(ZelLanguagePublisher) static unsigned char s_storage[sizeof(ZelLanguagePublisher)];
    static ZelLanguagePublisher* const s_pInstance =
        ::new (static_cast<void*>(s_storage)) ZelLanguagePublisher();
    return s_pInstance;
}

HINSTANCE ZelLanguagePublisher::GetLangDependentResource() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hModule;
}

CString ZelLanguagePublisher::GetLangDependentResourceName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strName;
}

void ZelLanguagePublisher::SetLangDependentResource(HINSTANCE hModule, const char* pszName) {
    // The copy is made before the lock: if it fails, module and name stay as they were.
    const CString strName(pszName);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hModule = hModule;
    m_strName = strName;
}
