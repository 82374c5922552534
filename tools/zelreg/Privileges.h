// Saving and restoring keys needs the backup or restore privilege on Windows, which an
// administrator's token holds but does not enable by default.
#pragma once

namespace zelregtool {

extern const char kBackupPrivilege[];   // SeBackupPrivilege
extern const char kRestorePrivilege[];  // SeRestorePrivilege

// Enables the privilege in the process's token where the token holds it; false where it does
// not. Elsewhere the store decides by the files' permissions alone: true.
bool EnablePrivilege(const char* name);

}  // namespace zelregtool
