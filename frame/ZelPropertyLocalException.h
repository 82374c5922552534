// A failure the library detects itself (empty key, duplicate child, value of the other type).
// It never leaves an operation unconverted: callers see it only as the cause of a
// ZelPropertyObjectException.
#pragma once

#include "ZelPlatform.h"

class ZelPropertyLocalException : public CException {
    DECLARE_DYNCREATE(ZelPropertyLocalException)
public:
    explicit ZelPropertyLocalException(DWORD nLocalErrorNo);
    ~ZelPropertyLocalException() override;

    DWORD GetLocalErrorNo() const { return m_nLocalErrorNo; }

private:
    DWORD m_nLocalErrorNo;
};

// The library's local error numbers.
enum : DWORD {
    ZEL_LOCAL_EMPTY_KEY = 2801,
    ZEL_LOCAL_DUPLICATE_KEY = 2802,
    ZEL_LOCAL_WRONG_TYPE = 2803,
};

// Local errors are raised while the language-dependent resource module is the current
// resource module; the scope restores the previous one however it is left.
class ZelLocalErrorScope {
public:
    ZelLocalErrorScope();

private:
    ZelLanguageResManager m_resources;
};

// Throws a new local exception; call it inside a ZelLocalErrorScope.
[[noreturn]] void ZelRaiseLocalError(DWORD nLocalErrorNo);
