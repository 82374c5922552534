// The detailed registry watches (what changed in a key, change by change) as the library uses
// them on every platform, and the wait of the thread that delivers a watch's changes.
//
// On Linux the registry store has them (ZelRegCreateWatch in ZelWinReg.h). Windows has none:
// its registry tells only that something changed below a key, so they are built here over
// RegNotifyChangeKeyValue, with the same behaviour, except that what changed is found by
// comparing the watched tree with its copy taken before. Changes in quick succession may
// arrive merged there: several changes to one value as one, a key deleted and created again in
// between as its values' changes.
#pragma once

#include "ZelWatchWaitable.h"

#if !defined(_WIN32)
#include "../winreg/ZelWinReg.h"
#endif

// Begins watching pszKey below hRoot (an empty name: hRoot itself), with or without the keys
// below it. Null when the key cannot be watched, with why in *plStatus: ERROR_FILE_NOT_FOUND
// for a key that does not exist, or what opening it answered.
HANDLE ZelWatchBegin(HKEY hRoot, LPCSTR pszKey, BOOL bSubtree, LONG* plStatus);

#if defined(_WIN32)
// As the registry store's ZelRegReadChange: takes the oldest change not yet read, its key's
// path below the watched key and its value's name; ERROR_NO_MORE_ITEMS when there is none;
// ERROR_MORE_DATA with the sizes needed (NUL included) when a buffer is too small, the change
// staying to be read; ERROR_INVALID_HANDLE for a handle that is no watch.
LONG ZelRegReadChange(HANDLE hWatch, LPDWORD lpdwKind, LPSTR lpKeyPath, LPDWORD lpcchKeyPath, LPSTR lpValueName,
                      LPDWORD lpcchValueName);
#endif

// What is signalled (readable) while the watch's changes wait to be read; it belongs to the
// watch. ZelNoWatchWaitable for a handle that is no watch.
ZelWatchWaitable ZelRegWatchWaitable(HANDLE hWatch);

// Ends the watch and frees its handle.
void ZelRegCloseWatch(HANDLE hWatch);

// What the thread that delivers a watch's changes waits on: the watch's waitable, or the stop
// its owner asks for from any thread.
class ZelWatchWaiter {
public:
    // Throws a memory exception when the system gives no means to wake the thread.
    ZelWatchWaiter();
    ~ZelWatchWaiter();
    ZelWatchWaiter(const ZelWatchWaiter&) = delete;
    ZelWatchWaiter& operator=(const ZelWatchWaiter&) = delete;

    // Waits until the watch has changes waiting (true) or Stop has been asked (false; from
    // then on at once).
    bool Wait(ZelWatchWaitable waitable);
    void Stop();
    // False in a child process after fork(): the watch and the thread belong to the parent,
    // and whatever the child did with them would disturb the parent's.
    bool OfThisProcess() const;

private:
#if defined(_WIN32)
    HANDLE m_hStop;
#else
    int m_fdStop;
    int m_nProcess;
#endif
};
