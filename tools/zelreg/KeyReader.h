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

// A key below the start that could not be read, with the status; returns whether the walk goes
// on without it.
using KeyFailureHandler = std::function<bool(const KeyPath& path, LONG status)>;

// Visits `path` (open as `handle`) and, when `recursive`, every key below it (opened in
// `view`), each before its sub-keys. With `onlyValue`, each key's values are that value alone,
// where it exists. Keys deleted meanwhile are passed over; a key that fails otherwise goes to
// `skip` and, where that says so, is passed over with what lies below it. On a failure that
// ends the walk, the status and, in `failed`, the key it happened at.
LONG WalkKeys(const KeyPath& path, HKEY handle, bool recursive, const std::optional<std::string>& onlyValue,
              REGSAM view, const KeyVisitor& visit, const KeyFailureHandler& skip, KeyPath& failed);

}  // namespace zelregtool
