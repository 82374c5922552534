#include "ErrorText.h"
#include "Verbs.h"

namespace zelregtool {

std::optional<KeyPath> KeyArgument(const std::string& text, Console& console) {
    auto key = ParseKeyPath(text);
    if (!key) Fail(console, "Invalid key name: " + text + " (it must start with HKCU\\ or HKLM\\)");
    return key;
}

int KeyFailure(const KeyPath& key, LONG status, Console& console) {
    if (status == ERROR_FILE_NOT_FOUND)
        return Fail(console, "The system was unable to find the specified registry key or value.");
    return Fail(console, "Cannot open " + key.FullName() + ": " + ErrorText(status));
}

}  // namespace zelregtool
