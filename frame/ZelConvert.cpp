#include "ZelConvert.h"

#include <new>

#include "ZelPropertyObjectException.h"

namespace {

[[noreturn]] void Convert(CException* pCaught, const char* pszSource, const char* pszClass,
                          const char* pszMethod, const char* pszClosing, DWORD nErrorNo) {
    void* pStorage = nullptr;
    try {
        pStorage = ZelPropertyObjectException::operator new(sizeof(ZelPropertyObjectException));
    } catch (CException* pFailed) {
        // No room for the wrapper: hand on what was caught, unconverted, rather than lose it.
        pFailed->Delete();
        throw pCaught;
    }
    ZelPropertyObjectException* pNew = nullptr;
    try {
        pNew = ::new (pStorage) ZelPropertyObjectException(pCaught, TRUE, pszSource, pszClass,
                                                           pszMethod, pszClosing, nErrorNo, 0, 0,
                                                           nullptr, 0, TRUE);
    } catch (...) {
        // A failing constructor's own exception leaves in place of the new one.
        ZelPropertyObjectException::operator delete(pStorage);
        throw;
    }
    throw pNew;
}

}  // namespace

void ZelConvertException(CException* pCaught, const char* pszSource, const char* pszClass,
                         const char* pszMethod, const char* pszClosing) {
    Convert(pCaught, pszSource, pszClass, pszMethod, pszClosing, ZEL_CONVERTED);
}

void ZelConvertMemoryException(CException* pCaught, const char* pszSource, const char* pszClass,
                               const char* pszMethod, const char* pszClosing) {
    Convert(pCaught, pszSource, pszClass, pszMethod, pszClosing, ZEL_CONVERTED_MEMORY);
}
