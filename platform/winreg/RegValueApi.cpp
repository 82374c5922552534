// Reading, writing and deleting values.
#include <optional>
#include <string>

#include "KeyStore.h"
#include "KeyValues.h"
#include "RegApiSupport.h"
#include "RegNames.h"
#include "ZelWinReg.h"

using namespace zelreg;

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_QUERY_VALUE);
        const std::string fold = FoldName(lpValueName ? lpValueName : "");
        const int64_t key = ref.handle->key;
        const auto missing = [&]() -> LONG {
            // A size-only query learns that there is nothing; a buffer's size is left alone.
            if (!lpData && lpcbData) *lpcbData = 0;
            return ERROR_FILE_NOT_FOUND;
        };
        const auto found = [&](DWORD type, std::string_view data) -> LONG {
            const auto size = static_cast<DWORD>(data.size());
            if (lpType) *lpType = type;
            if (!lpData) {
                if (lpcbData) *lpcbData = size;
                return ERROR_SUCCESS;
            }
            if (*lpcbData < size) {
                // Nothing goes into a buffer that is too small; the caller learns the size.
                *lpcbData = size;
                return ERROR_MORE_DATA;
            }
            CopyData(type, data, lpData, *lpcbData);
            *lpcbData = size;
            return ERROR_SUCCESS;
        };
        if (ref.handle->tx) {
            return InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) -> LONG {
                tx.RequireKey(db, key);
                const std::optional<Transaction::Value> value = tx.FindValue(db, key, fold);
                return value ? found(value->type, value->data) : missing();
            });
        }
        {
            DWORD type = REG_NONE;
            std::string data;
            switch (ref.hive->FindValueInMap(key, fold, type, data)) {
            case ReadMap::Answer::Found:
                return found(type, data);
            case ReadMap::Answer::Missing:
                return missing();
            case ReadMap::Answer::KeyGone:
                return ERROR_KEY_DELETED;
            case ReadMap::Answer::Unsure:
                break;
            }
        }
        return ref.hive->Read([&](Connection& db) -> LONG {
            if (KeyCache* cache = db.cache()) {
                if (const std::optional<CachedValue> known = cache->FindValueOfKnownKey(key, fold)) {
                    return known->exists ? found(known->type, known->data) : missing();
                }
                if (!cache->FindKey(key, false) && !CacheKeyWithValue(db, *cache, key, fold)) Fail(ERROR_KEY_DELETED);
            }
            RequireKey(db, key);
            LONG status = ERROR_SUCCESS;
            if (!WithValue(db, key, fold, [&](DWORD type, std::string_view data, std::string_view) {
                    status = found(type, data);
                })) {
                return missing();
            }
            return status;
        });
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_SET_VALUE);
        if (Reserved) return ERROR_INVALID_PARAMETER;
        const std::string_view name = lpValueName ? lpValueName : "";
        if (Utf16Length(name) > kMaxValueNameLength || !IsStorableName(name)) return ERROR_INVALID_PARAMETER;
        if (!lpData && cbData) return ERROR_NOACCESS;
        DWORD size = cbData;
        // Windows stores a string whose length left out the terminating NUL with that NUL: it
        // looks at the byte just past the given length, and so does this store.
        if (IsStringType(dwType) && size > 0 && lpData[size - 1] != 0 && lpData[size] == 0) ++size;
        const std::string_view data(reinterpret_cast<const char*>(lpData), lpData ? size : 0);
        const int64_t key = ref.handle->key;
        if (ref.handle->tx) {
            return InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) -> LONG {
                tx.SetValue(db, key, name, dwType, data);
                return ERROR_SUCCESS;
            });
        }
        return ref.hive->Write([&](Connection& db, ChangeSet& changes) -> LONG {
            // Rewriting what is stored changes nothing, not even the last-write time, and
            // signals no watch.
            StoreValue(db, changes, RequireKey(db, key, kWithFigures), name, dwType, data);
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_SET_VALUE);
        const std::string fold = FoldName(lpValueName ? lpValueName : "");
        const int64_t key = ref.handle->key;
        if (ref.handle->tx) {
            return InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) -> LONG {
                return tx.DeleteValue(db, key, fold) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
            });
        }
        return ref.hive->Write([&](Connection& db, ChangeSet& changes) -> LONG {
            return RemoveValue(db, changes, RequireKey(db, key, kWithFigures), fold) ? ERROR_SUCCESS
                                                                                    : ERROR_FILE_NOT_FOUND;
        });
    });
}
