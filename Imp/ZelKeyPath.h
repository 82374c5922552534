// Key paths as the library hands them to the registry.
#pragma once

#include "../frame/ZelPlatform.h"

// Drops one backslash at each end, never more: a name with two leading backslashes keeps one.
inline void ZelStripOuterBackslash(CString& str) {
    int nLength = str.GetLength();
    if (nLength != 0 && static_cast<LPCTSTR>(str)[0] == '\\') {
        str = str.Mid(1);
        --nLength;
    }
    if (nLength != 0 && static_cast<LPCTSTR>(str)[nLength - 1] == '\\') str = str.Left(nLength - 1);
}
