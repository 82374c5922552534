// Registry status codes as the tool reports them: the Win32 error number and a short text.
#pragma once

#include "Registry.h"

#include <string>

namespace zelregtool {

// "error 1009: the hive file is damaged or not a hive"
std::string ErrorText(LONG status);

}  // namespace zelregtool
