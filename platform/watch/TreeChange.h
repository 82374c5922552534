// One change to a watched registry tree, as a detailed watch reports it: its kind
// (ZELREG_CHANGE_*), the changed key's path below the watched key ("" for the watched key
// itself) and, for a value, the value's name.
#pragma once

#include <string>
#include <vector>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

struct TreeChange {
    DWORD kind;
    std::string key;
    std::string value;
};

using TreeChanges = std::vector<TreeChange>;

// The path of `name` below `path`, which is "" for the watched key itself.
std::string JoinKeyPath(const std::string& path, const std::string& name);

}  // namespace zelreg
