// The rows of a hive: keys, values and the change journal. Every function here runs inside a
// transaction that its caller opened on the hive's connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Sqlite.h"

namespace zelreg {

// Every hive has its root key in this row.
constexpr int64_t kRootKeyId = 1;

// What the change journal records; watchers match these against their filters.
enum ChangeKind : int64_t {
    kChangeName = 1,     // a sub-key of the key was created or deleted
    kChangeValue = 2,    // a value of the key was set or deleted
    kChangeDeleted = 3,  // the key itself was deleted
};

struct KeyState {
    int64_t childGeneration;  // changes whenever a sub-key is added or removed
    int64_t valueGeneration;  // changes whenever a value is added or removed
    bool isVolatile;
};

// The key's state, or nothing when the row no longer exists (the key was deleted).
std::optional<KeyState> LoadKey(Connection& db, int64_t id);
// As LoadKey, failing with ERROR_KEY_DELETED when the key is gone.
KeyState RequireKey(Connection& db, int64_t id);

std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold);
// Walks the elements of a path down from `start`; nothing when a level is missing.
std::optional<int64_t> FindPath(Connection& db, int64_t start, const std::vector<std::string>& elements);
std::optional<int64_t> ParentOf(Connection& db, int64_t id);
bool HasChildren(Connection& db, int64_t id);

int64_t CreateChild(Connection& db, int64_t parent, std::string_view name, const char* keyClass,
                    bool isVolatile);

// Deletes a key without sub-keys, with its values.
void DeleteLeafKey(Connection& db, int64_t id, int64_t parent);
// Deletes every key below `id` and all their values and the values of `id`; `id` itself too
// when includeSelf is set.
void DeleteSubtree(Connection& db, int64_t id, bool includeSelf);

// Stamps the key's last-write time, moves the generation counters a listing depends on, and
// appends to the change journal.
void RecordChange(Connection& db, int64_t key, ChangeKind kind, bool listChanged);

// Current time as a FILETIME value (100 ns units since 1601).
int64_t FileTimeNow();

// Volatile keys live until the system restarts: they carry the boot id of the system that
// made them, and a hive opened for writing drops those of earlier boots.
const std::string& BootId();
void PurgeVolatileKeys(Connection& db);

}  // namespace zelreg
