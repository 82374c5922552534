// The records of a read map (ReadMap.h) and the hashes that place them in its tables: shared by
// the code that reads a map, the code that changes one and the code that builds one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "TextHash.h"

namespace zelreg {

// A key: its id, its parent's (0 for the root) and its own folded name, which follows.
struct ReadMapKey {
    int64_t id;
    int64_t parent;
    uint32_t foldBytes;
    uint32_t reserved;
};

// A value: its key, its folded name, which follows, and then `room` bytes for its data, of which
// `dataBytes` are used. A deleted value keeps its record, marked absent.
struct ReadMapValue {
    int64_t key;
    uint32_t foldBytes;
    uint32_t type;
    uint32_t dataBytes;
    uint32_t room;
    uint32_t present;
    uint32_t reserved;
};

constexpr std::size_t RoundUp8(std::size_t bytes) { return (bytes + 7) & ~std::size_t{7}; }

inline uint64_t KeyIdHash(int64_t id) { return HashText(id, std::string_view()); }
inline uint64_t NameHash(int64_t owner, std::string_view fold) { return HashText(owner, fold); }

// A slot holds a record's offset in 8-byte units and the high half of the record's hash.
inline uint64_t MakeSlot(uint64_t hash, uint64_t offset) { return (hash & 0xFFFFFFFF00000000ull) | (offset >> 3); }
inline bool SlotTagMatches(uint64_t slot, uint64_t hash) { return (slot ^ hash) >> 32 == 0; }
inline uint64_t SlotOffset(uint64_t slot) { return (slot & 0xFFFFFFFFull) << 3; }

// The largest map (some 500,000 settings): a hive larger still is read through SQLite alone, so
// that what a process maps for reading stays within a set size, as its cache does.
constexpr uint64_t kReadMapMaxBytes = uint64_t{64} << 20;

}  // namespace zelreg
