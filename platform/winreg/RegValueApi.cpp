// Reading, writing and deleting values.
#include <string>

#include "KeyStore.h"
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
        return ref.hive->Read([&](Connection& db) -> LONG {
            RequireKey(db, key);
            Query q(db, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
            q.Bind(1, key).Bind(2, fold);
            if (!q.Step()) {
                // A size-only query learns that there is nothing; a buffer's size is left alone.
                if (!lpData && lpcbData) *lpcbData = 0;
                return ERROR_FILE_NOT_FOUND;
            }
            const auto type = static_cast<DWORD>(q.Int(0));
            const std::string_view data = q.Blob(1);
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
        if (Utf16Length(name) > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
        if (!lpData && cbData) return ERROR_NOACCESS;
        DWORD size = cbData;
        // Windows stores a string whose length left out the terminating NUL with that NUL: it
        // looks at the byte just past the given length, and so does this store.
        if (IsStringType(dwType) && size > 0 && lpData[size - 1] != 0 && lpData[size] == 0) ++size;
        const std::string_view data(reinterpret_cast<const char*>(lpData), lpData ? size : 0);
        const int64_t wideSize = static_cast<int64_t>(IsStringType(dwType) ? StringDataSize(data) : data.size());
        const std::string fold = FoldName(name);
        const int64_t key = ref.handle->key;
        return ref.hive->Write([&](Connection& db) -> LONG {
            RequireKey(db, key);
            std::optional<int64_t> existing;
            {
                Query q(db, "SELECT seq, type, data FROM vals WHERE key = ?1 AND fold = ?2");
                q.Bind(1, key).Bind(2, fold);
                if (q.Step()) {
                    // Rewriting what is stored changes nothing, not even the last-write time.
                    if (static_cast<DWORD>(q.Int(1)) == dwType && q.Blob(2) == data) return ERROR_SUCCESS;
                    existing = q.Int(0);
                }
            }
            if (existing) {
                // The value keeps its first name (its case) and its place in the enumeration.
                Query(db, "UPDATE vals SET type = ?2, data = ?3, wsize = ?4 WHERE seq = ?1")
                    .Bind(1, *existing)
                    .Bind(2, dwType)
                    .BindBlob(3, data.data(), data.size())
                    .Bind(4, wideSize)
                    .Run();
            } else {
                Query(db, "INSERT INTO vals(key, name, fold, type, data, wsize) VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
                    .Bind(1, key)
                    .Bind(2, name)
                    .Bind(3, fold)
                    .Bind(4, dwType)
                    .BindBlob(5, data.data(), data.size())
                    .Bind(6, wideSize)
                    .Run();
            }
            RecordChange(db, key, kChangeValue, !existing);
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
        return ref.hive->Write([&](Connection& db) -> LONG {
            RequireKey(db, key);
            Query(db, "DELETE FROM vals WHERE key = ?1 AND fold = ?2").Bind(1, key).Bind(2, fold).Run();
            if (sqlite3_changes(db.handle()) == 0) return ERROR_FILE_NOT_FOUND;
            RecordChange(db, key, kChangeValue, true);
            return ERROR_SUCCESS;
        });
    });
}
