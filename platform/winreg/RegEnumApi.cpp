// Enumeration by index: sub-keys in case-insensitive name order, values in the order they were
// first set. Each handle keeps a window of the listing (EnumWindow), so walking the indices in
// order costs one indexed lookup per call, not a count from the start.
#include <algorithm>
#include <string>

#include "KeyStore.h"
#include "RegApiSupport.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

// A fresh window starts small (a caller may only want the first item, or may be deleting as it
// goes); a walk in order doubles it up to the bound.
constexpr int64_t kFirstWindow = 16;
constexpr int64_t kLargestWindow = 1024;

enum class Listing { SubKeys, Values };

void LoadWindow(Connection& db, Listing listing, int64_t key, EnumWindow& w, DWORD index) {
    const bool next = !w.entries.empty() && index == w.base + w.entries.size();
    int64_t limit = kFirstWindow;
    EnumWindow::Entry last;
    if (next) {
        limit = std::min<int64_t>(static_cast<int64_t>(w.entries.size()) * 2, kLargestWindow);
        last = std::move(w.entries.back());
    }
    w.base = index;
    w.entries.clear();
    // Sub-keys are stored in name order; values are few per key, and SQLite sorts them by their
    // place keeping only the rows the window needs.
    const char* sql;
    if (listing == Listing::SubKeys) {
        sql = next ? "SELECT sub, name, fold FROM items WHERE key = ?1 AND kind = 0 AND fold > ?2 ORDER BY fold LIMIT ?3"
                   : "SELECT sub, name, fold FROM items WHERE key = ?1 AND kind = 0 ORDER BY fold LIMIT ?3 OFFSET ?2";
    } else {
        sql = next ? "SELECT seq, name, fold FROM items WHERE key = ?1 AND kind = 1 AND seq > ?2 ORDER BY seq LIMIT ?3"
                   : "SELECT seq, name, fold FROM items WHERE key = ?1 AND kind = 1 ORDER BY seq LIMIT ?3 OFFSET ?2";
    }
    Query q(db, sql);
    q.Bind(1, key).Bind(3, limit);
    if (!next) {
        q.Bind(2, static_cast<int64_t>(index));
    } else if (listing == Listing::SubKeys) {
        q.Bind(2, last.fold);
    } else {
        q.Bind(2, last.id);
    }
    while (q.Step()) w.entries.push_back(EnumWindow::Entry{q.Int(0), std::string(q.Text(1)), std::string(q.Text(2))});
    w.atEnd = static_cast<int64_t>(w.entries.size()) < limit;
}

// The entry at `index`, or null past the end. Runs inside the caller's transaction.
const EnumWindow::Entry* EntryAt(Connection& db, const KeyRef& ref, Listing listing, DWORD index) {
    const KeyState state = RequireKey(db, ref.handle->key);
    EnumWindow& w = listing == Listing::SubKeys ? ref.handle->subkeys : ref.handle->values;
    const int64_t generation = listing == Listing::SubKeys ? state.childGeneration : state.valueGeneration;
    if (w.hiveSerial != ref.hive->serial() || w.generation != generation) {
        w = EnumWindow{};
        w.hiveSerial = ref.hive->serial();
        w.generation = generation;
    }
    const DWORD end = w.base + static_cast<DWORD>(w.entries.size());
    const bool inWindow = index >= w.base && index < end;
    if (!inWindow) {
        // The window reaches the last item: nothing lies beyond it.
        if (w.atEnd && index >= end) return nullptr;
        LoadWindow(db, listing, ref.handle->key, w, index);
        if (w.entries.empty()) return nullptr;
    }
    return &w.entries[index - w.base];
}

}  // namespace

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_ENUMERATE_SUB_KEYS);
        // The handle's window is only touched under the hive lock that Read holds.
        return ref.hive->Read([&](Connection& db) -> LONG {
            const EnumWindow::Entry* entry = EntryAt(db, ref, Listing::SubKeys, dwIndex);
            if (!entry) return ERROR_NO_MORE_ITEMS;
            const std::string& name = entry->name;
            if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
            KeyDetails details;
            if (lpcchClass || lpftLastWriteTime) details = LoadKeyDetails(db, entry->id);
            const std::string& keyClass = details.keyClass;
            if (lpClass && lpcchClass && keyClass.size() >= *lpcchClass) return ERROR_MORE_DATA;
            CopyName(name, lpName);
            *lpcchName = static_cast<DWORD>(name.size());
            if (lpClass && lpcchClass) CopyName(keyClass, lpClass);
            if (lpcchClass) *lpcchClass = static_cast<DWORD>(keyClass.size());
            if (lpftLastWriteTime) StoreFileTime(details.lastWrite, lpftLastWriteTime);
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    DWORD length = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &length, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_QUERY_VALUE);
        const DWORD bufferSize = lpcbData ? *lpcbData : 0;
        return ref.hive->Read([&](Connection& db) -> LONG {
            const EnumWindow::Entry* entry = EntryAt(db, ref, Listing::Values, dwIndex);
            if (!entry) return ERROR_NO_MORE_ITEMS;
            const std::string& name = entry->name;
            Query q(db, "SELECT type, data FROM items WHERE key = ?1 AND kind = 1 AND fold = ?2");
            q.Bind(1, ref.handle->key).Bind(2, entry->fold);
            if (!q.Step()) Fail(ERROR_NO_MORE_ITEMS);
            const auto type = static_cast<DWORD>(q.Int(0));
            const std::string_view data = q.Blob(1);
            const auto size = static_cast<DWORD>(data.size());
            // The type and the size of the data are told whatever does not fit; the name and the
            // data go out only when both fit, and the name's length with them (what Windows does
            // in the UTF-8 code page: its older code pages may hand out part of a name).
            if (lpType) *lpType = type;
            if (lpcbData) *lpcbData = size;
            const bool dataFits = !lpData || bufferSize >= size;
            if (name.size() >= *lpcchValueName || !dataFits) return ERROR_MORE_DATA;
            CopyName(name, lpValueName);
            *lpcchValueName = static_cast<DWORD>(name.size());
            if (lpData) CopyData(type, data, lpData, bufferSize);
            return ERROR_SUCCESS;
        });
    });
}
