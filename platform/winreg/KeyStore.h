// The rows of a hive: keys, their values and their lists of sub-keys (HiveSchema.cpp has the
// layout; the SQL spells the kinds of rows as literals: 0 sub-key entry, 1 value, 2 the key
// itself, 3 a value's place in the enumeration). Every function here runs inside a transaction
// that its caller opened on the hive's connection; those that change a key record the change in
// the transaction's ChangeSet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "KeyChange.h"
#include "KeyFigures.h"
#include "RegNames.h"
#include "Sqlite.h"

namespace zelreg {

// Every hive has its root key under this id.
constexpr int64_t kRootKeyId = 1;

struct KeyState {
    int64_t id;
    int64_t parent;           // 0 for the root
    int64_t childGeneration;  // moves whenever a sub-key is added or removed
    int64_t valueGeneration;  // moves whenever a value is set or deleted
    bool isVolatile;
    KeyFigures figures;       // of its sub-keys and values, see KeyFigures.h; loaded on request
};

// A key's values get place rows (HiveSchema.cpp) once it holds more than this many, and keep
// them: without, enumeration sorts them all, which costs little for so few.
constexpr int64_t kPlaceValuesAbove = 64;

// The key's state, or nothing when the row no longer exists (the key was deleted). Its figures
// only with `withFigures`: a call that changes the key's items, or reports them, needs them.
std::optional<KeyState> LoadKey(Connection& db, int64_t id, bool withFigures = false);
// As LoadKey, failing with ERROR_KEY_DELETED when the key is gone.
KeyState RequireKey(Connection& db, int64_t id, bool withFigures = false);
constexpr bool kWithFigures = true;

std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold);
// Walks the elements of a path down from `start`; nothing when a level is missing.
std::optional<int64_t> FindPath(Connection& db, int64_t start, const KeyPath& elements);
bool HasChildren(Connection& db, int64_t id);

struct KeyDetails {
    std::string keyClass;
    int64_t lastWrite = 0;
};
KeyDetails LoadKeyDetails(Connection& db, int64_t id);

// Makes the sub-key `name` of `parent` and returns its state.
KeyState CreateChild(Connection& db, ChangeSet& changes, const KeyState& parent, std::string_view name,
                     const char* keyClass, bool isVolatile);

// Deletes every key below `id`, their values and the values of `id`; `id` itself too when
// includeSelf is set (the root never goes).
void DeleteSubtree(Connection& db, ChangeSet& changes, int64_t id, bool includeSelf);

// Stamps the changed key's last-write time, moves its change counter of the kind and notes the
// change.
void RecordChange(Connection& db, ChangeSet& changes, const KeyChange& change);
// The same for a change that added, removed or replaced one of the key's sub-keys or values,
// which also goes into the key's figures; `key` is the key's state before. Places the values
// when they become many.
void RecordItemChange(Connection& db, ChangeSet& changes, const KeyState& key, const KeyChange& what,
                      const FigureChange& change);

// Sets the key's figures from its items and places its values if they are many (for a format
// upgrade).
void RecountKey(Connection& db, int64_t key);

// Current time as a FILETIME value (100 ns units since 1601).
int64_t FileTimeNow();

// Volatile keys live until the system restarts: they carry the boot id of the system that
// made them (BootId.h), and a hive opened for writing drops those of earlier boots.
void PurgeVolatileKeys(Connection& db, ChangeSet& changes);
// Whether there are any to purge (a read, in the caller's transaction or one of its own).
bool HasStaleVolatileKeys(Connection& db);

}  // namespace zelreg
