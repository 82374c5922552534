// The console's control handler runs on a thread of its own; it signals an event that Wait
// waits for, and tells the system the interruption is handled.
#include "Interrupt.h"

#include <ZelRegistry/platform/win32/ZelWinTypes.h>

namespace zelregtool {
namespace {

HANDLE g_interrupted = nullptr;

BOOL WINAPI OnControl(DWORD) {
    SetEvent(g_interrupted);
    return TRUE;
}

}  // namespace

Interrupt::Interrupt() {
    g_interrupted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

Interrupt::~Interrupt() {
    SetConsoleCtrlHandler(OnControl, FALSE);
    CloseHandle(g_interrupted);
    g_interrupted = nullptr;
}

void Interrupt::Wait() { WaitForSingleObject(g_interrupted, INFINITE); }

}  // namespace zelregtool
