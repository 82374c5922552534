// The Win32 registry functions the tool calls: the system's on Windows, the registry store
// elsewhere. Names and string data are UTF-8 on both (see zelreg.manifest for Windows).
#pragma once

#include <ZelRegistry/platform/win32/ZelWinTypes.h>
#if !defined(_WIN32)
#include <ZelRegistry/platform/winreg/ZelWinReg.h>
#endif

#include <string>
#include <vector>

namespace zelregtool {

// One value as the registry holds it; an empty name is the key's default value.
struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

}  // namespace zelregtool
