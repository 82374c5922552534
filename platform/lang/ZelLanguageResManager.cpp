#include "ZelLanguage.h"

ZelLanguageResManager::ZelLanguageResManager(HINSTANCE hModule)
    : m_hPrevious(AfxGetResourceHandle()) {
    AfxSetResourceHandle(hModule);
}

ZelLanguageResManager::~ZelLanguageResManager() { AfxSetResourceHandle(m_hPrevious); }
