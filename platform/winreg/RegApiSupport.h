// What every exported registry function shares: turning failures into status codes, checking
// handle rights, handing out new key handles, and the string-type NUL rules.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "RegError.h"
#include "Store.h"
#include "Transaction.h"

namespace zelreg {

// Runs the body of an exported function: no exception ever crosses the C boundary.
template <class Body>
LONG Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const RegError& e) {
        return e.status;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

inline void RequireAccess(const KeyRef& ref, REGSAM right) {
    if ((ref.handle->access & right) != right) Fail(ERROR_ACCESS_DENIED);
}

inline HKEY NewKeyHandle(HiveKind hive, int64_t key, REGSAM access, int64_t depth,
                         std::shared_ptr<Transaction> tx = nullptr) {
    const uintptr_t value =
        Store::Get().handles().Add(std::make_shared<KeyHandle>(hive, key, access, depth, std::move(tx)));
    return reinterpret_cast<HKEY>(value);
}

// Runs body(Transaction&, Connection&) for a call in `tx` on the hive of `ref`: within a read
// transaction of the hive (what the transaction has not changed is read from it), with the
// transaction's lock held, once the transaction is known to be usable.
template <class Body>
auto InTransaction(const KeyRef& ref, Transaction& tx, Body&& body) {
    return ref.hive->Read([&](Connection& db) {
        std::lock_guard<std::mutex> lock(tx.mutex());
        tx.Require(ref.handle->hive);
        return body(tx, db);
    });
}

inline bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies stored data to a caller's buffer known to be large enough. Like Windows, a string
// that was stored without its terminating NUL gets one after it when the buffer has room; the
// size reported stays the stored one.
inline void CopyData(DWORD type, std::string_view data, BYTE* buffer, DWORD bufferSize) {
    if (data.empty()) return;
    std::memcpy(buffer, data.data(), data.size());
    if (IsStringType(type) && data.back() != '\0' && bufferSize > data.size()) buffer[data.size()] = 0;
}

inline void StoreFileTime(int64_t value, FILETIME* out) {
    out->dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFF);
    out->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) >> 32);
}

// Copies a name and its NUL; the caller has checked that it fits.
inline void CopyName(std::string_view name, char* buffer) {
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
}

}  // namespace zelreg
