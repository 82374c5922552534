// What RegQueryInfoKey reports about a key's sub-keys and about its values, kept up to date in
// the key's own row so that asking costs one lookup however many items the key holds: how many
// there are, the longest name (in UTF-16 units, as Windows counts), and the largest second
// figure of an item: a sub-key's class length (UTF-16 units), a value's data size (as Windows
// reports it, see StringDataSize). With each extreme the row keeps how many items reach it, so
// that the items are looked through again only when the last of those goes.
//
// Both listings' figures are stored in one column, as a blob of eleven numbers (count, longest
// name, items at it, largest size, items at it, for the sub-keys and then for the values, and
// 1 when the values are placed), each in the variable-length form of LEB128: every column of a
// table costs each write of its rows, and reading or writing text numbers costs more than the
// rest of the figures' upkeep, so the figures take one column and a few bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "KeyChange.h"
#include "Sqlite.h"

namespace zelreg {

// The largest of one figure over a listing's items, and how many items reach it.
struct Extreme {
    int64_t value = 0;
    int64_t count = 0;
};

// The figures of one item: a sub-key (name, class) or a value (name, data size).
struct ItemFigures {
    int64_t name;
    int64_t size;
};
ItemFigures SubKeyFigures(std::string_view name, std::string_view keyClass);
ItemFigures ValueFigures(std::string_view name, int64_t dataSize);

// The figures of a key's sub-keys or of its values. `placed` is for values alone: whether
// they have place rows (see HiveSchema.cpp), which they get once the key holds many.
struct ListingFigures {
    int64_t count = 0;
    Extreme name;
    Extreme size;
    bool placed = false;
};

struct KeyFigures {
    ListingFigures subKeys;
    ListingFigures values;
};

// Writes the blob into `blob`, which is large enough for any figures, and returns it.
constexpr std::size_t kFiguresBlobSize = 11 * 10;
std::string_view EncodeFigures(const KeyFigures& figures, char (&blob)[kFiguresBlobSize]);
// An empty blob (a new key's) gives no items.
KeyFigures DecodeFigures(std::string_view blob);

// How a write changes one listing: an item added, removed, or replaced by another (a value's
// new data).
struct FigureChange {
    int64_t count;
    int64_t oldName, oldSize;  // -1: no item before
    int64_t newName, newSize;  // -1: no item after

    static FigureChange Added(ItemFigures item) { return {1, -1, -1, item.name, item.size}; }
    static FigureChange Removed(ItemFigures item) { return {-1, item.name, item.size, -1, -1}; }
    static FigureChange Replaced(ItemFigures before, ItemFigures after) {
        return {0, before.name, before.size, after.name, after.size};
    }
};

// The figures after the change; `recount` is set when the last item at an extreme went, and
// only the items themselves can tell the new extreme.
ListingFigures ApplyChange(const ListingFigures& before, const FigureChange& change, bool& recount);

// The figures of the key's sub-keys (ChangeKind::Name) or values (Value), from the items;
// `placed` is left as it was.
ListingFigures CountFigures(Connection& db, int64_t key, ChangeKind kind, bool placed);

}  // namespace zelreg
