// A sub-tree of a hive as a hive file of its own, for RegSaveKeyA and RegRestoreKeyA: the key
// becomes the file's root, with its values, and the keys below it keep their names, classes and
// values. Volatile keys live until the system restarts and are never saved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "KeyChange.h"
#include "Sqlite.h"

namespace zelreg {

// Writes the sub-tree of `key` as the caller's read transaction of `source` sees it (one
// snapshot, however many keys) to `file`, an empty file, as a hive of the current format in
// rollback-journal mode: a file complete in itself. ERROR_KEY_DELETED when the key is gone.
void WriteSubtreeImage(Connection& source, int64_t key, const std::string& file);

struct ImageValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

struct ImageKey {
    std::string name;
    std::string keyClass;
    std::vector<ImageValue> values;  // in the order they were first set
    std::vector<ImageKey> children;
};

// Reads a hive file whole (one of the earlier format too), before anything is changed:
// ERROR_FILE_NOT_FOUND when there is no such file, ERROR_BADDB when it is not a hive of this
// store or cannot be read as one.
ImageKey ReadHiveImage(const std::string& file);

// Within the caller's write transaction: replaces the values of `key` and every key below it
// with what the image holds. Keys made below a volatile key are volatile, as they must be.
void ApplyHiveImage(Connection& db, ChangeSet& changes, int64_t key, const ImageKey& image);

}  // namespace zelreg
