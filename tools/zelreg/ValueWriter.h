// Setting a value through the registry's A function without handing it less than it reads.
#pragma once

#include "Registry.h"

namespace zelregtool {

// RegSetValueExA, on Windows and in the store alike, looks at the byte just after the data of
// a string that does not end in NUL and keeps that NUL when the byte is one. The data goes
// with a NUL after it, so that byte is always there to read, and such a string is stored with
// its NUL, as Windows stores it from a .reg file.
LONG WriteValue(HKEY key, const RegValue& value);

}  // namespace zelregtool
