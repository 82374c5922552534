// Detailed watches on Linux: the registry store's, and the wait of a watch's delivering thread,
// poll() on the watch's descriptor and on an eventfd of its own that Stop makes readable for good.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "../watch/ZelRegWatch.h"
#include "../afx/ZelAfx.h"

// The store's watch follows the key by its path once begun, so the key is open only meanwhile.
HANDLE ZelWatchBegin(HKEY hRoot, LPCSTR pszKey, BOOL bSubtree, LONG* plStatus) {
    HKEY hKey = nullptr;
    *plStatus = RegOpenKeyExA(hRoot, pszKey, 0, KEY_NOTIFY, &hKey);
    if (*plStatus != ERROR_SUCCESS) return nullptr;
    HANDLE hWatch = ZelRegCreateWatch(hKey, bSubtree);
    *plStatus = hWatch != nullptr ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
    RegCloseKey(hKey);
    return hWatch;
}

ZelWatchWaitable ZelRegWatchWaitable(HANDLE hWatch) { return ZelRegWatchDescriptor(hWatch); }

void ZelRegCloseWatch(HANDLE hWatch) { CloseHandle(hWatch); }

ZelWatchWaiter::ZelWatchWaiter()
    : m_fdStop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_nProcess(static_cast<int>(getpid())) {
    if (m_fdStop < 0) AfxThrowMemoryException();
}

// Closing the child's copy of the descriptor leaves the parent's open.
ZelWatchWaiter::~ZelWatchWaiter() { close(m_fdStop); }

bool ZelWatchWaiter::Wait(ZelWatchWaitable waitable) {
    pollfd fds[2] = {{m_fdStop, POLLIN, 0}, {waitable, POLLIN, 0}};
    for (;;) {
        const int nReady = poll(fds, 2, -1);
        if (nReady < 0 && errno == EINTR) continue;
        // A failing poll cannot be waited out; stopping is the one safe answer.
        if (nReady < 0 || fds[0].revents != 0) return false;
        if (fds[1].revents & (POLLERR | POLLNVAL)) return false;
        if (fds[1].revents != 0) return true;
    }
}

// The counter is never read, so the descriptor stays readable and every later Wait returns.
void ZelWatchWaiter::Stop() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_fdStop, &one, sizeof one);
}

bool ZelWatchWaiter::OfThisProcess() const { return static_cast<int>(getpid()) == m_nProcess; }
