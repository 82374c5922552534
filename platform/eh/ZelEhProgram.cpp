#include "ZelEhProgram.h"

#if defined(_WIN32)
#include <string.h>
#include <windows.h>
#else
#include <errno.h>
#endif

std::string ZelEhProgramName() {
#if defined(_WIN32)
    char szPath[MAX_PATH];
    const DWORD nLength = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    if (nLength == 0 || nLength >= MAX_PATH) return std::string();
    std::string strName(szPath, nLength);
    strName.erase(0, strName.find_last_of("\\/") + 1);  // npos + 1 is 0: nothing to erase
    // Named as on other platforms, without the executable's extension.
    const size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos && _stricmp(strName.c_str() + nDot, ".exe") == 0) {
        strName.erase(nDot);
    }
    return strName;
#else
    // The C library's copy of the last part of argv[0], kept for the whole process.
    return program_invocation_short_name != nullptr ? program_invocation_short_name : "";
#endif
}
