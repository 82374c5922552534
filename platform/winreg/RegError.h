// Failures inside the store travel as exceptions carrying the Win32 status the caller gets;
// every exported function turns them back into its return value.
#pragma once

#include "../win32/ZelWinTypes.h"

namespace zelreg {

// Status codes the store returns that the shared type header does not name.
constexpr LONG kErrorCallNotImplemented = 120;

struct RegError {
    LONG status;
};

// Another connection holds the lock for longer than the busy timeout; the caller retries the
// whole transaction.
struct BusyError {};

[[noreturn]] inline void Fail(LONG status) { throw RegError{status}; }

}  // namespace zelreg
