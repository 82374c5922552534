#include "KeyPath.h"

#include "TextUtil.h"

namespace zelregtool {

std::optional<KeyPath> ParseKeyPath(const std::string& text) {
    struct Root {
        const char* shortName;
        const char* longName;
        HKEY key;
    };
    const Root roots[] = {{"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}};
    const std::size_t cut = text.find('\\');
    const std::string head = text.substr(0, cut);
    std::string rest = cut == std::string::npos ? std::string() : text.substr(cut + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (rest.find("\\\\") != std::string::npos || (!rest.empty() && rest.front() == '\\')) return std::nullopt;
    for (const Root& root : roots) {
        if (EqualsNoCase(head, root.shortName) || EqualsNoCase(head, root.longName))
            return KeyPath{root.key, root.longName, rest};
    }
    return std::nullopt;
}

}  // namespace zelregtool
