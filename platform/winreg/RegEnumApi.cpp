// Enumeration by index: sub-keys in case-insensitive name order, values in the order they were
// first set. Each handle keeps a window of the listing and, for calls far from it, a ladder
// into the listing (EnumWindow), so that a call at any index costs about the same as the next
// one in order.
#include <algorithm>
#include <string>

#include "KeyStore.h"
#include "KeyValues.h"
#include "RegApiSupport.h"
#include "RegNames.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

// A fresh window starts small (a caller may only want the first item, or may be deleting as it
// goes); a walk in order doubles it up to the bound.
constexpr int64_t kFirstWindow = 16;
constexpr int64_t kLargestWindow = 1024;

enum class Listing { SubKeys, Values };

// The rows that list the items in enumeration order, by their fold: the sub-keys' entries, and
// the values' places (HiveSchema.cpp).
int64_t OrderKind(Listing listing) { return listing == Listing::SubKeys ? 0 : 3; }

void BuildLadder(Connection& db, int64_t key, Listing listing, EnumWindow& w) {
    w.rungs.clear();
    Query q(db, "SELECT fold FROM cells WHERE key = ?1 AND kind = ?2 ORDER BY fold");
    q.Bind(1, key).Bind(2, OrderKind(listing));
    for (DWORD i = 0; q.Step(); ++i) {
        if (i % EnumWindow::kRungSpacing == 0) w.rungs.emplace_back(q.Text(0));
    }
    w.laddered = true;
}

void LoadWindow(Connection& db, Listing listing, const KeyState& state, EnumWindow& w, DWORD index) {
    const int64_t key = state.id;
    if (listing == Listing::Values && !state.figures.values.placed) {
        // Few values (see kPlaceValuesAbove): the whole listing at once.
        w.base = 0;
        w.entries.clear();
        w.atEnd = true;
        Query q(db, "SELECT name, fold FROM cells WHERE key = ?1 AND kind = 1 ORDER BY seq");
        q.Bind(1, key);
        while (q.Step()) w.entries.push_back(EnumWindow::Entry{0, std::string(q.Text(0)), std::string(q.Text(1))});
        return;
    }
    // The window starts at the first item whose fold is `from` or later, `skip` items on.
    std::string from;
    DWORD skip = index;
    int64_t limit = kFirstWindow;
    if (!w.entries.empty() && index == w.base + w.entries.size()) {
        limit = std::min<int64_t>(static_cast<int64_t>(w.entries.size()) * 2, kLargestWindow);
        from = w.entries.back().fold;
        skip = 1;
    } else if (index >= EnumWindow::kRungSpacing) {
        if (!w.laddered) BuildLadder(db, key, listing, w);
        const std::size_t rung = index / EnumWindow::kRungSpacing;
        if (rung >= w.rungs.size()) {  // beyond the last rung: past the end
            w.base = index;
            w.entries.clear();
            w.atEnd = true;
            return;
        }
        from = w.rungs[rung];
        skip = index % EnumWindow::kRungSpacing;
    }
    w.base = index;
    w.entries.clear();
    Query q(db,
            "SELECT sub, name, fold FROM cells WHERE key = ?1 AND kind = ?2 AND fold >= ?3 "
            "ORDER BY fold LIMIT ?4 OFFSET ?5");
    q.Bind(1, key).Bind(2, OrderKind(listing)).Bind(3, from).Bind(4, limit).Bind(5, static_cast<int64_t>(skip));
    while (q.Step()) w.entries.push_back(EnumWindow::Entry{q.Int(0), std::string(q.Text(1)), std::string(q.Text(2))});
    w.atEnd = static_cast<int64_t>(w.entries.size()) < limit;
}

// The entry at `index`, or null past the end. Runs inside the caller's transaction.
const EnumWindow::Entry* EntryAt(Connection& db, const KeyRef& ref, Listing listing, DWORD index) {
    // Whether the values have place rows is among their figures.
    const KeyState state = RequireKey(db, ref.handle->key, listing == Listing::Values);
    EnumWindow& w = listing == Listing::SubKeys ? ref.handle->listings().subkeys : ref.handle->listings().values;
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
        LoadWindow(db, listing, state, w, index);
        if (index < w.base || index - w.base >= w.entries.size()) return nullptr;
    }
    return &w.entries[index - w.base];
}

// The listing of a transacted handle's key as its transaction sees it, kept on the handle while
// neither the transaction nor the key changes.
const std::vector<ListedItem>& TransactedListingOf(Transaction& tx, Connection& db, KeyHandle& handle, Listing listing) {
    const KeyState state = tx.RequireKey(db, handle.key);
    const bool subKeys = listing == Listing::SubKeys;
    TransactedListing& cached = subKeys ? handle.listings().txSubKeys : handle.listings().txValues;
    const int64_t generation = subKeys ? state.childGeneration : state.valueGeneration;
    if (cached.version != tx.version() || cached.generation != generation) {
        cached.items = subKeys ? tx.SubKeys(db, handle.key) : tx.Values(db, handle.key);
        cached.version = tx.version();
        cached.generation = generation;
    }
    return cached.items;
}

}  // namespace

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_ENUMERATE_SUB_KEYS);
        const auto answer = [&](const std::string& name, const KeyDetails& details) -> LONG {
            if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
            const std::string& keyClass = details.keyClass;
            if (lpClass && lpcchClass && keyClass.size() >= *lpcchClass) return ERROR_MORE_DATA;
            CopyName(name, lpName);
            *lpcchName = static_cast<DWORD>(name.size());
            if (lpClass && lpcchClass) CopyName(keyClass, lpClass);
            if (lpcchClass) *lpcchClass = static_cast<DWORD>(keyClass.size());
            if (lpftLastWriteTime) StoreFileTime(details.lastWrite, lpftLastWriteTime);
            return ERROR_SUCCESS;
        };
        const bool detailed = lpcchClass || lpftLastWriteTime;
        if (ref.handle->tx) {
            return InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) -> LONG {
                const std::vector<ListedItem>& items = TransactedListingOf(tx, db, *ref.handle, Listing::SubKeys);
                if (dwIndex >= items.size()) return ERROR_NO_MORE_ITEMS;
                const ListedItem& item = items[dwIndex];
                return answer(item.name, detailed ? tx.Details(db, item.id) : KeyDetails{});
            });
        }
        // The handle's window is only touched under the hive lock that Read holds.
        return ref.hive->Read([&](Connection& db) -> LONG {
            const EnumWindow::Entry* entry = EntryAt(db, ref, Listing::SubKeys, dwIndex);
            if (!entry) return ERROR_NO_MORE_ITEMS;
            if (entry->name.size() >= *lpcchName) return ERROR_MORE_DATA;
            return answer(entry->name, detailed ? LoadKeyDetails(db, entry->id) : KeyDetails{});
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
        // The type and the size of the data are told whatever does not fit; the name and the
        // data go out only when both fit, and the name's length with them (what Windows does in
        // the UTF-8 code page: its older code pages may hand out part of a name).
        const auto answer = [&](const std::string& name, DWORD type, std::string_view data) -> LONG {
            const auto size = static_cast<DWORD>(data.size());
            if (lpType) *lpType = type;
            if (lpcbData) *lpcbData = size;
            const bool dataFits = !lpData || bufferSize >= size;
            if (name.size() >= *lpcchValueName || !dataFits) return ERROR_MORE_DATA;
            CopyName(name, lpValueName);
            *lpcchValueName = static_cast<DWORD>(name.size());
            if (lpData) CopyData(type, data, lpData, bufferSize);
            return ERROR_SUCCESS;
        };
        if (ref.handle->tx) {
            return InTransaction(ref, *ref.handle->tx, [&](Transaction& tx, Connection& db) -> LONG {
                const std::vector<ListedItem>& items = TransactedListingOf(tx, db, *ref.handle, Listing::Values);
                if (dwIndex >= items.size()) return ERROR_NO_MORE_ITEMS;
                const ListedItem& item = items[dwIndex];
                const std::optional<Transaction::Value> value = tx.FindValue(db, ref.handle->key, item.fold);
                if (!value) return ERROR_NO_MORE_ITEMS;
                return answer(item.name, value->type, value->data);
            });
        }
        return ref.hive->Read([&](Connection& db) -> LONG {
            const EnumWindow::Entry* entry = EntryAt(db, ref, Listing::Values, dwIndex);
            if (!entry) return ERROR_NO_MORE_ITEMS;
            LONG status = ERROR_NO_MORE_ITEMS;
            WithValue(db, ref.handle->key, FoldName(entry->name),
                      [&](DWORD type, std::string_view data, std::string_view) { status = answer(entry->name, type, data); });
            return status;
        });
    });
}
