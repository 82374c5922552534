// A key as the command line and .reg files name it: a root (HKCU, HKEY_CURRENT_USER, HKLM,
// HKEY_LOCAL_MACHINE, in any case) and a path below it.
#pragma once

#include "Registry.h"

#include <optional>
#include <string>

namespace zelregtool {

struct KeyPath {
    HKEY root = nullptr;
    std::string rootName;  // always the long form, as reg.exe prints it
    std::string subKey;    // no leading or trailing backslash; empty for the root itself

    std::string FullName() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
    // The key's own name, the last element of its path.
    std::string Name() const { return subKey.substr(subKey.rfind('\\') + 1); }
    KeyPath Child(const std::string& name) const {
        return {root, rootName, subKey.empty() ? name : subKey + "\\" + name};
    }
};

// Nothing for an unknown root or an empty element in the path ("a\\b").
std::optional<KeyPath> ParseKeyPath(const std::string& text);

}  // namespace zelregtool
