// query: a key's values in reg.exe's layout, then its sub-keys (/s: the keys below it with their
// values); /v NAME or /ve one value; /f, /t, or /v or /ve with /s search (QuerySearch.h).
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "QuerySearch.h"
#include "RegistryView.h"
#include "TextUtil.h"
#include "ValueText.h"
#include "Verbs.h"

#include <algorithm>
#include <ostream>

namespace zelregtool {
namespace {

// The switches reg.exe refuses together, or without the one they belong to.
bool IsValidCombination(const Arguments& arguments) {
    const auto has = [&](const char* name) { return arguments.Has(name); };
    const bool find = has("f");
    if (has("v") && has("ve")) return false;
    // /v may leave its name out only when it says where /f looks.
    if (has("v") && !arguments.HasValue("v") && !find) return false;
    if (!find && (has("k") || has("d") || has("c") || has("e"))) return false;
    // Key names hold no values.
    if (has("k") && (arguments.HasValue("v") || has("ve"))) return false;
    return !has("se") || Utf8Length(arguments.Value("se")) == 1;
}

// reg.exe's layout: a blank line; the key with its values and a blank line after them, where it
// has values; then its sub-keys' names, or with /s each key below it with its values and a
// blank line.
int ListKey(const KeyPath& key, HKEY handle, bool recursive, REGSAM view, const ValueFormat& format,
            Console& console) {
    std::ostream& out = console.out;
    out << '\n';
    bool start = true;
    const auto print = [&](const KeyPath& path, const std::vector<RegValue>& values,
                           const std::vector<std::string>& subKeys) {
        if (!start || !values.empty()) {
            out << path.FullName() << '\n';
            for (const RegValue& value : values) out << ValueLine(value, format) << '\n';
            out << '\n';
        }
        start = false;
        if (recursive) return;
        for (const std::string& name : subKeys) out << path.Child(name).FullName() << '\n';
    };
    KeyPath failed;
    const LONG status = WalkKeys(key, handle, recursive, std::nullopt, view, print, nullptr, failed);
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status));
    return 0;
}

int ShowValue(const KeyPath& key, HKEY handle, const std::string& name, const ValueFormat& format, Console& console) {
    RegValue value;
    const LONG status = ReadValue(handle, name, value);
    std::string line;
    if (status == ERROR_SUCCESS)
        line = ValueLine(value, format);
    else if (status == ERROR_FILE_NOT_FOUND && name.empty())  // reg.exe shows an unset default value
        line = "    (Default)    " + TypeText(REG_SZ, format) + "    (value not set)";
    else
        return KeyFailure(key, status, console);
    console.out << '\n' << key.FullName() << '\n' << line << "\n\n";
    return 0;
}

}  // namespace

int QueryVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    if (!IsValidCombination(arguments)) return UsageError(console, "query");
    std::vector<DWORD> types;
    if (arguments.Has("t")) {
        const std::string list = arguments.Value("t");
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            const std::string name = list.substr(start, comma - start);
            const auto type = TypeFromName(name);
            if (!type) return Fail(console, "Invalid type: " + name);
            types.push_back(*type);
            start = comma + 1;
        }
    }
    const ValueFormat format{arguments.Has("z"), arguments.Value("se", "\\0")};
    std::optional<std::string> valueName;
    if (arguments.HasValue("v")) valueName = arguments.Value("v");
    if (arguments.Has("ve")) valueName = std::string();
    const bool recursive = arguments.Has("s");

    const REGSAM view = ViewAccess(arguments);
    KeyHandle handle;
    const LONG status = handle.Open(key->root, key->subKey, KEY_READ | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);

    if (arguments.Has("f") || arguments.Has("t") || (valueName && recursive)) {
        bool keyNames = arguments.Has("k"), data = arguments.Has("d");
        bool valueNames = arguments.Has("v") && !arguments.HasValue("v");
        // Without /k, /d or a bare /v, everything is searched that the other switches leave.
        if (!keyNames && !data && !valueNames) {
            valueNames = data = true;
            keyNames = !valueName && !arguments.Has("t");
        }
        const QuerySearch search{SearchPattern(arguments.Value("f", "*"), arguments.Has("c"), arguments.Has("e")),
                                 keyNames, valueNames, data, valueName, types, recursive};
        return RunSearch(search, *key, handle.get(), view, format, console);
    }
    if (valueName) return ShowValue(*key, handle.get(), *valueName, format, console);
    return ListKey(*key, handle.get(), recursive, view, format, console);
}

}  // namespace zelregtool
