// The files behind the registry as the tool sees them: whether verbs may create a hive, whether
// the hive a key lies in is there at all, and the root a hive verb names.
#pragma once

#include "Arguments.h"
#include "Console.h"
#include "Registry.h"

#include <optional>
#include <string>

namespace zelregtool {

// Whether opening a hive may create it: verbs that only read turn it off, so that a misspelt
// ZEL_REGISTRY_DIR is reported rather than answered from a new, empty registry. Windows' system
// registry always exists: nothing to do there.
void AllowHiveCreation(bool allow);

// False, after saying "No registry in DIR (...)", when the hive of `root` has no file.
bool RegistryPresent(HKEY root, Console& console);

#if !defined(_WIN32)
// What chose a hive's directory (ZELREG_HIVE_FROM_...), as the tool says it.
std::string HiveSourceText(DWORD source);
#endif

// Makes way for a new hive file, which RegSaveKey and the backup never write over: a file
// already there goes, after a yes or with /y. False, after saying why, when it stays.
bool MakeWayForHiveFile(const std::string& file, const Arguments& arguments, Console& console);

// The hive a backup or check names: HKCU (the default) or HKLM as the first of `rootWords`
// positional words, or /machine. Nothing, after a usage error, for anything else.
std::optional<HKEY> HiveRootArgument(const Arguments& arguments, std::size_t rootWords, const std::string& verb,
                                     Console& console);

}  // namespace zelregtool
