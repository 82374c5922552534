// check: whether a hive file is sound, in one line (Linux; Windows checks its own hives).
#include "HiveFiles.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {

#if defined(_WIN32)

int CheckVerb(const Arguments&, Console& console) {
    return Fail(console, "check is not available on Windows, whose system keeps and checks the hives.");
}

#else

int CheckVerb(const Arguments& arguments, Console& console) {
    const auto root = HiveRootArgument(arguments, arguments.Positional().size(), "check", console);
    if (!root || !RegistryPresent(*root, console)) return 1;
    char message[8192];
    const LONG status = ZelRegCheckHive(*root, message, sizeof message);
    if (status != ERROR_SUCCESS) return Fail(console, std::string(message) + ".");
    console.out << message << ".\n";
    return 0;
}

#endif

}  // namespace zelregtool
