// Everything the library takes from its platform: the Win32 types, the registry functions
// (the system's on Windows, our registry store elsewhere), the framework layer and the
// maker's two libraries.
#pragma once

#include "win32/ZelWinTypes.h"
#if !defined(_WIN32)
#include "winreg/ZelWinReg.h"
#endif
#include "watch/ZelWatchWaitable.h"
#include "afx/ZelAfx.h"
#include "eh/ZelEh.h"
#include "lang/ZelLanguage.h"
