#include "ZelRegistryTransaction.h"

#include <new>
#include <utility>

#include "Imp/ZelKeyPath.h"
#include "ZelRegistryBase.h"

namespace {

// The access the library's own writes open their keys with.
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// What the location's own key creation answers before it reaches the registry, and so what its
// Write would meet: ERROR_NO_DATA for an object without its state, ERROR_ACCESS_DENIED for a
// write-protected location, ERROR_SUCCESS otherwise. A plain copy of the location is asked, so
// that no override takes part; its CreateKey refuses the empty name right after those two
// checks and touches nothing.
LONG WriteRefusal(const ZelRegistryBase& Location) {
    // Comparison holds exactly when both sides have their state.
    if (!(Location == Location)) return ERROR_NO_DATA;
    ZelRegistryBase probe(Location);
    HKEY hKey = nullptr;
    const LONG lStatus =
        probe.CreateKey(hKey, nullptr, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, nullptr);
    return lStatus == ERROR_ACCESS_DENIED ? lStatus : ERROR_SUCCESS;
}

}  // namespace

ZelRegistryTransaction::ZelRegistryTransaction(const ZelRegistryBase& Location)
    : ZelRegistryTransaction(Location, nullptr) {}

ZelRegistryTransaction::ZelRegistryTransaction(const ZelRegistryBase& Location, LPCTSTR pszSubKey)
    : m_hTransaction(nullptr), m_hKey(nullptr), m_lStatus(ERROR_SUCCESS) {
    LONG lStatus = ERROR_NOT_ENOUGH_MEMORY;
    try {
        lStatus = Open(Location, pszSubKey);
    } catch (CException* e) {
        // Copying the location and composing the key's path can only run out of memory.
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    if (lStatus != ERROR_SUCCESS) Close(lStatus);
}

ZelRegistryTransaction::~ZelRegistryTransaction() { Rollback(); }

ZelRegistryTransaction::ZelRegistryTransaction(ZelRegistryTransaction&& other) noexcept
    : m_hTransaction(std::exchange(other.m_hTransaction, nullptr)),
      m_hKey(std::exchange(other.m_hKey, nullptr)),
      m_lStatus(std::exchange(other.m_lStatus, ERROR_INVALID_HANDLE)) {}

ZelRegistryTransaction& ZelRegistryTransaction::operator=(ZelRegistryTransaction&& other) noexcept {
    if (this != &other) {
        Rollback();
        m_hTransaction = std::exchange(other.m_hTransaction, nullptr);
        m_hKey = std::exchange(other.m_hKey, nullptr);
        m_lStatus = std::exchange(other.m_lStatus, ERROR_INVALID_HANDLE);
    }
    return *this;
}

HKEY ZelRegistryTransaction::Key() const { return m_hKey; }

LONG ZelRegistryTransaction::Status() const { return m_lStatus; }

// The path is joined as the primitives join a name to a location's path, so the key is the one
// a Write with a null handle reaches. Where such a Write gets nowhere, the transaction does not
// begin: a path that stays empty would name HKEY_CURRENT_USER itself, and one that begins with a
// backslash (a location without a path) is refused by the registry with ERROR_BAD_PATHNAME.
LONG ZelRegistryTransaction::Open(const ZelRegistryBase& Location, LPCTSTR pszSubKey) {
    if (const LONG lRefusal = WriteRefusal(Location)) return lRefusal;
    CString strKey = Location.GetRegistryPath();
    ZelStripOuterBackslash(strKey);
    CString strSubKey(pszSubKey);
    if (!strSubKey.IsEmpty()) {
        ZelStripOuterBackslash(strSubKey);
        strKey = strKey + '\\' + strSubKey;
    }
    if (strKey.IsEmpty() || strKey[0] == '\\') return ERROR_BAD_PATHNAME;
    m_hTransaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    if (m_hTransaction == INVALID_HANDLE_VALUE) {
        m_hTransaction = nullptr;
        return static_cast<LONG>(GetLastError());
    }
    return RegCreateKeyTransactedA(HKEY_CURRENT_USER, strKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite,
                                   nullptr, &m_hKey, nullptr, m_hTransaction, nullptr);
}

LONG ZelRegistryTransaction::Commit() {
    if (m_lStatus != ERROR_SUCCESS) return m_lStatus;
    RegCloseKey(std::exchange(m_hKey, nullptr));
    if (CommitTransaction(m_hTransaction)) {
        Close(ERROR_TRANSACTION_ALREADY_COMMITTED);
        return ERROR_SUCCESS;
    }
    const LONG lStatus = static_cast<LONG>(GetLastError());
    // Whatever stopped the commit, nothing of the transaction may stay pending.
    RollbackTransaction(m_hTransaction);
    Close(ERROR_TRANSACTION_ALREADY_ABORTED);
    return lStatus;
}

LONG ZelRegistryTransaction::Rollback() {
    if (m_lStatus != ERROR_SUCCESS) return m_lStatus;
    const LONG lStatus = RollbackTransaction(m_hTransaction) ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
    Close(ERROR_TRANSACTION_ALREADY_ABORTED);
    return lStatus;
}

void ZelRegistryTransaction::Close(LONG lStatus) noexcept {
    if (m_hKey != nullptr) RegCloseKey(std::exchange(m_hKey, nullptr));
    if (m_hTransaction != nullptr) CloseHandle(std::exchange(m_hTransaction, nullptr));
    m_lStatus = lStatus;
}
