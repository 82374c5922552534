// A registry transaction of the tool's: the store's on Linux, the kernel transaction manager's
// on Windows. What is done in it changes nothing until Commit(), and is dropped if the
// transaction goes without one.
#pragma once

#include "Registry.h"

namespace zelregtool {

class RegTransaction {
public:
    RegTransaction() : handle_(CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr)) {}
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;
    ~RegTransaction() {
        if (Started()) CloseHandle(handle_);
    }

    // False when none could be made (GetLastError() says why).
    bool Started() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

    // ERROR_SUCCESS, or why nothing was applied (a conflicting change by another program, a
    // full disk, ...).
    LONG Commit() { return CommitTransaction(handle_) ? ERROR_SUCCESS : static_cast<LONG>(GetLastError()); }

private:
    HANDLE handle_;
};

}  // namespace zelregtool
