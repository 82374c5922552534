#include "HiveFiles.h"

#include "KeyPath.h"
#include "Verbs.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace zelregtool {

bool MakeWayForHiveFile(const std::string& file, const Arguments& arguments, Console& console) {
    std::error_code error;
    if (std::filesystem::symlink_status(file, error).type() == std::filesystem::file_type::not_found) return true;
    if (!arguments.Has("y") && !Confirm(console, "File " + file + " already exists. Overwrite")) {
        console.err << "The operation was cancelled: nothing was written.\n";
        return false;
    }
    if (!std::filesystem::remove(file, error) && error) {
        Fail(console, "Cannot replace " + file + ": " + error.message());
        return false;
    }
    return true;
}

#if defined(_WIN32)

void AllowHiveCreation(bool) {}

bool RegistryPresent(HKEY, Console&) { return true; }

#else

std::string HiveSourceText(DWORD source) {
    switch (source) {
    case ZELREG_HIVE_FROM_ENVIRONMENT: return "set by ZEL_REGISTRY_DIR";
    case ZELREG_HIVE_FROM_USER_DEFAULT: return "the per-user default, below $XDG_CONFIG_HOME or ~/.config";
    case ZELREG_HIVE_FROM_MACHINE_DEFAULT: return "the machine location";
    default: return "unknown";
    }
}

void AllowHiveCreation(bool allow) { ZelRegCreateHives(allow ? TRUE : FALSE); }

bool RegistryPresent(HKEY root, Console& console) {
    char file[4096];
    DWORD length = sizeof file;
    DWORD source = 0;
    if (ZelRegQueryHiveFile(root, file, &length, &source, nullptr) != ERROR_SUCCESS) return true;
    struct stat st {};
    if (lstat(file, &st) == 0) return true;
    const std::string path(file, length);
    Fail(console, "No registry in " + path.substr(0, path.rfind('/')) + " (" + HiveSourceText(source) + ").");
    return false;
}

#endif

std::optional<HKEY> HiveRootArgument(const Arguments& arguments, std::size_t rootWords, const std::string& verb,
                                     Console& console) {
    const bool machine = arguments.Has("machine");
    if (rootWords == 0) return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const auto key = ParseKeyPath(arguments.Positional()[0]);
    if (machine || !key || !key->subKey.empty()) {
        UsageError(console, verb);
        return std::nullopt;
    }
    return key->root;
}

}  // namespace zelregtool
