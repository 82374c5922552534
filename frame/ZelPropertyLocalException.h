// A failure the library detects itself (empty key, duplicate child, value of the other type).
// It never leaves an operation unconverted: callers see it only as the cause of a
// ZelPropertyObjectException, and look into it there (its runtime class, dynamic_cast), so
// the class is exported with its runtime class record and type information.
#pragma once

#include "ZelPlatform.h"

/// @file
/// The exception of the failures the library finds itself, and their numbers.

/// A failure the library finds itself: an empty key, a duplicate child, a value of the
/// other type.
///
/// It never leaves an operation unconverted: a program meets it only as the cause of a
/// ZelPropertyObjectException (conversion number 1001), at the end of the chain, and tells
/// it by its runtime class or with `dynamic_cast`. It has no text of its own.
class ZEL_OFSET_API ZelPropertyLocalException : public CException {
    DECLARE_DYNCREATE(ZelPropertyLocalException)
public:
    /// A local error with the given number, freed by Delete().
    explicit ZelPropertyLocalException(DWORD nLocalErrorNo);
    /// Destroys the exception.
    ~ZelPropertyLocalException() override;

    /// @return the local error number: ZEL_LOCAL_EMPTY_KEY, ZEL_LOCAL_DUPLICATE_KEY or
    ///         ZEL_LOCAL_WRONG_TYPE.
    DWORD GetLocalErrorNo() const { return m_nLocalErrorNo; }

private:
    DWORD m_nLocalErrorNo;
};

/// The library's local error numbers.
enum : DWORD {
    /// An item added or replaced with an empty key (AddItem(), Replace()).
    ZEL_LOCAL_EMPTY_KEY = 2801,
    /// An item added with the key of a child already there (AddItem(), and so Read()).
    ZEL_LOCAL_DUPLICATE_KEY = 2802,
    /// A property item asked for the value of the type it does not hold (GetString(),
    /// GetLong()).
    ZEL_LOCAL_WRONG_TYPE = 2803,
    ZEL_LOCAL_NO_KEY = 2804,         // a key to watch that does not exist
    ZEL_LOCAL_WATCH_REFUSED = 2805,  // a key the registry could not watch
};
