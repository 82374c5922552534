// This process's handles: key handles (HKEY) and event handles share one numbering, as kernel
// handles do on Windows. Values are multiples of four below 0x80000000, so none looks like a
// predefined key, and they are not given out again until the counter wraps.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "EnumWindow.h"
#include "Event.h"
#include "HiveLocation.h"

namespace zelreg {

struct KeyHandle {
    KeyHandle(HiveKind hive, int64_t key, REGSAM access, int64_t depth = 0)
        : hive(hive), key(key), access(access), depth(depth) {}
    const HiveKind hive;
    const int64_t key;
    const REGSAM access;
    const int64_t depth;  // levels below the hive's root: keys never move, so it is known when opened
    // Guarded by the hive's mutex.
    EnumWindow subkeys;
    EnumWindow values;
};

// The rights a handle opened with `desired` gets: generic rights mapped to key rights, the
// WOW64 view flags dropped. A read-only hive refuses write rights with ERROR_ACCESS_DENIED.
REGSAM GrantAccess(REGSAM desired, bool readOnlyHive);

class HandleTable {
public:
    uintptr_t Add(std::shared_ptr<KeyHandle> key);
    uintptr_t Add(std::shared_ptr<Event> event);
    std::shared_ptr<KeyHandle> Key(uintptr_t value) const;
    std::shared_ptr<Event> GetEvent(uintptr_t value) const;

    enum class Closed { Nothing, Key, Event };
    Closed Close(uintptr_t value);

    std::size_t KeyCount() const;
    std::mutex& mutex() { return mutex_; }

private:
    uintptr_t Allocate();

    mutable std::mutex mutex_;
    std::unordered_map<uintptr_t, std::shared_ptr<KeyHandle>> keys_;
    std::unordered_map<uintptr_t, std::shared_ptr<Event>> events_;
    uintptr_t next_ = 0;
};

}  // namespace zelreg
