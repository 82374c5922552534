// The registry view /reg:32 and /reg:64 choose: on Windows the access flag that opens the
// 32-bit or 64-bit view of the machine's keys, elsewhere nothing, as the store has one view.
#pragma once

#include "Arguments.h"
#include "Registry.h"

#include <string>

namespace zelregtool {

// The switches of every verb that works on keys.
extern const SwitchRule kViewSwitches[2];

// KEY_WOW64_32KEY or KEY_WOW64_64KEY on Windows for /reg:32 or /reg:64, else 0; OR it into
// every access mask.
REGSAM ViewAccess(const Arguments& arguments);

// Deletes `subKey` below `root` with everything below it, in the given view.
LONG DeleteKeyTree(HKEY root, const std::string& subKey, REGSAM view);
// The same within a registry transaction (none: null).
LONG DeleteKeyTreeIn(HANDLE transaction, HKEY root, const std::string& subKey, REGSAM view);

}  // namespace zelregtool
