// How query shows a value: "    NAME    TYPE    DATA" as reg.exe prints it.
#pragma once

#include "Registry.h"

#include <string>

namespace zelregtool {

struct ValueFormat {
    bool typeNumbers = false;   // /z: the type's number after its name, "REG_SZ (1)"
    std::string separator = "\\0";  // /se: between REG_MULTI_SZ items
};

// The type's name, with /z its number after it.
std::string TypeText(DWORD type, const ValueFormat& format);
// The value's line, without its line end.
std::string ValueLine(const RegValue& value, const ValueFormat& format);

}  // namespace zelregtool
