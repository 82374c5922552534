#include "Privileges.h"

#include "Registry.h"

namespace zelregtool {

const char kBackupPrivilege[] = "SeBackupPrivilege";
const char kRestorePrivilege[] = "SeRestorePrivilege";

#if defined(_WIN32)

bool EnablePrivilege(const char* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) &&
                   AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                   GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    CloseHandle(token);
    return enabled;
}

#else

bool EnablePrivilege(const char*) { return true; }

#endif

}  // namespace zelregtool
