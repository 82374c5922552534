#include "KeyFigures.h"

#include <array>

#include "RegNames.h"

namespace zelreg {
namespace {

// A new figure of an item at the extreme, which replaces `old` (-1: none).
void Take(Extreme& extreme, int64_t figure, int64_t old) {
    if (figure > extreme.value || extreme.count == 0) {
        extreme = Extreme{figure, 1};
    } else if (figure == extreme.value && old != extreme.value) {
        ++extreme.count;
    } else if (figure < extreme.value && old == extreme.value) {
        --extreme.count;
    }
}

// An item's figure that goes without a successor.
void Drop(Extreme& extreme, int64_t old) {
    if (old == extreme.value) --extreme.count;
}

}  // namespace

ItemFigures SubKeyFigures(std::string_view name, std::string_view keyClass) {
    return {static_cast<int64_t>(Utf16Length(name)), static_cast<int64_t>(Utf16Length(keyClass))};
}

ItemFigures ValueFigures(std::string_view name, int64_t dataSize) {
    return {static_cast<int64_t>(Utf16Length(name)), dataSize};
}

std::string_view EncodeFigures(const KeyFigures& figures, char (&blob)[kFiguresBlobSize]) {
    const ListingFigures& k = figures.subKeys;
    const ListingFigures& v = figures.values;
    const std::array<int64_t, 11> numbers{k.count,      k.name.value, k.name.count, k.size.value,
                                          k.size.count, v.count,      v.name.value, v.name.count,
                                          v.size.value, v.size.count, v.placed ? 1 : 0};
    static_assert(kFiguresBlobSize >= numbers.size() * 10, "room for every number, 7 bits a byte");
    std::size_t size = 0;
    for (int64_t number : numbers) {
        auto rest = static_cast<uint64_t>(number);
        for (; rest >= 0x80; rest >>= 7) blob[size++] = static_cast<char>(rest | 0x80);
        blob[size++] = static_cast<char>(rest);
    }
    return std::string_view(blob, size);
}

KeyFigures DecodeFigures(std::string_view blob) {
    std::array<int64_t, 11> n{};
    std::size_t at = 0;
    for (int64_t& number : n) {
        uint64_t value = 0;
        for (int shift = 0; at < blob.size() && shift < 64; shift += 7) {
            const auto byte = static_cast<unsigned char>(blob[at++]);
            value |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if (byte < 0x80) break;
        }
        number = static_cast<int64_t>(value);
    }
    return KeyFigures{ListingFigures{n[0], Extreme{n[1], n[2]}, Extreme{n[3], n[4]}, false},
                      ListingFigures{n[5], Extreme{n[6], n[7]}, Extreme{n[8], n[9]}, n[10] != 0}};
}

ListingFigures ApplyChange(const ListingFigures& before, const FigureChange& change, bool& recount) {
    ListingFigures after = before;
    after.count += change.count;
    if (change.newName >= 0) {
        Take(after.name, change.newName, change.oldName);
        Take(after.size, change.newSize, change.oldSize);
    } else {
        Drop(after.name, change.oldName);
        Drop(after.size, change.oldSize);
    }
    recount = after.count > 0 && (after.name.count == 0 || after.size.count == 0);
    if (after.count == 0) after.name = after.size = Extreme{};
    return after;
}

ListingFigures CountFigures(Connection& db, int64_t key, ChangeKind kind, bool placed) {
    const bool subKeys = kind == ChangeKind::Name;
    ListingFigures figures;
    figures.placed = placed;
    Query q(db, subKeys ? "SELECT name, class FROM cells WHERE key = ?1 AND kind = 0"
                        : "SELECT name, wsize FROM cells WHERE key = ?1 AND kind = 1");
    q.Bind(1, key);
    while (q.Step()) {
        const ItemFigures item = subKeys ? SubKeyFigures(q.Text(0), q.Text(1)) : ValueFigures(q.Text(0), q.Int(1));
        ++figures.count;
        Take(figures.name, item.name, -1);
        Take(figures.size, item.size, -1);
    }
    return figures;
}

}  // namespace zelreg
