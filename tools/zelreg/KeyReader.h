// Reading what a key holds, whatever the lengths of its names and data.
#pragma once

#include "KeyPath.h"
#include "Registry.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelregtool {

LONG ReadValue(HKEY key, const std::string& name, RegValue& value);
// Every value, in the registry's order, the default value first where there is one.
LONG ReadValues(HKEY key, std::vector<RegValue>& values);
LONG ReadSubKeyNames(HKEY key, std::vector<std::string>& names);

using KeyVisitor =
    std::function<void(const KeyPath& path, const std::vector<RegValue>& values, const std::vector<std::string>& subKeys)>;

// Visits `path` (open as `handle`) and, when `recursive`, every key below it, each before its
// sub-keys. With `onlyValue`, each key's values are that value alone, where it exists. On
// failure, the status and, in `failed`, the key it happened at; keys deleted meanwhile are
// passed over.
LONG WalkKeys(const KeyPath& path, HKEY handle, bool recursive, const std::optional<std::string>& onlyValue,
              const KeyVisitor& visit, KeyPath& failed);

}  // namespace zelregtool
