// One item of a listing of a key's sub-keys (sorted by folded name) or values (in the order they
// were first set), with what RegQueryInfoKey reports of it.
#pragma once

#include <cstdint>
#include <string>

namespace zelreg {

struct ListedItem {
    int64_t id;  // sub-keys: the key's id; values: unused
    std::string name;
    std::string fold;
    int64_t nameUnits;  // the name's length in UTF-16 units
    int64_t size;       // sub-keys: the class's length in UTF-16 units; values: the data's size
};

}  // namespace zelreg
