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
    std::string continueFold;
    int64_t continueSeq = 0;
    if (next) {
        limit = std::min<int64_t>(static_cast<int64_t>(w.entries.size()) * 2, kLargestWindow);
        continueFold = w.continueFold;
        continueSeq = w.entries.back().id;
    }
    w.base = index;
    w.entries.clear();
    if (listing == Listing::SubKeys) {
        const char* sql = next ? "SELECT id, name, fold FROM keys WHERE parent = ?1 AND fold > ?2 ORDER BY fold LIMIT ?3"
                               : "SELECT id, name, fold FROM keys WHERE parent = ?1 ORDER BY fold LIMIT ?3 OFFSET ?2";
        Query q(db, sql);
        q.Bind(1, key).Bind(3, limit);
        if (next) {
            q.Bind(2, continueFold);
        } else {
            q.Bind(2, static_cast<int64_t>(index));
        }
        while (q.Step()) {
            w.entries.push_back(EnumWindow::Entry{q.Int(0), std::string(q.Text(1))});
            w.continueFold = std::string(q.Text(2));
        }
    } else {
        const char* sql = next ? "SELECT seq, name FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT ?3"
                               : "SELECT seq, name FROM vals WHERE key = ?1 ORDER BY seq LIMIT ?3 OFFSET ?2";
        Query q(db, sql);
        q.Bind(1, key).Bind(2, next ? continueSeq : static_cast<int64_t>(index)).Bind(3, limit);
        while (q.Step()) w.entries.push_back(EnumWindow::Entry{q.Int(0), std::string(q.Text(1))});
    }
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
            std::string keyClass;
            int64_t lastWrite = 0;
            if (lpcchClass || lpftLastWriteTime) {
                Query q(db, "SELECT class, mtime FROM keys WHERE id = ?1");
                q.Bind(1, entry->id);
                if (q.Step()) {
                    keyClass = std::string(q.Text(0));
                    lastWrite = q.Int(1);
                }
            }
            if (lpClass && lpcchClass && keyClass.size() >= *lpcchClass) return ERROR_MORE_DATA;
            CopyName(name, lpName);
            *lpcchName = static_cast<DWORD>(name.size());
            if (lpClass && lpcchClass) CopyName(keyClass, lpClass);
            if (lpcchClass) *lpcchClass = static_cast<DWORD>(keyClass.size());
            if (lpftLastWriteTime) StoreFileTime(lastWrite, lpftLastWriteTime);
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
        return ref.hive->Read([&](Connection& db) -> LONG {
            const EnumWindow::Entry* entry = EntryAt(db, ref, Listing::Values, dwIndex);
            if (!entry) return ERROR_NO_MORE_ITEMS;
            const std::string& name = entry->name;
            // A name that does not fit: nothing is written (what Windows does in UTF-8).
            if (name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
            Query q(db, "SELECT type, data FROM vals WHERE seq = ?1");
            q.Bind(1, entry->id);
            if (!q.Step()) Fail(ERROR_NO_MORE_ITEMS);
            const auto type = static_cast<DWORD>(q.Int(0));
            const std::string_view data = q.Blob(1);
            const auto size = static_cast<DWORD>(data.size());
            CopyName(name, lpValueName);
            *lpcchValueName = static_cast<DWORD>(name.size());
            if (lpType) *lpType = type;
            if (lpData && *lpcbData < size) {
                *lpcbData = size;
                return ERROR_MORE_DATA;
            }
            if (lpData) CopyData(type, data, lpData, *lpcbData);
            if (lpcbData) *lpcbData = size;
            return ERROR_SUCCESS;
        });
    });
}
