// Opening, creating, closing and deleting keys, and what RegQueryInfoKeyA reports about them.
#include <algorithm>
#include <string>
#include <vector>

#include "KeyCache.h"
#include "KeyStore.h"
#include "RegApiSupport.h"
#include "RegNames.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

constexpr DWORD kKnownCreateOptions =
    REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK;

struct Created {
    int64_t key;
    DWORD disposition;
};

struct KeyInfo {
    KeyDetails own;
    ListingFigures subKeys;
    ListingFigures values;
};

// Windows keeps keys at most 512 levels deep, counted from the root of its whole registry, in
// which the user's hive root lies at the third level (\REGISTRY\USER\<user>) and the machine's
// at the second (\REGISTRY\MACHINE): so a key may lie 509 levels below HKEY_CURRENT_USER and
// 510 below HKEY_LOCAL_MACHINE. No conformance test pins the status of a deeper create; the
// store answers as for the registry's other size limits, ERROR_INVALID_PARAMETER. (Microsoft's
// documentation also speaks of at most 32 levels made by one call, but Windows makes hundreds
// in one RegCreateKeyEx call as long as the depth allows them, and so does the store.)
constexpr int64_t kMaxRegistryDepth = 512;
int64_t MaxDepthBelowRoot(HiveKind hive) { return kMaxRegistryDepth - (hive == HiveKind::User ? 3 : 2); }

// Where a name of `limit` bytes can be cut without splitting a UTF-8 character.
std::size_t Utf8Cut(std::string_view text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return limit;
}

// Finds the key that `path` names below the handle's key and hands it to `erase`, all in one
// write transaction. On a read-only hive a missing key still answers 2, any other 5.
template <class Erase>
LONG DeleteBelow(const KeyRef& ref, const KeyPath& path, Erase&& erase) {
    const int64_t from = ref.handle->key;
    auto findTarget = [&](Connection& db) {
        RequireKey(db, from);
        const std::optional<int64_t> target = FindPath(db, from, path);
        if (!target) Fail(ERROR_FILE_NOT_FOUND);
        return *target;
    };
    if (ref.hive->readOnly()) {
        ref.hive->Read(findTarget);
        return ERROR_ACCESS_DENIED;
    }
    return ref.hive->Write(
        [&](Connection& db, ChangeSet& changes) -> LONG { return erase(db, changes, findTarget(db)); });
}

// The same in a transaction: `erase(tx, db, target)` notes the deletion in it.
template <class Erase>
LONG DeleteBelowIn(const KeyRef& ref, Transaction& transaction, const KeyPath& path, Erase&& erase) {
    const int64_t from = ref.handle->key;
    return InTransaction(ref, transaction, [&](Transaction& tx, Connection& db) -> LONG {
        tx.RequireKey(db, from);
        const std::optional<int64_t> target = tx.FindPath(db, from, path);
        if (!target) return ERROR_FILE_NOT_FOUND;
        if (ref.hive->readOnly()) return ERROR_ACCESS_DENIED;
        return erase(tx, db, *target);
    });
}

// The transaction a new handle below `parent` belongs to: the one asked for, else the parent's.
// A key that another transaction made is not there for this one.
std::shared_ptr<Transaction> TransactionOf(const KeyRef& parent, HANDLE hTransaction) {
    if (!hTransaction) return parent.handle->tx;
    std::shared_ptr<Transaction> tx = Store::Get().handles().GetTransaction(reinterpret_cast<uintptr_t>(hTransaction));
    if (!tx) Fail(ERROR_INVALID_HANDLE);
    if (parent.handle->tx != tx && parent.handle->key < 0) Fail(ERROR_TRANSACTIONAL_CONFLICT);
    return tx;
}

// A path this process found before, given as the same text again while the hive is unchanged,
// needs neither splitting nor folding: the cache knows where it leads.
std::optional<KeyCache::KnownPath> KnownPath(const KeyRef& parent, const char* text) {
    if (!text || !*text) return std::nullopt;
    if (parent.hive->ReadsFromMap()) return parent.hive->KnownPathInMap(parent.handle->key, text);
    return parent.hive->Read([&](Connection& db) -> std::optional<KeyCache::KnownPath> {
        KeyCache* cache = db.cache();
        const std::optional<KeyCache::KnownPath> known = cache ? cache->FindRawPath(parent.handle->key, text) : std::nullopt;
        if (known) RequireKey(db, parent.handle->key);
        return known;
    });
}

// Whether `path` (as the caller wrote it: `text`) leads to a key below `from` (then `key`), as
// the hive's read map says while the hive is read through it. A handle whose key is gone fails
// as the hive would answer it.
ReadMap::Answer FindInMap(const KeyRef& parent, int64_t from, const KeyPath& path, const char* text, int64_t& key) {
    if (!parent.hive->ReadsFromMap()) return ReadMap::Answer::Unsure;
    std::vector<std::string> folds;
    folds.reserve(path.size());
    for (std::string_view element : path) folds.push_back(FoldName(element));
    const ReadMap::Answer answer = parent.hive->FindPathInMap(from, folds, key);
    if (answer == ReadMap::Answer::KeyGone) Fail(ERROR_KEY_DELETED);
    if (answer == ReadMap::Answer::Found && text && *text) {
        parent.hive->RememberPathInMap(from, text, KeyCache::KnownPath{key, static_cast<int64_t>(path.size())});
    }
    return answer;
}

void RememberPath(Connection& db, int64_t from, const char* text, int64_t key, const KeyPath& path) {
    if (KeyCache* cache = db.cache(); cache && text && *text) {
        cache->PutRawPath(from, text, KeyCache::KnownPath{key, static_cast<int64_t>(path.size())});
    }
}

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, PHKEY phkResult, HANDLE hTransaction) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef parent = Store::Get().Resolve(hKey);
        const std::shared_ptr<Transaction> tx = TransactionOf(parent, hTransaction);
        *phkResult = nullptr;
        if (!tx) {
            if (const std::optional<KeyCache::KnownPath> known = KnownPath(parent, lpSubKey)) {
                const REGSAM access = GrantAccess(samDesired, parent.hive->readOnly());
                *phkResult = NewKeyHandle(parent.handle->hive, known->key, access, parent.handle->depth + known->levels);
                return ERROR_SUCCESS;
            }
        }
        KeyPath path;
        if (LONG status = SplitKeyPath(lpSubKey, path)) return status;
        if (path.empty() && parent.predefined && !tx) {
            *phkResult = hKey;
            return ERROR_SUCCESS;
        }
        const REGSAM access = GrantAccess(samDesired, parent.hive->readOnly());
        const int64_t from = parent.handle->key;
        int64_t mapped = 0;
        const ReadMap::Answer inMap = tx ? ReadMap::Answer::Unsure : FindInMap(parent, from, path, lpSubKey, mapped);
        if (inMap == ReadMap::Answer::Missing) return ERROR_FILE_NOT_FOUND;
        const int64_t key = tx ? InTransaction(parent, *tx, [&](Transaction& t, Connection& db) {
                                     t.RequireKey(db, from);
                                     const std::optional<int64_t> found = t.FindPath(db, from, path);
                                     if (!found) Fail(ERROR_FILE_NOT_FOUND);
                                     return *found;
                                 })
                               : inMap == ReadMap::Answer::Found ? mapped
                               : parent.hive->Read([&](Connection& db) {
                                     RequireKey(db, from);
                                     const std::optional<int64_t> found = FindPath(db, from, path);
                                     if (!found) Fail(ERROR_FILE_NOT_FOUND);
                                     RememberPath(db, from, lpSubKey, *found, path);
                                     return *found;
                                 });
        const auto depth = parent.handle->depth + static_cast<int64_t>(path.size());
        *phkResult = NewKeyHandle(parent.handle->hive, key, access, depth, tx);
        return ERROR_SUCCESS;
    });
}

LONG CreateKey(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
               PHKEY phkResult, LPDWORD lpdwDisposition, HANDLE hTransaction) {
    if (!phkResult) return ERROR_BADKEY;
    if (Reserved) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef parent = Store::Get().Resolve(hKey);
        const std::shared_ptr<Transaction> tx = TransactionOf(parent, hTransaction);
        *phkResult = nullptr;
        if (dwOptions & REG_OPTION_CREATE_LINK) return kErrorCallNotImplemented;  // no symbolic links
        if (dwOptions & ~kKnownCreateOptions) return ERROR_INVALID_PARAMETER;
        if (!tx) {
            if (const std::optional<KeyCache::KnownPath> known = KnownPath(parent, lpSubKey)) {
                const REGSAM access = GrantAccess(samDesired, parent.hive->readOnly());
                *phkResult = NewKeyHandle(parent.handle->hive, known->key, access, parent.handle->depth + known->levels);
                if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
                return ERROR_SUCCESS;
            }
        }
        KeyPath path;
        if (LONG status = SplitKeyPath(lpSubKey, path)) return status;
        if (!std::all_of(path.begin(), path.end(), IsStorableName)) return ERROR_INVALID_PARAMETER;
        const REGSAM access = GrantAccess(samDesired, parent.hive->readOnly());
        const int64_t from = parent.handle->key;
        const bool makeVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;

        const auto depth = parent.handle->depth + static_cast<int64_t>(path.size());
        if (depth > MaxDepthBelowRoot(parent.handle->hive)) return ERROR_INVALID_PARAMETER;

        Created created{};
        int64_t mapped = 0;
        if (!tx && FindInMap(parent, from, path, lpSubKey, mapped) == ReadMap::Answer::Found) {
            created = Created{mapped, REG_OPENED_EXISTING_KEY};
        } else if (tx) {
            const Transaction::Made made = InTransaction(parent, *tx, [&](Transaction& t, Connection& db) {
                // On a read-only hive only what exists opens.
                if (parent.hive->readOnly() && !t.FindPath(db, from, path)) Fail(ERROR_ACCESS_DENIED);
                return t.CreatePath(db, from, path, lpClass, makeVolatile);
            });
            created = Created{made.key, made.disposition};
        } else {
            // Most calls find the key there already.
            created = parent.hive->FindOrMake(
                [&](Connection& db) -> std::optional<Created> {
                    RequireKey(db, from);
                    const std::optional<int64_t> found = FindPath(db, from, path);
                    if (!found) return std::nullopt;
                    RememberPath(db, from, lpSubKey, *found, path);
                    return Created{*found, REG_OPENED_EXISTING_KEY};
                },
                [&](Connection& db, ChangeSet& changes) {
                    KeyState current = RequireKey(db, from, kWithFigures);
                    DWORD disposition = REG_OPENED_EXISTING_KEY;
                    for (std::string_view element : path) {
                        if (auto child = FindChild(db, current.id, FoldName(element))) {
                            current = *LoadKey(db, *child, kWithFigures);
                            continue;
                        }
                        if (current.isVolatile && !makeVolatile) Fail(ERROR_CHILD_MUST_BE_VOLATILE);
                        current = CreateChild(db, changes, current, element, lpClass, makeVolatile);
                        disposition = REG_CREATED_NEW_KEY;
                    }
                    return Created{current.id, disposition};
                });
        }
        *phkResult = NewKeyHandle(parent.handle->hive, created.key, access, depth, tx);
        if (lpdwDisposition) *lpdwDisposition = created.disposition;
        return ERROR_SUCCESS;
    });
}

LONG DeleteKey(HKEY hKey, LPCSTR lpSubKey, HANDLE hTransaction) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        const std::shared_ptr<Transaction> tx = TransactionOf(ref, hTransaction);
        KeyPath path;
        if (LONG status = SplitKeyPath(lpSubKey, path)) return status;
        // The key to delete is opened anew with DELETE, so the rights of the handle passed in never
        // decide, not even when the handle's own key goes ("").
        if (path.empty() && ref.predefined) return ERROR_ACCESS_DENIED;
        if (tx) {
            return DeleteBelowIn(ref, *tx, path, [](Transaction& t, Connection& db, int64_t target) -> LONG {
                if (!t.RequireKey(db, target).parent || !t.SubKeys(db, target).empty()) return ERROR_ACCESS_DENIED;
                t.DeleteKey(db, target, true);
                return ERROR_SUCCESS;
            });
        }
        return DeleteBelow(ref, path, [](Connection& db, ChangeSet& changes, int64_t target) -> LONG {
            // The root of a hive has no parent and cannot go; RegDeleteKey takes only leaves.
            if (!RequireKey(db, target).parent || HasChildren(db, target)) return ERROR_ACCESS_DENIED;
            DeleteSubtree(db, changes, target, true);
            return ERROR_SUCCESS;
        });
    });
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    return OpenKey(hKey, lpSubKey, samDesired, phkResult, nullptr);
}

// A transaction's handles see what it changed; so does every key opened or created below one of
// them, with any function. A key made by another transaction that has not committed is not
// there for this one (ERROR_TRANSACTIONAL_CONFLICT). A transaction handle that is null or not a
// transaction is an invalid handle, as a handle of the wrong kind is to Windows.
LONG WINAPI RegOpenKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult,
                                  HANDLE hTransaction, PVOID pExtendedParemeter) {
    if (!hTransaction) return ERROR_INVALID_HANDLE;
    if (ulOptions || pExtendedParemeter) return ERROR_INVALID_PARAMETER;
    return OpenKey(hKey, lpSubKey, samDesired, phkResult, hTransaction);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    return CreateKey(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition, nullptr);
}

LONG WINAPI RegCreateKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                    REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                    LPDWORD lpdwDisposition, HANDLE hTransaction, PVOID pExtendedParemeter) {
    if (!hTransaction) return ERROR_INVALID_HANDLE;
    if (pExtendedParemeter) return ERROR_INVALID_PARAMETER;
    return CreateKey(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition,
                     hTransaction);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (!hKey) return ERROR_INVALID_HANDLE;
    if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
    return Guarded([&]() -> LONG {
        const auto value = reinterpret_cast<uintptr_t>(hKey);
        if (Store::Get().handles().Close(value) != HandleTable::Closed::Key) return ERROR_INVALID_HANDLE;
        Store::Get().notifier().HandleClosed(value);
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, nullptr); }

// The view flags of samDesired choose between the 32- and 64-bit registry views, which this store
// does not have.
LONG WINAPI RegDeleteKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, REGSAM, DWORD Reserved, HANDLE hTransaction,
                                    PVOID pExtendedParameter) {
    if (!hTransaction) return ERROR_INVALID_HANDLE;
    if (Reserved || pExtendedParameter) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, hTransaction);
}

// With a sub-key, deletes it and everything below it. With an empty or null sub-key it empties
// the key of the handle (every sub-key and value goes, the key stays), as RegDeleteTree does:
// that never removes a predefined root's key.
LONG WINAPI SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey) {
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        KeyPath path;
        if (LONG status = SplitKeyPath(pszSubKey, path)) return status;
        if (ref.handle->tx) {
            return DeleteBelowIn(ref, *ref.handle->tx, path, [&path](Transaction& t, Connection& db, int64_t target) -> LONG {
                t.DeleteKey(db, target, !path.empty());
                return ERROR_SUCCESS;
            });
        }
        return DeleteBelow(ref, path, [&path](Connection& db, ChangeSet& changes, int64_t target) -> LONG {
            DeleteSubtree(db, changes, target, !path.empty());
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        if (ref.handle->tx) {
            InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) { return tx.RequireKey(db, ref.handle->key); });
        } else {
            ref.hive->Read([&](Connection& db) { return RequireKey(db, ref.handle->key); });
        }
        ref.hive->Flush();
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                             LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_QUERY_VALUE);
        const int64_t key = ref.handle->key;
        // Name and class lengths count UTF-16 units, as Windows does; the largest data is counted
        // as Windows does too, in UTF-16 bytes for strings (see StringDataSize). The key's own
        // class goes into the caller's buffer, and its length is in that buffer's unit, bytes.
        const KeyInfo info = ref.handle->tx ? InTransaction(ref, *ref.handle->tx, [key](Transaction& tx, Connection& db) {
            tx.RequireKey(db, key);
            const KeyFigures figures = tx.Figures(db, key);
            return KeyInfo{tx.Details(db, key), figures.subKeys, figures.values};
        })
                                            : ref.hive->Read([key](Connection& db) {
                                                  const KeyState state = RequireKey(db, key, kWithFigures);
                                                  return KeyInfo{LoadKeyDetails(db, key), state.figures.subKeys,
                                                                 state.figures.values};
                                              });

        LONG status = ERROR_SUCCESS;
        if (lpcchClass) {
            const std::string_view keyClass = info.own.keyClass;
            if (!lpClass) {
                *lpcchClass = static_cast<DWORD>(keyClass.size());
            } else if (*lpcchClass > keyClass.size()) {
                CopyName(keyClass, lpClass);
                *lpcchClass = static_cast<DWORD>(keyClass.size());
            } else if (*lpcchClass > 0) {
                // Too small: Windows hands back as much of the class as fits, with a NUL.
                const std::size_t cut = Utf8Cut(keyClass, *lpcchClass - 1);
                CopyName(keyClass.substr(0, cut), lpClass);
                *lpcchClass = static_cast<DWORD>(cut);
                status = ERROR_MORE_DATA;
            }
        }
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(info.subKeys.count);
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(info.subKeys.name.value);
        if (lpcbMaxClassLen) *lpcbMaxClassLen = static_cast<DWORD>(info.subKeys.size.value);
        if (lpcValues) *lpcValues = static_cast<DWORD>(info.values.count);
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(info.values.name.value);
        if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(info.values.size.value);
        // The store keeps no security descriptors.
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) StoreFileTime(info.own.lastWrite, lpftLastWriteTime);
        return status;
    });
}

DWORD WINAPI ZelRegReadCacheBytes(void) {
    std::size_t bytes = 0;
    for (HiveKind kind : {HiveKind::User, HiveKind::Machine}) {
        if (Hive* hive = Store::Get().OpenedHive(kind)) bytes += hive->CacheBytes();
    }
    return static_cast<DWORD>(bytes);
}

DWORD WINAPI ZelRegOpenHandleCount(void) {
    return static_cast<DWORD>(Store::Get().handles().KeyCount());
}
