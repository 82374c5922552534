// The values a read cache holds (see KeyCache.h), in one open-addressed table of small slots
// over records of one cache line each, which hold a short value's names and data themselves. A
// hit looks at one slot and one record as a rule: per-key hash maps of strings cost a chain of
// scattered nodes instead, each a cache miss once the hive's values outgrow the processor's
// caches.
//
// A record belongs to a generation of its key: a key whose values changed moves to the next
// generation, and its records of older ones count as unknown until they are put anew. Records
// are dropped only all at once (Clear).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "HugePageMemory.h"

namespace zelreg {

// A value as the cache knows it: `exists` false when the key has no value of that name. The
// views last until the table next changes.
struct CachedValue {
    bool exists = false;
    DWORD type = 0;
    std::string_view data;
    std::string_view name;
};

class CachedValues {
public:
    static constexpr int kIndexBits = 18;
    // More records than this do not fit the slots: Put empties the table first.
    static constexpr std::size_t kMaxRecords = (std::size_t{1} << kIndexBits) - 2;

    static uint64_t Hash(int64_t key, std::string_view fold);

    // Unknown: nothing. `hash` is Hash(key, fold).
    std::optional<CachedValue> Find(uint64_t hash, int64_t key, uint32_t generation, std::string_view fold) const;
    void Put(int64_t key, uint32_t generation, std::string_view fold, const CachedValue& value);
    // Starts bringing in the record a Find with this hash will look at, so that the miss
    // overlaps with the caller's other work.
    void Prefetch(uint64_t hash) const;
    void Clear();

    // What a value costs the table at most, its share of the slots included, for the cache's
    // budget; names longer than a record can tell are not kept.
    static std::size_t Cost(std::string_view fold, const CachedValue& value);
    static bool Keeps(std::string_view fold, const CachedValue& value);

private:
    static constexpr std::size_t kInline = 24;
    struct Record {
        int64_t key = 0;
        uint32_t generation = 0;
        DWORD type = 0;
        uint32_t dataSize = 0;
        uint16_t foldSize = 0;
        uint16_t nameSize = 0;
        bool exists = false;
        std::unique_ptr<char[]> heap;  // the text when it does not fit inline
        char inline_[kInline];
        const char* text() const { return heap ? heap.get() : inline_; }  // fold, name, data
    };

    // The slot that holds (key, fold), or the empty one where it would go.
    std::size_t Probe(uint64_t hash, int64_t key, std::string_view fold) const;
    static void Fill(Record& record, std::string_view fold, const CachedValue& value);
    void Grow();

    // A slot: kIndexBits of the record's index + 1 (0 when empty), above them a tag of the hash.
    // Four bytes each keep the slots of a large cache within the processor's second-level
    // cache, so that a hit costs one miss (the record's) rather than two.
    std::vector<uint32_t> slots_;
    std::vector<Record, HugePageAllocator<Record>> records_;
};

}  // namespace zelreg
