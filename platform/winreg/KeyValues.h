// The values of a key: looking one up, storing one and removing one, within a transaction that
// the caller opened on the hive's connection (as KeyStore.h). The registry functions and the
// commit of a registry transaction both store through here.
#pragma once

#include <cstdint>
#include <string_view>

#include "../win32/ZelWinTypes.h"
#include "KeyCache.h"
#include "KeyChange.h"
#include "KeyStore.h"
#include "Sqlite.h"

namespace zelreg {

// Calls found(type, data, name) with the value of `key` whose folded name is `fold`, and returns
// true; false when there is none. The views last as long as the call. Reads consult and fill the
// connection's cache when it has one.
template <class Found>
bool WithValue(Connection& db, int64_t key, std::string_view fold, Found&& found) {
    KeyCache* cache = db.cache();
    if (cache) {
        if (const std::optional<CachedValue> known = cache->FindValue(key, fold)) {
            if (!known->exists) return false;
            found(known->type, known->data, known->name);
            return true;
        }
    }
    Query q(db, "SELECT type, data, name FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
    q.Bind(1, key).Bind(2, fold);
    if (!q.Step()) {
        if (cache) cache->PutValue(key, fold, CachedValue{});
        return false;
    }
    const auto type = static_cast<DWORD>(q.Int(0));
    if (cache) cache->PutValue(key, fold, CachedValue{true, type, q.Blob(1), q.Text(2)});
    found(type, q.Blob(1), q.Text(2));
    return true;
}

// For a read that finds the key in the cache not yet: the key's state and its value whose folded
// name is `fold` (or that it has none), read in one statement and put in the cache; false when
// the key does not exist. A new process reads most keys this way first.
bool CacheKeyWithValue(Connection& db, KeyCache& cache, int64_t key, std::string_view fold);

// Sets the value `name` of the key (`key` with its figures) to `type` and `data`. A value that
// exists keeps its first name (its case) and its place in the enumeration; false when it held
// this type and data already, which changes nothing, not even the last-write time.
bool StoreValue(Connection& db, ChangeSet& changes, const KeyState& key, std::string_view name, DWORD type,
                std::string_view data);

// Removes the value whose folded name is `fold`; false when there is none.
bool RemoveValue(Connection& db, ChangeSet& changes, const KeyState& key, std::string_view fold);

// The size of data as RegQueryInfoKey counts it: string types as UTF-16 (see StringDataSize).
int64_t ReportedDataSize(DWORD type, std::string_view data);

}  // namespace zelreg
