#include "KeyCache.h"

namespace zelreg {
namespace {

// What an entry costs besides its strings: the map nodes and their bookkeeping, roughly.
constexpr std::size_t kEntryBytes = 160;
constexpr std::size_t kItemBytes = 96;

}  // namespace

void KeyCache::Clear() {
    keys_.clear();
    values_.Clear();
    paths_.Clear();
    rawPaths_.Clear();
    bytes_ = 0;
}

void KeyCache::Validate(const Token& token) {
    if (Holds(token)) return;
    Clear();
    token_ = token;
    valid_ = true;
}

bool KeyCache::Forget(const KeyChange& change) {
    // Keys come and go: handles to them, and paths through them, change meaning.
    if (change.kind == ChangeKind::Name) {
        Clear();
        return false;
    }
    const auto entry = keys_.find(change.key);
    if (entry != keys_.end()) {
        ++entry->second.generation;
        entry->second.known = false;
    }
    return true;
}

bool KeyCache::Committed(const Token& before, const Token& after, const ChangeSet& changes) {
    if (!Holds(before)) return false;
    for (const KeyChange& change : changes) {
        if (!Forget(change)) break;
    }
    token_ = after;
    return true;
}

void KeyCache::Forget(const std::vector<JournalRecord>& records, const Token& now) {
    for (const JournalRecord& record : records) {
        if (!Forget(record.change)) break;
    }
    token_ = now;
    valid_ = true;
}

void KeyCache::Spend(std::size_t bytes) {
    if (bytes_ + bytes > kBudgetBytes) Clear();
    bytes_ += bytes;
}

KeyCache::Entry& KeyCache::At(int64_t id) {
    const auto entry = keys_.find(id);
    if (entry != keys_.end()) return entry->second;
    Spend(kEntryBytes);
    return keys_[id];
}

const KeyState* KeyCache::FindKey(int64_t id, bool withFigures) const {
    const auto entry = keys_.find(id);
    if (entry == keys_.end() || !entry->second.known || (withFigures && !entry->second.figures)) return nullptr;
    return &entry->second.state;
}

void KeyCache::PutKey(const KeyState& state, bool withFigures) {
    Entry& entry = At(state.id);
    entry.state = state;
    entry.known = true;
    entry.figures = withFigures;
}

std::optional<std::optional<int64_t>> KeyCache::FindChild(int64_t parent, std::string_view fold) const {
    const auto entry = keys_.find(parent);
    if (entry == keys_.end()) return std::nullopt;
    lookup_.assign(fold);
    const auto child = entry->second.children.find(lookup_);
    if (child == entry->second.children.end()) return std::nullopt;
    return child->second;
}

// Room is made before the entry is looked up: making room may empty the cache.
void KeyCache::PutChild(int64_t parent, std::string_view fold, std::optional<int64_t> child) {
    Spend(kItemBytes + fold.size());
    At(parent).children.emplace(std::string(fold), child);
}

std::optional<std::optional<int64_t>> KeyCache::FindPath(int64_t start, std::string_view folded) const {
    const std::optional<int64_t>* path = paths_.Find(start, folded);
    if (!path) return std::nullopt;
    return *path;
}

void KeyCache::PutPath(int64_t start, std::string_view folded, std::optional<int64_t> key) {
    Spend(kItemBytes + folded.size());
    paths_.Put(start, folded, key);
}

std::optional<KeyCache::KnownPath> KeyCache::FindRawPath(int64_t start, std::string_view text) const {
    const KnownPath* path = rawPaths_.Find(start, text);
    if (!path) return std::nullopt;
    return *path;
}

void KeyCache::PutRawPath(int64_t start, std::string_view text, KnownPath known) {
    Spend(kItemBytes + text.size());
    rawPaths_.Put(start, text, known);
}

std::optional<CachedValue> KeyCache::FindValue(int64_t key, std::string_view fold) const {
    const auto entry = keys_.find(key);
    if (entry == keys_.end()) return std::nullopt;
    return values_.Find(CachedValues::Hash(key, fold), key, entry->second.generation, fold);
}

std::optional<CachedValue> KeyCache::FindValueOfKnownKey(int64_t key, std::string_view fold) const {
    const uint64_t hash = CachedValues::Hash(key, fold);
    // The value's record is the read's one likely miss: it comes in while the key is looked up.
    values_.Prefetch(hash);
    const auto entry = keys_.find(key);
    if (entry == keys_.end() || !entry->second.known) return std::nullopt;
    return values_.Find(hash, key, entry->second.generation, fold);
}

void KeyCache::PutValue(int64_t key, std::string_view fold, const CachedValue& value) {
    if (!CachedValues::Keeps(fold, value)) return;
    Spend(CachedValues::Cost(fold, value));
    values_.Put(key, At(key).generation, fold, value);
}

}  // namespace zelreg
