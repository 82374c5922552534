// The end-of-method convention: an operation runs its body in one try block; whatever
// framework exception arrives at its end is wrapped in a new ZelPropertyObjectException that
// names the source unit, the class and the method, and is thrown on. Exceptions that are not
// framework exceptions pass unchanged.
#pragma once

#include "ZelPlatform.h"

// Conversion numbers.
enum : DWORD {
    ZEL_CONVERTED = 1001,         // any failure caught at the end of an operation
    ZEL_CONVERTED_MEMORY = 1002,  // memory exhaustion, where the operation tells it apart
};

// Closing text of the operations with one catch clause; those with two pass "".
constexpr const char* kZelCatchAtEndText = "Catch am Methodenende";

[[noreturn]] void ZelConvertException(CException* pCaught, const char* pszSource,
                                      const char* pszClass, const char* pszMethod,
                                      const char* pszClosing);
[[noreturn]] void ZelConvertMemoryException(CException* pCaught, const char* pszSource,
                                            const char* pszClass, const char* pszMethod,
                                            const char* pszClosing);

// Where an operation lives, as its error texts name it.
struct ZelSite {
    const char* source;  // ".\Unit" or ".\Imp\UnitI"
    const char* cls;
    const char* method;
};

struct ZelNoCleanup {
    void operator()() const noexcept {}
};

// One catch clause for CException*: the general conversion with "Catch am Methodenende".
// The clean-up runs before the conversion.
template <class Body, class Cleanup = ZelNoCleanup>
decltype(auto) ZelCatchAtEnd(const ZelSite& site, Body&& body, Cleanup&& cleanup = {}) {
    try {
        return body();
    } catch (CException* e) {
        cleanup();
        ZelConvertException(e, site.source, site.cls, site.method, kZelCatchAtEndText);
    }
}

// Two catch clauses: memory exhaustion first (number 1002), then any other framework
// exception (1001); both with the empty closing text.
template <class Body, class Cleanup = ZelNoCleanup>
decltype(auto) ZelCatchAtEndTellingMemory(const ZelSite& site, Body&& body, Cleanup&& cleanup = {}) {
    try {
        return body();
    } catch (CMemoryException* e) {
        cleanup();
        ZelConvertMemoryException(e, site.source, site.cls, site.method, "");
    } catch (CException* e) {
        cleanup();
        ZelConvertException(e, site.source, site.cls, site.method, "");
    }
}
