#include "CachedValues.h"

#include <cstring>

#include "TextHash.h"

namespace zelreg {
namespace {

constexpr std::size_t kFirstSlots = 1024;

}  // namespace

uint64_t CachedValues::Hash(int64_t key, std::string_view fold) { return HashText(key, fold); }

namespace {

constexpr uint32_t kIndexMask = (uint32_t{1} << CachedValues::kIndexBits) - 1;

uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> (64 - (32 - CachedValues::kIndexBits))); }

}  // namespace

std::size_t CachedValues::Probe(uint64_t hash, int64_t key, std::string_view fold) const {
    const std::size_t mask = slots_.size() - 1;
    const uint32_t tag = Tag(hash);
    for (std::size_t at = static_cast<std::size_t>(hash) & mask;; at = (at + 1) & mask) {
        const uint32_t slot = slots_[at];
        if (slot == 0) return at;
        if (slot >> kIndexBits != tag) continue;
        const Record& record = records_[(slot & kIndexMask) - 1];
        if (record.key == key && std::string_view(record.text(), record.foldSize) == fold) return at;
    }
}

void CachedValues::Prefetch(uint64_t hash) const {
    if (slots_.empty()) return;
    const uint32_t slot = slots_[static_cast<std::size_t>(hash) & (slots_.size() - 1)];
    if (slot != 0 && slot >> kIndexBits == Tag(hash)) __builtin_prefetch(&records_[(slot & kIndexMask) - 1]);
}

std::optional<CachedValue> CachedValues::Find(uint64_t hash, int64_t key, uint32_t generation,
                                              std::string_view fold) const {
    if (slots_.empty()) return std::nullopt;
    const uint32_t slot = slots_[Probe(hash, key, fold)];
    if (slot == 0) return std::nullopt;
    const Record& record = records_[(slot & kIndexMask) - 1];
    if (record.generation != generation) return std::nullopt;
    const char* text = record.text();
    return CachedValue{record.exists, record.type, std::string_view(text + record.foldSize + record.nameSize, record.dataSize),
                       std::string_view(text + record.foldSize, record.nameSize)};
}

std::size_t CachedValues::Cost(std::string_view fold, const CachedValue& value) {
    const std::size_t text = fold.size() + value.name.size() + value.data.size();
    // A record, and up to four slots: the table is at most half full, and grows by doubling.
    return sizeof(Record) + 4 * sizeof(uint32_t) + (text > kInline ? text : 0);
}

bool CachedValues::Keeps(std::string_view fold, const CachedValue& value) {
    return fold.size() <= UINT16_MAX && value.name.size() <= UINT16_MAX && value.data.size() <= UINT32_MAX;
}

void CachedValues::Put(int64_t key, uint32_t generation, std::string_view fold, const CachedValue& value) {
    if (records_.size() >= kMaxRecords) Clear();
    // At most half full, so that a probe ends soon.
    if ((records_.size() + 1) * 2 > slots_.size()) Grow();
    const uint64_t hash = Hash(key, fold);
    const std::size_t at = Probe(hash, key, fold);
    if (slots_[at] == 0) {
        records_.emplace_back();
        slots_[at] = Tag(hash) << kIndexBits | static_cast<uint32_t>(records_.size());
    }
    Record& record = records_[(slots_[at] & kIndexMask) - 1];
    record.key = key;
    record.generation = generation;
    Fill(record, fold, value);
}

void CachedValues::Fill(Record& record, std::string_view fold, const CachedValue& value) {
    const std::size_t size = fold.size() + value.name.size() + value.data.size();
    const std::size_t had = record.heap ? std::size_t{record.foldSize} + record.nameSize + record.dataSize : 0;
    char* text = record.inline_;
    if (size > kInline) {
        if (size > had) record.heap = std::make_unique<char[]>(size);
        text = record.heap.get();
    } else {
        record.heap.reset();
    }
    for (const std::string_view part : {fold, value.name, value.data}) {
        if (part.empty()) continue;  // an empty view's data may be null
        std::memcpy(text, part.data(), part.size());
        text += part.size();
    }
    record.foldSize = static_cast<uint16_t>(fold.size());
    record.nameSize = static_cast<uint16_t>(value.name.size());
    record.dataSize = static_cast<uint32_t>(value.data.size());
    record.type = value.type;
    record.exists = value.exists;
}

void CachedValues::Grow() {
    std::vector<uint32_t> slots(slots_.empty() ? kFirstSlots : slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (const uint32_t slot : slots_) {
        if (slot == 0) continue;
        const Record& record = records_[(slot & kIndexMask) - 1];
        const uint64_t hash = Hash(record.key, std::string_view(record.text(), record.foldSize));
        std::size_t at = static_cast<std::size_t>(hash) & mask;
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = slot;
    }
    slots_ = std::move(slots);
}

void CachedValues::Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    records_.clear();
    records_.shrink_to_fit();
}

}  // namespace zelreg
