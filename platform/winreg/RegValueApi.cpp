// Reading, writing and deleting values.
#include <optional>
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
            Query q(db, "SELECT type, data FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
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
        if (Utf16Length(name) > kMaxValueNameLength || !IsStorableName(name)) return ERROR_INVALID_PARAMETER;
        if (!lpData && cbData) return ERROR_NOACCESS;
        DWORD size = cbData;
        // Windows stores a string whose length left out the terminating NUL with that NUL: it
        // looks at the byte just past the given length, and so does this store.
        if (IsStringType(dwType) && size > 0 && lpData[size - 1] != 0 && lpData[size] == 0) ++size;
        const std::string_view data(reinterpret_cast<const char*>(lpData), lpData ? size : 0);
        const int64_t wideSize = static_cast<int64_t>(IsStringType(dwType) ? StringDataSize(data) : data.size());
        const std::string fold = FoldName(name);
        const int64_t key = ref.handle->key;
        return ref.hive->Write([&](Connection& db, ChangeSet& changes) -> LONG {
            const KeyState state = RequireKey(db, key, kWithFigures);
            std::optional<ItemFigures> before;
            {
                Query q(db, "SELECT type, data, name, wsize FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
                q.Bind(1, key).Bind(2, fold);
                if (q.Step()) {
                    // Rewriting what is stored changes nothing, not even the last-write time, and
                    // signals no watch.
                    if (static_cast<DWORD>(q.Int(0)) == dwType && q.Blob(1) == data) return ERROR_SUCCESS;
                    before = ValueFigures(q.Text(2), q.Int(3));
                }
            }
            if (before) {
                // The value keeps its first name (its case) and its place in the enumeration.
                Query(db, "UPDATE cells SET type = ?3, data = ?4, wsize = ?5 WHERE key = ?1 AND kind = 1 AND fold = ?2")
                    .Bind(1, key)
                    .Bind(2, fold)
                    .Bind(3, dwType)
                    .BindBlob(4, data.data(), data.size())
                    .Bind(5, wideSize)
                    .Run();
                RecordItemChange(db, changes, state, ChangeKind::Value,
                                 FigureChange::Replaced(*before, ItemFigures{before->name, wideSize}));
                return ERROR_SUCCESS;
            }
            // The key's value counter only grows and moves with this change: its next number
            // places the value after every one set before (in its place row, if the values have
            // them).
            Query(db,
                  state.figures.values.placed
                      ? "INSERT INTO cells(key, kind, fold, name, seq, type, wsize, data) "
                        "VALUES(?1, 1, ?2, ?3, ?4, ?5, ?6, ?7), (?1, 3, printf('%016x', ?4), ?3, NULL, NULL, NULL, NULL)"
                      : "INSERT INTO cells(key, kind, fold, name, seq, type, wsize, data) "
                        "VALUES(?1, 1, ?2, ?3, ?4, ?5, ?6, ?7)")
                .Bind(1, key)
                .Bind(2, fold)
                .Bind(3, name)
                .Bind(4, state.valueGeneration + 1)
                .Bind(5, dwType)
                .Bind(6, wideSize)
                .BindBlob(7, data.data(), data.size())
                .Run();
            RecordItemChange(db, changes, state, ChangeKind::Value, FigureChange::Added(ValueFigures(name, wideSize)));
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
        return ref.hive->Write([&](Connection& db, ChangeSet& changes) -> LONG {
            const KeyState state = RequireKey(db, key, kWithFigures);
            int64_t seq = 0;
            ItemFigures removed{};
            {
                Query q(db, "SELECT seq, name, wsize FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
                q.Bind(1, key).Bind(2, fold);
                if (!q.Step()) return ERROR_FILE_NOT_FOUND;
                seq = q.Int(0);
                removed = ValueFigures(q.Text(1), q.Int(2));
            }
            Query(db, "DELETE FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2").Bind(1, key).Bind(2, fold).Run();
            if (state.figures.values.placed) {
                Query(db, "DELETE FROM cells WHERE key = ?1 AND kind = 3 AND fold = printf('%016x', ?2)")
                    .Bind(1, key)
                    .Bind(2, seq)
                    .Run();
            }
            RecordItemChange(db, changes, state, ChangeKind::Value, FigureChange::Removed(removed));
            return ERROR_SUCCESS;
        });
    });
}
