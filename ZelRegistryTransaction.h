// A registry transaction over a location: writes made through its key land all together when
// it commits, or not at all.
#pragma once

#include "frame/ZelPlatform.h"

class ZelRegistryBase;

/// A registry transaction over a location: writes made through its key land all together when
/// it commits, or not at all.
///
/// The Write operations of the settings classes do not look at the status of a single value
/// they write: a tree written halfway (a full disk, a refused value, the program killed in the
/// middle) leaves part of it in the registry, and the caller is not told. Written through a
/// transaction, the same Write is checked and whole: nothing of it is seen by anybody else
/// until Commit(), and Commit()'s status says whether all of it landed.
///
/// \code
/// ZelRegistryTransaction transaction(location);
/// settings.Write(transaction.Key(), nullptr);    // any Write(pHandle, szKey), any primitive
/// if (transaction.Commit() != ERROR_SUCCESS) ... // nothing of it landed
/// \endcode
///
/// The key is the location's own key in HKEY_CURRENT_USER (the key below which the location's
/// Write with a null handle writes; the local-machine flag does not choose it, as it does not
/// there), or a key below it, created within the transaction when it is missing. Every key
/// opened or created below Key() belongs to the transaction as well, with any function, so the
/// nested keys of a tree are written in it. The Win32 transaction functions do the work on
/// every platform: the system's (the kernel transaction manager) on Windows, the registry
/// store's elsewhere.
///
/// What counts as a conflict, and when the registry answers ERROR_TRANSACTIONAL_CONFLICT, is
/// the registry's; README.md tells it for the registry store.
///
/// Nothing here throws: a transaction that cannot be opened has a null Key() and tells why in
/// Status(), as the primitives report through their results.
class ZEL_OFSET_API ZelRegistryTransaction {
public:
    /// Opens the location's key in a new transaction.
    explicit ZelRegistryTransaction(const ZelRegistryBase& Location);
    /// Opens the key pszSubKey below the location's key (an empty or null name: the location's
    /// key itself); one backslash at either end of it is dropped, as the primitives drop it.
    ZelRegistryTransaction(const ZelRegistryBase& Location, LPCTSTR pszSubKey);
    /// Rolls back whatever was not committed and closes the key and the transaction.
    ~ZelRegistryTransaction();

    /// One transaction, one owner: it can be handed on, not copied. A moved-from object holds
    /// nothing, and its Status() is ERROR_INVALID_HANDLE.
    ZelRegistryTransaction(ZelRegistryTransaction&& other) noexcept;
    /// Rolls back this object's own transaction, if it is open, and takes over `other`'s;
    /// `other` holds nothing then, and its Status() is ERROR_INVALID_HANDLE.
    ZelRegistryTransaction& operator=(ZelRegistryTransaction&& other) noexcept;
    ZelRegistryTransaction(const ZelRegistryTransaction&) = delete;
    ZelRegistryTransaction& operator=(const ZelRegistryTransaction&) = delete;

    /// The key to pass as pHandle to Write, Read, Delete and the primitives, and to the
    /// registry functions; it stays the transaction's: do not close it. Null when the
    /// transaction is not open.
    HKEY Key() const;

    /// ERROR_SUCCESS while the transaction is open. Otherwise why Key() is null, which is also
    /// what Commit and Rollback answer from then on:
    ///   opening failed: ERROR_ACCESS_DENIED (5) for a write-protected location, ERROR_NO_DATA
    ///     (232) for a location object without its state, ERROR_BAD_PATHNAME (161) for a
    ///     location without a path, ERROR_NOT_ENOUGH_MEMORY (8), or what CreateTransaction or
    ///     RegCreateKeyTransactedA answered (ERROR_DISK_FULL (112) on a full disk, ...);
    ///   ended: ERROR_TRANSACTION_ALREADY_COMMITTED (6705) after Commit succeeded,
    ///     ERROR_TRANSACTION_ALREADY_ABORTED (6704) after Rollback or a Commit that failed.
    LONG Status() const;

    /// Applies everything written through the transaction at once and ends it: ERROR_SUCCESS
    /// when all of it landed; otherwise nothing did and the status says why, for example
    /// ERROR_TRANSACTIONAL_CONFLICT (6800) when another writer changed what the transaction
    /// used, or ERROR_DISK_FULL (112). A transaction whose commit failed is rolled back; its
    /// work has to be done again in a new one. Closes Key() in either case.
    LONG Commit();

    /// Drops everything written through the transaction and ends it; ERROR_SUCCESS, or the
    /// status of a transaction that is not open.
    LONG Rollback();

private:
    LONG Open(const ZelRegistryBase& Location, LPCTSTR pszSubKey);
    // Closes the key and the transaction's handle and keeps lStatus as the status.
    void Close(LONG lStatus) noexcept;

    HANDLE m_hTransaction;
    HKEY m_hKey;
    LONG m_lStatus;
};
