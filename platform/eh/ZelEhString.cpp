#include "ZelEhString.h"

#include <cstring>

char* AFXAPI ZelEhCopyString(const char* psz) {
    if (psz == nullptr) return nullptr;
    const size_t nSize = std::strlen(psz) + 1;
    // The framework's heap, so that exhaustion reaches the caller as CMemoryException*.
    char* pszCopy = static_cast<char*>(AfxAllocMemory(nSize));
    std::memcpy(pszCopy, psz, nSize);
    return pszCopy;
}

void AFXAPI ZelEhDeleteString(char* psz) noexcept { AfxFreeMemory(psz); }
