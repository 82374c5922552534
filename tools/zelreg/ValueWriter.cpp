#include "ValueWriter.h"

namespace zelregtool {

LONG WriteValue(HKEY key, const RegValue& value) {
    std::vector<BYTE> buffer;
    buffer.reserve(value.data.size() + 1);
    buffer.assign(value.data.begin(), value.data.end());
    buffer.push_back(0);
    return RegSetValueExA(key, value.name.c_str(), 0, value.type, buffer.data(),
                          static_cast<DWORD>(value.data.size()));
}

}  // namespace zelregtool
