// What this process has read of a hive, kept so that reading it again costs no SQLite read
// transaction: keys (their state and figures), the sub-key a folded name leads to (or that
// there is none), the key a whole path leads to, and values (or that there is none).
//
// It is valid while the hive is as it was when it was filled: its token is the write-ahead-log
// index header, which every commit, of any process, changes before it returns. A read that
// finds the header as the token says uses the cache. One that finds another header first learns
// what changed: from the hive's journal, which tells the commits of other processes, when the
// hive follows it (see Hive::RefreshCache), and then forgets only that; otherwise it empties
// the cache. A commit of this process that finds the token current when it starts forgets only
// what it changed. A change that adds or removes keys empties the cache.
//
// Its size is bounded: once its entries pass kBudgetBytes it is emptied and filled anew. Every
// call is made with the hive's lock held.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "CachedValues.h"
#include "HiveJournal.h"
#include "KeyChange.h"
#include "KeyStore.h"
#include "TextTable.h"

namespace zelreg {

class KeyCache {
public:
    using Token = std::array<unsigned char, 48>;
    static constexpr std::size_t kBudgetBytes = 16u << 20;

    // Empties the cache unless `token` is its own; from then on it holds what was read at it.
    void Validate(const Token& token);
    bool Holds(const Token& token) const { return valid_ && token_ == token; }
    void Clear();

    bool valid() const { return valid_; }
    const Token& token() const { return token_; }

    // A commit of this process moved the hive from `before` to `after` with these changes:
    // forgets what they touched and is current at `after`; false, changing nothing, if the cache
    // was not current at `before`.
    bool Committed(const Token& before, const Token& after, const ChangeSet& changes);
    // Commits of other processes, as the hive's journal told them, moved the hive to `now`.
    void Forget(const std::vector<JournalRecord>& records, const Token& now);

    // Null when the key is not known; a known key that does not exist is not kept (the cache
    // is emptied when keys go).
    const KeyState* FindKey(int64_t id, bool withFigures) const;
    void PutKey(const KeyState& state, bool withFigures);

    // Unknown: nothing; known: the sub-key's id, or nothing inside when there is none.
    std::optional<std::optional<int64_t>> FindChild(int64_t parent, std::string_view fold) const;
    void PutChild(int64_t parent, std::string_view fold, std::optional<int64_t> child);

    // The same for a path of folded names, joined by backslashes, below `start`.
    std::optional<std::optional<int64_t>> FindPath(int64_t start, std::string_view folded) const;
    void PutPath(int64_t start, std::string_view folded, std::optional<int64_t> key);

    // A path as a caller wrote it (unsplit, unfolded) that led to a key before: the key's id and
    // the path's levels. Only paths that were found are kept.
    struct KnownPath {
        int64_t key;
        int64_t levels;
    };
    std::optional<KnownPath> FindRawPath(int64_t start, std::string_view text) const;
    void PutRawPath(int64_t start, std::string_view text, KnownPath known);

    // Unknown: nothing; known: the value, which may say that there is none.
    std::optional<CachedValue> FindValue(int64_t key, std::string_view fold) const;
    void PutValue(int64_t key, std::string_view fold, const CachedValue& value);
    // The same for a read that needs the key's state too: nothing unless both are known (a
    // known key exists), at the cost of one lookup of the key.
    std::optional<CachedValue> FindValueOfKnownKey(int64_t key, std::string_view fold) const;

    std::size_t bytes() const { return bytes_; }

private:
    struct Entry {
        KeyState state{};
        bool known = false;
        bool figures = false;
        uint32_t generation = 0;  // of its values in values_
        std::unordered_map<std::string, std::optional<int64_t>> children;
    };
    Entry& At(int64_t id);
    // Forgets what one change touched; false when it emptied the cache.
    bool Forget(const KeyChange& change);
    void Spend(std::size_t bytes);

    Token token_{};
    bool valid_ = false;
    std::size_t bytes_ = 0;
    std::unordered_map<int64_t, Entry> keys_;
    CachedValues values_;
    TextTable<std::optional<int64_t>> paths_;
    TextTable<KnownPath> rawPaths_;
    // The key a lookup is made with, kept so that its room is allocated once, not per lookup.
    mutable std::string lookup_;
};

}  // namespace zelreg
