// What a write transaction changed, as change notification needs to know it: the hive records
// each change while the transaction runs and hands the list to the notifier once it commits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelreg {

enum class ChangeKind {
    Name,   // a sub-key of the key was created or deleted
    Value,  // a value of the key was set or deleted
};

// What exactly happened, for watchers that tell it.
enum class ChangeDetail : uint8_t { ValueSet = 1, ValueDeleted = 2, KeyCreated = 3, KeyDeleted = 4 };

struct KeyChange {
    KeyChange(int64_t key, ChangeDetail detail, std::string_view name, int64_t subject = 0)
        : key(key),
          kind(detail == ChangeDetail::ValueSet || detail == ChangeDetail::ValueDeleted ? ChangeKind::Value
                                                                                        : ChangeKind::Name),
          detail(detail),
          subject(subject),
          name(name) {}
    int64_t key;  // the key whose sub-keys or values changed
    ChangeKind kind;
    ChangeDetail detail;
    int64_t subject;   // a created or deleted sub-key's id
    std::string name;  // the value's name, or the created or deleted sub-key's
    // A set value's type and data, for the hive's read map (ReadMap.h), when `withData` says so.
    bool withData = false;
    uint32_t type = 0;
    std::string data;
};

using ChangeSet = std::vector<KeyChange>;

}  // namespace zelreg
