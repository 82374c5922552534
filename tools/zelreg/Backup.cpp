// backup: a whole hive, copied while programs use it, into a file that is a complete hive
// (Linux; Windows keeps its hives to itself: save keys there).
#include "ErrorText.h"
#include "HiveFiles.h"
#include "Verbs.h"

namespace zelregtool {

#if defined(_WIN32)

int BackupVerb(const Arguments&, Console& console) {
    return Fail(console, "backup is not available on Windows, whose system keeps the hives: use zelreg save KEY FILE.");
}

#else

int BackupVerb(const Arguments& arguments, Console& console) {
    const std::size_t words = arguments.Positional().size();
    const auto root = HiveRootArgument(arguments, words - 1, "backup", console);
    if (!root) return 1;
    const std::string& file = arguments.Positional().back();
    if (file == "-") return Fail(console, "A hive file cannot be written to standard output; name a file.");
    if (!RegistryPresent(*root, console)) return 1;
    if (!MakeWayForHiveFile(file, arguments, console)) return 1;
    const LONG status = ZelRegBackupHive(*root, file.c_str());
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot back up the hive to " + file + ": " + ErrorText(status) + ".");
    return Succeed(console);
}

#endif

}  // namespace zelregtool
