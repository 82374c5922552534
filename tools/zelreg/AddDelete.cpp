// add and delete: one value, all values or a whole key tree, asking first unless /f.
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "RegistryView.h"
#include "TextUtil.h"
#include "ValueText.h"
#include "ValueWriter.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {
namespace {

int Cancelled(Console& console) {
    console.err << "The operation was cancelled: nothing was changed.\n";
    return 1;
}

int ChangeFailure(const std::string& what, LONG status, Console& console) {
    return Fail(console, "Cannot " + what + ": " + ErrorText(status));
}

bool ValueExists(HKEY key, const std::string& name) {
    DWORD size = 0;
    return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

// The switches that name one value: /v NAME or /ve (the default value).
std::optional<std::string> NamedValue(const Arguments& arguments) {
    if (arguments.Has("v")) return arguments.Value("v");
    if (arguments.Has("ve")) return std::string();
    return std::nullopt;
}

int DeleteAllValues(const KeyPath& key, HKEY handle, Console& console) {
    std::vector<RegValue> values;
    LONG status = ReadValues(handle, values);
    for (std::size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i) {
        status = RegDeleteValueA(handle, values[i].name.c_str());
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS) return ChangeFailure("delete the values of " + key.FullName(), status, console);
    return Succeed(console);
}

}  // namespace

int AddVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    const std::string typeName = arguments.Value("t", "REG_SZ");
    const auto type = TypeFromName(typeName);
    const std::string separator = arguments.Value("s", arguments.Value("se", "\\0"));
    // The separator is one character, as with reg.exe; \0 is what it is without /s.
    const bool oneCharacter = !separator.empty() && Utf8Length(separator) == 1;
    if ((arguments.Has("v") && arguments.Has("ve")) || (arguments.Has("s") && arguments.Has("se")) ||
        (!oneCharacter && (arguments.Has("s") || arguments.Has("se"))) ||
        (type && (*type == REG_DWORD || *type == REG_DWORD_BIG_ENDIAN) && !arguments.Has("d")))
        return UsageError(console, "add");
    if (!type) return Fail(console, "Invalid type: " + typeName);

    // As with reg.exe, without /v the value set is the default one, also with no switch at all.
    const std::string name = NamedValue(arguments).value_or(std::string());
    std::string problem;
    const std::optional<std::string> text =
        arguments.Has("d") ? std::optional<std::string>(arguments.Value("d")) : std::nullopt;
    const auto data = DataFromText(*type, text, separator, problem);
    if (!data) return Fail(console, "Invalid data for " + TypeName(*type) + ": " + problem);

    const REGSAM view = ViewAccess(arguments);
    KeyHandle handle;
    LONG status = handle.Create(key->root, key->subKey, KEY_READ | KEY_WRITE | view);
    if (status != ERROR_SUCCESS) return ChangeFailure("create " + key->FullName(), status, console);
    if (!arguments.Has("f") && ValueExists(handle.get(), name) &&
        !Confirm(console, "Value " + ShownName(name) + " exists, overwrite"))
        return Cancelled(console);
    status = WriteValue(handle.get(), {name, *type, *data});
    if (status != ERROR_SUCCESS) return ChangeFailure("set " + ShownName(name), status, console);
    return Succeed(console);
}

int DeleteVerb(const Arguments& arguments, Console& console) {
    const auto key = KeyArgument(arguments.Positional()[0], console);
    if (!key) return 1;
    if (arguments.Has("v") + arguments.Has("ve") + arguments.Has("va") > 1) return UsageError(console, "delete");
    const bool force = arguments.Has("f");
    const std::optional<std::string> name = NamedValue(arguments);
    if (!name && !arguments.Has("va") && key->subKey.empty())
        return Fail(console, "A whole hive cannot be deleted: " + key->FullName());

    const REGSAM view = ViewAccess(arguments);
    KeyHandle handle;
    LONG status = handle.Open(key->root, key->subKey, KEY_READ | KEY_WRITE | view);
    if (status != ERROR_SUCCESS) return KeyFailure(*key, status, console);

    if (name) {
        if (!ValueExists(handle.get(), *name)) return KeyFailure(*key, ERROR_FILE_NOT_FOUND, console);
        if (!force && !Confirm(console, "Delete the registry value " + ShownName(*name))) return Cancelled(console);
        status = RegDeleteValueA(handle.get(), name->c_str());
        if (status != ERROR_SUCCESS) return ChangeFailure("delete " + ShownName(*name), status, console);
        return Succeed(console);
    }
    if (arguments.Has("va")) {
        if (!force && !Confirm(console, "Delete all values under the registry key " + key->FullName()))
            return Cancelled(console);
        return DeleteAllValues(*key, handle.get(), console);
    }
    handle.Reset();
    if (!force && !Confirm(console, "Permanently delete the registry key " + key->FullName()))
        return Cancelled(console);
    status = DeleteKeyTree(key->root, key->subKey, view);
    if (status != ERROR_SUCCESS) return ChangeFailure("delete " + key->FullName(), status, console);
    return Succeed(console);
}

}  // namespace zelregtool
