// zelreg watch KEY [/s]: one line per change as it happens, until interrupted: the time, what
// happened, the key and, for a value set, the value as query shows it.
#include "Interrupt.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "QueryFormat.h"
#include "ValueText.h"
#include "Verbs.h"

#include <ZelRegistry/ZelRegistryWatcher.h>
#include <ZelRegistry/frame/ZelPropertyLocalException.h>
#include <ZelRegistry/frame/ZelPropertyObjectException.h>

#include <algorithm>
#include <ctime>

namespace zelregtool {
namespace {

std::string Now() {
    const std::time_t now = std::time(nullptr);
    char text[16] = "";
    // Only the watcher's thread asks, so localtime's shared result is not raced for.
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
    return text;
}

// The change's line. A value set is shown with what it holds now; when it is gone again by
// then, with its name alone.
std::string ChangeLine(const ZelRegistryWatcher::Change& change) {
    const std::string key(change.strKey);
    std::string kind = ZelRegistryWatcher::KindText(change.kind);
    kind.resize(std::max<std::size_t>(kind.size(), 13), ' ');  // the longest, "value deleted", sets the column
    std::string line = Now() + "  " + kind + "  " + key;
    if (change.kind == ZelRegistryWatcher::eValueDeleted) return line + "    " + ShownName(std::string(change.strValue));
    if (change.kind == ZelRegistryWatcher::eLost) return line + "    (some changes were missed: read the key again)";
    if (change.kind != ZelRegistryWatcher::eValueSet) return line;
    const std::optional<KeyPath> path = ParseKeyPath(key);
    KeyHandle handle;
    RegValue value;
    if (path && handle.Open(path->root, path->subKey, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
        ReadValue(handle.get(), std::string(change.strValue), value) == ERROR_SUCCESS)
        return line + ValueLine(value, ValueFormat());
    return line + "    " + ShownName(std::string(change.strValue));
}

}  // namespace

int WatchVerb(const Arguments& arguments, Console& console) {
    const std::optional<KeyPath> key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    {
        KeyHandle handle;
        if (const LONG status = handle.Open(key->root, key->subKey, KEY_NOTIFY)) return KeyFailure(*key, status, console);
    }
    Interrupt interrupt;
    try {
        // Only the watcher's thread writes while the main thread waits.
        ZelRegistryWatcher watcher(key->root, key->subKey.c_str(), arguments.Has("s"),
                                   [&](const ZelRegistryWatcher::Change& change) {
                                       console.out << ChangeLine(change) << std::endl;
                                   });
        interrupt.Wait();
    } catch (ZelPropertyObjectException* e) {
        // The key went between the check and the start of watching, or cannot be watched.
        const auto* cause = dynamic_cast<const ZelPropertyLocalException*>(e->GetCause());
        const bool gone = cause != nullptr && cause->GetLocalErrorNo() == ZEL_LOCAL_NO_KEY;
        e->Delete();
        if (gone) return KeyFailure(*key, ERROR_FILE_NOT_FOUND, console);
        return Fail(console, "Cannot watch " + key->FullName() + ".");
    }
    return 0;
}

}  // namespace zelregtool
