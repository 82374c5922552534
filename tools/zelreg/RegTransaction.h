// A registry transaction of the tool's: the store's on Linux, the kernel transaction manager's
// on Windows. What is done in it changes nothing until Commit(), and is dropped if the
// transaction goes without one.
#pragma once

#include "Registry.h"

namespace zelregtool {

class RegTransaction {
public:
    // Begins a transaction for changes below `root`. Where the system's registry takes part in
    // none (Wine's answers ERROR_CALL_NOT_IMPLEMENTED), there is no transaction: get() is null
    // and the changes are made one by one as they come.
    explicit RegTransaction(HKEY root);
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;
    // Closing the handle of a transaction not committed rolls it back.
    ~RegTransaction();

    // ERROR_SUCCESS, or why no transaction could be begun.
    LONG Status() const { return status_; }
    bool Transacted() const { return status_ == ERROR_SUCCESS && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return Transacted() ? handle_ : nullptr; }

    // ERROR_SUCCESS, or why nothing was applied (a conflicting change by another program, a
    // full disk, ...). Without a transaction there is nothing left to apply.
    LONG Commit();

private:
    HANDLE handle_;
    LONG status_ = ERROR_SUCCESS;
};

// Said once, before the first change, where changes cannot be made in one transaction.
extern const char* const kNoTransactionsWarning;

}  // namespace zelregtool
