// What a write transaction changed, as change notification needs to know it: the hive records
// each change while the transaction runs and hands the list to the notifier once it commits.
#pragma once

#include <cstdint>
#include <vector>

namespace zelreg {

enum class ChangeKind {
    Name,   // a sub-key of the key was created or deleted
    Value,  // a value of the key was set or deleted
};

struct KeyChange {
    int64_t key;
    ChangeKind kind;
};

using ChangeSet = std::vector<KeyChange>;

}  // namespace zelreg
