// save and restore: a key and everything below it to a hive file and back, as reg.exe does it
// with RegSaveKey and RegRestoreKey (on Linux the store's, whose files are its own hives).
#include "ErrorText.h"
#include "HiveFiles.h"
#include "KeyHandle.h"
#include "Privileges.h"
#include "RegistryView.h"
#include "Verbs.h"

namespace zelregtool {
namespace {

constexpr LONG kPrivilegeNotHeld = 1314;  // ERROR_PRIVILEGE_NOT_HELD

std::string PrivilegeAdvice(const char* privilege) {
    return std::string("the ") + privilege + " the call needs is not held: run zelreg as an administrator";
}

}  // namespace

int SaveVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    const std::string& file = arguments.Positional()[1];
    if (file == "-") return Fail(console, "A hive file cannot be written to standard output; name a file.");
    if (!RegistryPresent(key->root, console)) return 1;
    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ | ViewAccess(arguments));
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);

    if (!MakeWayForHiveFile(file, arguments, console)) return 1;
    EnablePrivilege(kBackupPrivilege);
    status = RegSaveKeyA(handle.get(), file.c_str(), nullptr);
    if (status == kPrivilegeNotHeld) return Fail(console, "Cannot save " + key->FullName() + ": " + PrivilegeAdvice(kBackupPrivilege) + ".");
    if (status != ERROR_SUCCESS)
        return Fail(console, "Cannot save " + key->FullName() + " to " + file + ": " + ErrorText(status) + ".");
    return Succeed(console);
}

int RestoreVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    const std::string& file = arguments.Positional()[1];
    if (file == "-") return Fail(console, "A hive file cannot be read from standard input; name a file.");
    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ | KEY_WRITE | ViewAccess(arguments));
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);

    EnablePrivilege(kRestorePrivilege);
    // As reg.exe: the key's values and everything below it are replaced, whatever handles other
    // programs hold open there.
    status = RegRestoreKeyA(handle.get(), file.c_str(), REG_FORCE_RESTORE);
    const std::string nothing = " Nothing was restored.";
    if (status == ERROR_BADDB)
        return Fail(console, file + " is not a hive file that zelreg save wrote (" + ErrorText(status) + ")." + nothing);
    if (status == ERROR_FILE_NOT_FOUND) return Fail(console, "Cannot read " + file + ": there is no such file." + nothing);
    if (status == kPrivilegeNotHeld)
        return Fail(console, "Cannot restore " + key->FullName() + ": " + PrivilegeAdvice(kRestorePrivilege) + "." + nothing);
    if (status != ERROR_SUCCESS)
        return Fail(console, "Cannot restore " + key->FullName() + " from " + file + ": " + ErrorText(status) + "." +
                                 nothing);
    return Succeed(console);
}

}  // namespace zelregtool
