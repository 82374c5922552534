#include "RegTransaction.h"

namespace zelregtool {

const char* const kNoTransactionsWarning =
    "WARNING: This system's registry has no transactions: the changes are made one by one, and a "
    "failure leaves those made before it.\n";

RegTransaction::RegTransaction(HKEY root) : handle_(CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        status_ = static_cast<LONG>(GetLastError());
        if (status_ == ERROR_CALL_NOT_IMPLEMENTED) status_ = ERROR_SUCCESS;
        return;
    }
    // Opening the root in the transaction changes nothing and tells whether the registry takes
    // part. (RegOpenKeyTransactedA is not asked: Wine lacks it altogether.)
    HKEY key = nullptr;
    const LONG status = RegCreateKeyTransactedA(root, "", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                                                nullptr, handle_, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    if (status == ERROR_CALL_NOT_IMPLEMENTED) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    } else {
        status_ = status;
    }
}

RegTransaction::~RegTransaction() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

LONG RegTransaction::Commit() {
    if (!Transacted()) return status_;
    return CommitTransaction(handle_) ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
}

}  // namespace zelregtool
