// A failure the library detects itself (empty key, duplicate child, value of the other type).
// It never leaves an operation unconverted: callers see it only as the cause of a
// ZelPropertyObjectException, and look into it there (its runtime class, dynamic_cast), so
// the class is exported with its runtime class record and type information.
#pragma once

#include "ZelPlatform.h"

class ZEL_OFSET_API ZelPropertyLocalException : public CException {
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
    ZEL_LOCAL_NO_KEY = 2804,         // a key to watch that does not exist
    ZEL_LOCAL_WATCH_REFUSED = 2805,  // a key the registry could not watch
};
