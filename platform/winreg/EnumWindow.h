// What a handle keeps of a listing of its key's sub-keys or values, so that enumeration by
// index costs about the same at any index: a window of the listing in enumeration order, read
// by one query and widened while the caller walks the indices in order, and, once a call asks
// for an index far from the window, a ladder: the sort key of every kRungSpacing-th item, from
// one pass over the listing, from which any index is reached by counting fewer than
// kRungSpacing items. Both are valid while the hive instance and the key's generation counter of
// the listing are unchanged; the window's size is bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

struct EnumWindow {
    static constexpr DWORD kRungSpacing = 64;

    struct Entry {
        int64_t id;        // sub-keys: the key's id; values: unused
        std::string name;
        std::string fold;  // the sort key: the folded name of a sub-key, the place of a value
    };
    uint64_t hiveSerial = 0;
    int64_t generation = -1;
    DWORD base = 0;  // index of entries[0]
    std::vector<Entry> entries;
    bool atEnd = false;  // entries reach the last item
    std::vector<std::string> rungs;  // rungs[i]: the sort key of item i * kRungSpacing
    bool laddered = false;           // rungs hold the whole listing
};

}  // namespace zelreg
