// query: a key's values in reg.exe's layout, then its sub-keys (/s: their contents too).
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "RegistryView.h"
#include "ValueText.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {

int QueryVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    if (arguments.Has("v") && arguments.Has("ve")) return UsageError(console, "query");
    std::optional<std::string> valueName;
    if (arguments.Has("v") || arguments.Has("ve")) valueName = arguments.Value("v");
    const bool recursive = arguments.Has("s");

    const REGSAM view = ViewAccess(arguments);
    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);
    std::ostream& out = console.out;
    std::size_t matches = 0;
    const auto print = [&](const KeyPath& path, const std::vector<RegValue>& values,
                           const std::vector<std::string>& subKeys) {
        matches += values.size();
        if (valueName && values.empty()) return;  // a search shows only the keys that have the value
        out << '\n' << path.FullName() << '\n';
        for (const RegValue& value : values)
            out << "    " << (value.name.empty() ? "(Default)" : value.name) << "    " << TypeName(value.type)
                << "    " << DisplayData(value) << '\n';
        if (recursive || valueName || subKeys.empty()) return;
        out << '\n';
        for (const std::string& name : subKeys) out << path.Child(name).FullName() << '\n';
    };
    KeyPath failed;
    status = WalkKeys(*key, handle.get(), recursive, valueName, view, print, nullptr, failed);
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status));

    if (valueName && recursive) {
        out << "\nEnd of search: " << matches << " match(es) found.\n";
    } else if (valueName && matches == 0) {
        if (!valueName->empty()) return KeyFailure(*key, ERROR_FILE_NOT_FOUND, console);
        // reg.exe shows an unset default value rather than failing.
        out << '\n' << key->FullName() << "\n    (Default)    REG_SZ    (value not set)\n";
    }
    out << '\n';
    return valueName && recursive && matches == 0 ? 1 : 0;
}

}  // namespace zelregtool
