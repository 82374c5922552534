// Registry transactions: CreateTransaction, CommitTransaction and RollbackTransaction (closing a
// transaction's handle with CloseHandle rolls it back), and the thread's last error, which
// these functions set as Windows' do. The transacted key functions are with the others in
// RegKeyApi.cpp.
#include <memory>

#include "RegApiSupport.h"
#include "Transaction.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

thread_local DWORD g_lastError = ERROR_SUCCESS;

std::shared_ptr<Transaction> FindTransaction(HANDLE handle) {
    return Store::Get().handles().GetTransaction(reinterpret_cast<uintptr_t>(handle));
}

BOOL Failed(DWORD status) {
    g_lastError = status;
    return FALSE;
}

// What ends a transaction that is over already: the status for either way it ended.
DWORD EndedStatus(Transaction::State state) {
    return state == Transaction::State::Committed ? ERROR_TRANSACTION_ALREADY_COMMITTED
                                                  : ERROR_TRANSACTION_ALREADY_ABORTED;
}

}  // namespace

DWORD WINAPI GetLastError(void) { return g_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { g_lastError = dwErrCode; }

// The security attributes, the unit of work (reserved), the isolation (reserved) and the
// description change nothing here. A timeout of 0 or INFINITE never ends the transaction.
HANDLE WINAPI CreateTransaction(LPSECURITY_ATTRIBUTES, LPGUID, DWORD CreateOptions, DWORD, DWORD, DWORD Timeout,
                                LPWSTR) {
    if (CreateOptions & ~DWORD{TRANSACTION_DO_NOT_PROMOTE}) {
        Failed(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        const auto timeout = std::chrono::milliseconds(Timeout == INFINITE ? 0 : Timeout);
        return reinterpret_cast<HANDLE>(Store::Get().handles().Add(std::make_shared<Transaction>(timeout)));
    } catch (...) {
        Failed(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

// All changes in one write transaction of the hive, as durable as a single call once this has
// returned. A failed commit (a conflict, a full disk, a read-only hive) changes nothing and ends
// the transaction as rolled back: its work has to be done again in a new one.
BOOL WINAPI CommitTransaction(HANDLE TransactionHandle) {
    const std::shared_ptr<Transaction> tx = FindTransaction(TransactionHandle);
    if (!tx) return Failed(ERROR_INVALID_HANDLE);
    std::optional<HiveKind> hive;
    {
        std::lock_guard<std::mutex> lock(tx->mutex());
        if (!tx->OfThisProcess()) return Failed(ERROR_INVALID_TRANSACTION);
        if (tx->state() != Transaction::State::Active) return Failed(EndedStatus(tx->state()));
        hive = tx->hive();
    }
    LONG status = ERROR_SUCCESS;
    if (hive) {
        status = Guarded([&]() -> LONG {
            // The hive's lock comes before the transaction's, as in every call.
            return Store::Get().GetHive(*hive).Write([&](Connection& db, ChangeSet& changes) -> LONG {
                std::lock_guard<std::mutex> lock(tx->mutex());
                if (tx->state() != Transaction::State::Active) return static_cast<LONG>(EndedStatus(tx->state()));
                tx->Apply(db, changes);
                return ERROR_SUCCESS;
            });
        });
    }
    std::lock_guard<std::mutex> lock(tx->mutex());
    if (tx->state() != Transaction::State::Active) return Failed(EndedStatus(tx->state()));
    tx->End(status == ERROR_SUCCESS ? Transaction::State::Committed : Transaction::State::RolledBack);
    return status == ERROR_SUCCESS ? TRUE : Failed(static_cast<DWORD>(status));
}

BOOL WINAPI RollbackTransaction(HANDLE TransactionHandle) {
    const std::shared_ptr<Transaction> tx = FindTransaction(TransactionHandle);
    if (!tx) return Failed(ERROR_INVALID_HANDLE);
    std::lock_guard<std::mutex> lock(tx->mutex());
    if (!tx->OfThisProcess()) return Failed(ERROR_INVALID_TRANSACTION);
    if (tx->state() != Transaction::State::Active) return Failed(EndedStatus(tx->state()));
    tx->End(Transaction::State::RolledBack);
    return TRUE;
}
