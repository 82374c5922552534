// What a program's own event loop waits on to hear that a registry watch has changes to read:
// a descriptor for poll() on Linux, an event handle for the wait functions on Windows.
#pragma once

#include "../win32/ZelWinTypes.h"

#if defined(_WIN32)
typedef HANDLE ZelWatchWaitable;
#else
typedef int ZelWatchWaitable;
#endif

// What stands for no waitable.
#if defined(_WIN32)
inline const ZelWatchWaitable ZelNoWatchWaitable = nullptr;
#else
inline constexpr ZelWatchWaitable ZelNoWatchWaitable = -1;
#endif
