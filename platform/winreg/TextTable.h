// A table from a key id and a text (a path below that key) to a small value, for the read
// cache's paths. Open addressing over one array of slots, each with a part of its entry's hash,
// so that a lookup reads one slot, its entry and its text, and allocates nothing; the texts lie
// together in one buffer. Entries are only added, and all go at once (Clear).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "TextHash.h"

namespace zelreg {

template <class Value>
class TextTable {
public:
    const Value* Find(int64_t start, std::string_view text) const { return Find(HashText(start, text), start, text); }

    // Adds the entry unless the table has one for the same key and text.
    void Put(int64_t start, std::string_view text, const Value& value) {
        const uint64_t hash = HashText(start, text);
        if (Find(hash, start, text)) return;
        if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
        entries_.push_back(Entry{start, static_cast<uint32_t>(texts_.size()), static_cast<uint32_t>(text.size()), value});
        texts_.append(text);
        Place(hash, static_cast<uint32_t>(entries_.size()));
    }

    std::size_t size() const { return entries_.size(); }

    void Clear() {
        entries_.clear();
        texts_.clear();
        std::fill(slots_.begin(), slots_.end(), 0);
    }

private:
    struct Entry {
        int64_t start;
        uint32_t offset;  // of the text in texts_
        uint32_t length;
        Value value;
    };

    const Value* Find(uint64_t hash, int64_t start, std::string_view text) const {
        if (entries_.empty()) return nullptr;
        const uint32_t tag = static_cast<uint32_t>(hash >> 32);
        for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
            const uint64_t found = slots_[slot];
            if (found == 0) return nullptr;
            if (static_cast<uint32_t>(found >> 32) != tag) continue;
            const Entry& entry = entries_[static_cast<uint32_t>(found) - 1];
            if (entry.start == start && entry.length == text.size() &&
                std::memcmp(texts_.data() + entry.offset, text.data(), text.size()) == 0) {
                return &entry.value;
            }
        }
    }

    // `number` is the entry's index plus one: a slot of 0 is empty.
    void Place(uint64_t hash, uint32_t number) {
        std::size_t slot = hash & mask_;
        while (slots_[slot] != 0) slot = (slot + 1) & mask_;
        slots_[slot] = (hash >> 32 << 32) | number;
    }

    void Grow() {
        slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, 0);
        mask_ = slots_.size() - 1;
        for (uint32_t i = 0; i < entries_.size(); ++i) {
            const Entry& entry = entries_[i];
            Place(HashText(entry.start, std::string_view(texts_.data() + entry.offset, entry.length)), i + 1);
        }
    }

    std::vector<uint64_t> slots_;  // the hash's upper half, and the entry's number
    std::size_t mask_ = 0;
    std::vector<Entry> entries_;
    std::string texts_;
};

}  // namespace zelreg
