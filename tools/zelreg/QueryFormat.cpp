#include "QueryFormat.h"

#include "ValueText.h"

namespace zelregtool {

std::string TypeText(DWORD type, const ValueFormat& format) {
    return format.typeNumbers ? TypeName(type) + " (" + std::to_string(type) + ")" : TypeName(type);
}

std::string ValueLine(const RegValue& value, const ValueFormat& format) {
    return "    " + ShownName(value.name) + "    " + TypeText(value.type, format) + "    " +
           DisplayData(value, format.separator);
}

}  // namespace zelregtool
