// What a watched registry tree holds, for telling what changed in it by comparing two copies,
// where nothing says what each change was: every key's path below the watched key, and per
// key a digest of each value's type and data. Without the sub-tree, a copy holds the watched
// key's values and the names of its sub-keys.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "TreeChange.h"

namespace zelreg {

struct TreeSnapshot {
    bool present = false;  // whether the watched key exists
    // Path below the watched key ("" for it) to its values' names and digests.
    std::map<std::string, std::map<std::string, uint64_t>> keys;

    // A digest of a value's type and data.
    static uint64_t Digest(DWORD type, const void* data, std::size_t size);
};

// What turned `before` into `after`, as the changes that would have done it: deleted keys first
// (deepest first), then created keys (shallowest first) with their values, then values set
// and deleted in the keys that stayed, each key in path order. Several changes to one value
// show as one; a key deleted and created again in between shows as its values' changes.
TreeChanges CompareSnapshots(const TreeSnapshot& before, const TreeSnapshot& after);

}  // namespace zelreg
